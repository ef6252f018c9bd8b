// Win32 backend: the temporary-file primitive and the whole-file replacement
// built on it.
#include "platform/win32/Win32.h"

namespace vx {

using namespace win;

std::error_code NativeFileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  ErrorOr<std::string> full = FullPath(path);
  if (!full) return full.error();
  const std::size_t folderLength = FolderPartLength(*full);
  const std::string name = full->substr(folderLength);
  if (folderLength == 0 || name.empty()) return Error(ERROR_INVALID_NAME);
  ErrorOr<Folder> folder = OpenRoot(full->substr(0, folderLength));
  if (!folder) return folder.error();
  // The old file's attributes go to the new one; a link in its place is
  // replaced, never written through.
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  {
    ErrorOr<OpenedEntry> old = OpenEntry(*folder, name, 0, kShareAll);
    if (old && old->reached == Reached::Entry) {
      if (old->IsFolder()) return Error(ERROR_ACCESS_DENIED);
      attributes = old->facts.attributes;
    } else if (!old && !IsMissing(old.error())) {
      return old.error();
    }
  }
  ErrorOr<TemporaryFile> temporary = TemporaryFile::Create(*folder);
  if (!temporary) return temporary.error();
  const HANDLE handle = reinterpret_cast<HANDLE>(temporary->NativeHandle());
  if (const std::error_code error = temporary->Write(bytes.data(), bytes.size())) return error;
  if (const std::error_code error = SetHandleAttributes(handle, attributes, nullptr)) return error;
  // Whole on disk before it takes the old file's place.
  if (!::FlushFileBuffers(handle)) return LastError();
  // Another run appending a line holds the file for a moment: wait for it.
  const ULONGLONG deadline = ::GetTickCount64() + 2000;
  for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 50)) {
    const std::error_code error = temporary->Commit(name, true);
    if (!error || (error != Error(ERROR_SHARING_VIOLATION) && error != Error(ERROR_ACCESS_DENIED)) ||
        ::GetTickCount64() >= deadline)
      return error;
    ::Sleep(pause);
  }
}

// ---- The temporary-file primitive -----------------------------------------------------

TemporaryFile::TemporaryFile(const Folder& folder, std::intptr_t handle, std::string name)
    : folder_(&folder), handle_(handle), name_(std::move(name)) {}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : folder_(other.folder_), handle_(std::exchange(other.handle_, Folder::kNoHandle)),
      name_(std::move(other.name_)), committed_(other.committed_) {
  other.committed_ = true;  // the moved-from object removes nothing
}

TemporaryFile::~TemporaryFile() {
  if (handle_ == Folder::kNoHandle) return;
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  // Removed through its own handle: exactly the file this object made,
  // whatever its name has come to name. Read-only would refuse the removal.
  if (!committed_ && SetHandleAttributes(handle, FILE_ATTRIBUTE_NORMAL, nullptr) == std::error_code())
    DeleteHandle(handle);
  ::CloseHandle(handle);
}

ErrorOr<TemporaryFile> TemporaryFile::Create(const Folder& folder) {
  if (!folder.IsOpen()) return Error(ERROR_INVALID_HANDLE);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = NewTemporaryName();
    // Hidden, as the dot hides it on Linux, until the writer gives it the
    // attributes it is to have. Others may read it and rename or delete it
    // (the commit acts on this handle, whatever its name), never write it:
    // a copy stays open for its verification once it has its name.
    ErrorOr<Handle> handle = OpenRelative(Native(folder), Widen(name), GENERIC_READ | GENERIC_WRITE | DELETE,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          FILE_CREATE, kOpenFile, FILE_ATTRIBUTE_HIDDEN);
    if (handle)
      return TemporaryFile(folder, reinterpret_cast<std::intptr_t>(handle->release()), std::move(name));
    if (handle.error() != Error(ERROR_FILE_EXISTS) && handle.error() != Error(ERROR_ALREADY_EXISTS))
      return handle.error();
  }
  return Error(ERROR_FILE_EXISTS);
}

std::error_code TemporaryFile::Write(const char* data, std::size_t size) {
  if (handle_ == Folder::kNoHandle) return Error(ERROR_INVALID_HANDLE);
  if (!WriteAll(reinterpret_cast<HANDLE>(handle_), data, size)) return LastError();
  return {};
}

std::error_code TemporaryFile::Commit(std::string_view targetName, bool replace) {
  if (handle_ == Folder::kNoHandle) return Error(ERROR_INVALID_HANDLE);
  ErrorOr<std::wstring> target = WideName(targetName);
  if (!target) return target.error();
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  // Renamed through its handle: the file written, never one put in its place.
  if (const std::error_code error = RenameHandle(handle, *folder_, *target, replace)) return error;
  committed_ = true;
  handle_ = Folder::kNoHandle;
  if (!::CloseHandle(handle)) return LastError();
  return {};
}

}  // namespace vx
