// What the Win32 backend's files share: errors, wide names and long paths,
// handles, and names opened relative to a held folder's handle. Internal to
// the backend.
//
// The engine's texts are ANSI, but every path here goes to the wide ("W")
// functions in the "\\?\" form: the ANSI functions stop at MAX_PATH (a
// temporary name beside a target of 253 characters would not fit), map
// names the code page cannot hold to look-alikes, and take CON or NUL inside
// a folder for devices. An ANSI text converts to UTF-16 without loss; the way
// back is checked (Narrow).
//
// A name inside a held folder is opened, created and renamed relative to the
// folder's handle (NtCreateFile and NtSetInformationFile take a root handle:
// the *at calls that Win32 lacks), so it is that very folder's entry whatever
// its path comes to name. What must never act through a link (attributes,
// delete, rename, removal, entering a folder) opens the entry with
// FILE_OPEN_REPARSE_POINT and checks the handle (OpenEntry).
#pragma once

#include <windows.h>
#include <winternl.h>
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#undef ReplaceFile
#undef RemoveDirectory

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace vx {

// The Win32 backend learns nothing as it works that belongs to one
// instance: the held folders' paths are kept by handle for every instance
// (Folders.cpp), as Folder::Close must forget them.
struct NativeState {};

}  // namespace vx

namespace vx::win {

// ---- Errors (Errors.cpp)
inline std::error_code Error(DWORD code) { return SystemError(static_cast<int>(code)); }
inline std::error_code LastError() {
  const DWORD code = ::GetLastError();
  return Error(code ? code : ERROR_GEN_FAILURE);
}

// ---- Security descriptors (Security.cpp)
// Gives out, a handle of a new copy or folder, the owner and group and the
// DACL of in, as keep asks; where the process may not, the copy stays as made.
std::error_code KeepSecurityOf(HANDLE in, HANDLE out, const KeepMetadata& keep, bool folder);
bool ProcessMayChangeOwners();

// ---- Names and paths (Names.cpp)
std::wstring Widen(std::string_view ansi);
bool Narrow(const wchar_t* wide, std::size_t length, std::string& ansi);
std::string Narrow(const std::wstring& wide);
ErrorOr<std::wstring> WideName(std::string_view name);
bool SameText(std::wstring_view a, std::wstring_view b);
bool StartsWith(std::wstring_view text, std::wstring_view prefix);
inline constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
inline constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
ErrorOr<std::wstring> AbsolutePath(const std::wstring& path);
ErrorOr<std::wstring> LongPath(std::string_view path);
std::size_t LongRootLength(const std::wstring& path);
std::wstring JoinLong(const std::wstring& folder, const std::wstring& name);
ErrorOr<std::wstring> FinalPath(HANDLE handle);

// ---- Handles
inline HANDLE Native(const Folder& folder) { return reinterpret_cast<HANDLE>(folder.NativeHandle()); }

inline FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileId id;
  id.device = info.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return id;
}

inline int64_t ToInt64(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// A handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What a held folder is opened with: listing rights, so that the sharing
// rules apply to it (a handle with attribute rights alone pins nothing), and
// no delete sharing, so that it cannot be renamed, removed or replaced.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// How an entry was reached by OpenEntry.
enum class Reached {
  Entry,         // the entry itself, a plain file or folder
  ReparsePoint,  // the entry is a reparse point, opened itself (a link, junction, mount point)
  ThroughLink,   // the system followed a link in the entry's place (Wine's symbolic links)
};

// The options of NtCreateFile for what CreateFileW's flags ask.
constexpr ULONG kOpenAny = FILE_SYNCHRONOUS_IO_NONALERT | 0x00004000;  // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kOpenItself = kOpenAny | 0x00200000;                     // FILE_OPEN_REPARSE_POINT
constexpr ULONG kOpenFile = FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE;
constexpr ULONG kOpenFolder = FILE_SYNCHRONOUS_IO_NONALERT | FILE_DIRECTORY_FILE;

// ---- Held folders (Folders.cpp)
ErrorOr<std::wstring> FolderBase(const Folder& folder);

// ---- Names inside a held folder (Entries.cpp)
// Opens or creates name (one component) inside the folder a handle holds.
// disposition is FILE_OPEN or FILE_CREATE; a link at the name is followed
// unless options hold FILE_OPEN_REPARSE_POINT.
ErrorOr<Handle> OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                             ULONG disposition, ULONG options, ULONG attributes = FILE_ATTRIBUTE_NORMAL);

// What a handle holds, without the serial number of its volume: Wine takes
// most of a millisecond to tell that, the rest costs microseconds. Below a
// held folder an entry that is no reparse point lies on the folder's volume.
struct Facts {
  DWORD attributes = 0;
  uint64_t size = 0;
  int64_t lastWrite = 0;
  uint64_t index = 0;
  uint32_t links = 1;
};

ErrorOr<FILE_BASIC_INFO> BasicOf(HANDLE handle);
ErrorOr<uint64_t> IndexOf(HANDLE handle);
ErrorOr<Facts> FactsOf(HANDLE handle);
ErrorOr<FileId> FullIdOf(HANDLE handle);
// How many names the file has (hard links).
ErrorOr<DWORD> LinkCount(HANDLE handle);

struct OpenedEntry {
  Handle handle;
  Facts facts;
  DWORD reparseTag = 0;
  Reached reached = Reached::Entry;
  bool IsFolder() const { return (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLinkTag() const {
    return reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT;
  }
  // The identity of an entry reached itself (Reached::Entry) in folder.
  FileId IdIn(const Folder& folder) const { return FileId{folder.Id().device, facts.index}; }
};

// Opens name inside folder itself, never what a link there leads to: a
// link, junction or mount point is opened as itself (Reached::ReparsePoint).
// Where the system follows a link all the same (Wine's symbolic links carry
// no reparse attribute), the handle's final path tells: it is not the
// folder's path plus this name (Reached::ThroughLink).
ErrorOr<OpenedEntry> OpenEntry(const Folder& folder, std::string_view name, DWORD access, DWORD share);
std::error_code RenameHandle(HANDLE handle, const Folder& to, const std::wstring& target, bool replace);
// Gives the file handle holds one more name, target in to (a hard link);
// ERROR_FILE_EXISTS when the name is taken.
std::error_code LinkHandle(HANDLE handle, const Folder& to, const std::wstring& target);
std::error_code DeleteHandle(HANDLE handle);
std::error_code SetHandleAttributes(HANDLE handle, DWORD attributes, const int64_t* lastWrite);
EntryInfo Describe(HANDLE handle, const Facts& facts, const FileId& id);
ErrorOr<EntryInfo> DescribeFollowing(const std::wstring& path);
ErrorOr<EntryInfo> DescribeLed(HANDLE handle);
ErrorOr<EntryInfo> DescribeLink(const Folder& folder, const std::wstring& name);
std::error_code LinkRefused(const OpenedEntry& entry);

// ---- File copy (FileCopy.cpp)
bool WriteAll(HANDLE file, const char* data, std::size_t size);
std::error_code RequireDiskFile(HANDLE file);
ErrorOr<Handle> OpenDiskFileForRead(const Folder& folder, std::string_view name, DWORD share);

}  // namespace vx::win
