// Win32 backend: attributes and times, on the entry itself.
#include "platform/win32/Win32.h"

namespace vx {

using namespace win;

ErrorOr<uint32_t> NativeFileSystem::GetAttributes(const Folder& folder, std::string_view name) {
  ErrorOr<OpenedEntry> entry = OpenEntry(folder, name, 0, kShareAll);
  if (!entry) return entry.error();
  if (entry->reached != Reached::Entry) return LinkRefused(*entry);
  return static_cast<uint32_t>(entry->facts.attributes);
}

std::error_code NativeFileSystem::SetAttributes(const Folder& folder, std::string_view name,
                                                uint32_t attributes) {
  ErrorOr<OpenedEntry> entry = OpenEntry(folder, name, FILE_WRITE_ATTRIBUTES, kShareAll);
  if (!entry) return entry.error();
  // Written on the entry's own handle: never on what a link leads to.
  if (entry->reached != Reached::Entry) return LinkRefused(*entry);
  // Another link to the file may lie outside the trees: the change would
  // reach it there.
  if (!entry->IsFolder()) {
    ErrorOr<DWORD> links = LinkCount(entry->handle.get());
    if (!links) return links.error();
    if (*links > 1) return Error(ERROR_ACCESS_DENIED);
  }
  return SetHandleAttributes(entry->handle.get(), attributes, nullptr);
}

ErrorOr<FileTimes> NativeFileSystem::GetFileTimes(const Folder& folder, std::string_view name) {
  ErrorOr<Handle> file = OpenDiskFileForRead(folder, name, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!file) return file.error();
  FILETIME creation, access, write;
  if (!::GetFileTime(file->get(), &creation, &access, &write)) return LastError();
  FileTimes times;
  times.creation = ToInt64(creation);
  times.lastAccess = ToInt64(access);
  times.lastWrite = ToInt64(write);
  return times;
}

}  // namespace vx
