// Win32 backend: listings of held folders and looks at single names.
#include "platform/win32/Win32.h"

#include "platform/win32/ListingSteps.h"

#include <vector>

namespace vx::win {

ReadFolderStep readFolder = ::GetFileInformationByHandleEx;

}  // namespace vx::win

namespace vx {

using namespace win;

ErrorOr<Listing> NativeFileSystem::List(const Folder& folder, const ListOptions& options) {
  if (!folder.IsOpen()) return Error(ERROR_INVALID_HANDLE);
  Listing listing;
  std::string name, shortName;
  // One entry as the system lists it; an error ends the listing.
  auto add = [&](std::wstring_view wideName, std::wstring_view wideShort, DWORD attributes, uint64_t size,
                 int64_t lastWrite, DWORD reparseTag, uint64_t fileIndex) -> std::error_code {
    if (wideName == L"." || wideName == L"..") return {};
    if (!options.includeHidden && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) return {};
    ListedEntry entry;
    entry.attributes = attributes;
    entry.attributesRead = true;
    entry.lastWrite = lastWrite;
    entry.fileIndex = fileIndex;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A folder link, junction or mount point: listed, never entered.
      entry.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    } else {
      entry.size = size;
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && reparseTag == IO_REPARSE_TAG_SYMLINK) {
        // A link to a file reads as the file; one that leads nowhere is not listed.
        ErrorOr<EntryInfo> led = DescribeLink(folder, std::wstring(wideName));
        if (!led) return IsMissing(led.error()) ? std::error_code() : led.error();  // gone since listed
        if (led->kind != EntryKind::File) return {};
        entry.link = true;
        entry.size = led->size;
        entry.lastWrite = led->lastWrite;
      }
    }
    if (entry.link) entry.fileIndex = 0;
    // A name the code page cannot hold keeps its "?" marks (Narrow), so that
    // nothing can act on it under another file's name; the copy of such a
    // file fails, loudly. Its short name, where it has one, may serve.
    Narrow(wideName.data(), wideName.size(), name);
    Narrow(wideShort.data(), wideShort.size(), shortName);
    listing.Add(name, shortName, entry);
    return {};
  };

  if (!options.mask.empty() && options.mask != "*.*" && options.mask != "*") {
    // A mask (only ever the top folder's): the system matches it, as the
    // enumeration does on Windows, short names included.
    ErrorOr<std::wstring> base = FolderBase(folder);
    if (!base) return base.error();
    WIN32_FIND_DATAW data;
    const HANDLE find = ::FindFirstFileExW(JoinLong(*base, Widen(options.mask)).c_str(), FindExInfoStandard,
                                           &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) return listing;  // nothing matches
      return Error(error);
    }
    std::error_code error;
    do {
      error = add(data.cFileName, data.cAlternateFileName, data.dwFileAttributes,
                  (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                  ToInt64(data.ftLastWriteTime), data.dwReserved0, 0);
    } while (!error && ::FindNextFileW(find, &data));
    if (!error && ::GetLastError() != ERROR_NO_MORE_FILES) error = LastError();
    ::FindClose(find);
    if (error) return error;
    return listing;
  }

  // Every entry, read through the held handle: the folder held, whatever its
  // path names now.
  std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));
  FILE_INFO_BY_HANDLE_CLASS step = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!win::readFolder(Native(folder), step, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(uint64_t)))) {
      const DWORD error = ::GetLastError();
      // The end, or an empty root; any other error part-way is an error,
      // never the end of the folder.
      if (error == ERROR_NO_MORE_FILES || (error == ERROR_FILE_NOT_FOUND && step == FileIdBothDirectoryRestartInfo))
        return listing;
      return Error(error);
    }
    step = FileIdBothDirectoryInfo;
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      if (const std::error_code error =
              add(std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)),
                  std::wstring_view(entry->ShortName, entry->ShortNameLength / sizeof(wchar_t)),
                  entry->FileAttributes, static_cast<uint64_t>(entry->EndOfFile.QuadPart),
                  entry->LastWriteTime.QuadPart, entry->EaSize,  // the reparse tag, for reparse points
                  static_cast<uint64_t>(entry->FileId.QuadPart)))
        return error;
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
}

ErrorOr<EntryInfo> NativeFileSystem::Look(const Folder& folder, std::string_view name) {
  ErrorOr<OpenedEntry> entry = OpenEntry(folder, name, 0, kShareAll);
  if (!entry) return entry.error();
  switch (entry->reached) {
    case Reached::Entry:
      return Describe(entry->handle.get(), entry->facts, entry->IdIn(folder));
    case Reached::ThroughLink:
      // The handle holds what the link leads to.
      return DescribeLed(entry->handle.get());
    case Reached::ReparsePoint:
      break;
  }
  if (!entry->IsLinkTag()) {
    // Another kind of reparse point: a folder behind it is never entered.
    EntryInfo info = Describe(entry->handle.get(), entry->facts, entry->IdIn(folder));
    if (info.kind != EntryKind::Folder) info.attributes &= ~attr::ReparsePoint;
    return info;
  }
  return DescribeLink(folder, *WideName(name));
}

ErrorOr<EntryInfo> NativeFileSystem::LookPath(const std::string& path) {
  ErrorOr<std::wstring> wide = LongPath(path);
  if (!wide) return wide.error();
  ErrorOr<EntryInfo> info = DescribeFollowing(*wide);
  if (!info) return info;
  // A root named through a link is what the link leads to.
  const DWORD own = ::GetFileAttributesW(wide->c_str());
  info->link = own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT);
  info->attributes &= ~attr::ReparsePoint;
  return info;
}

}  // namespace vx
