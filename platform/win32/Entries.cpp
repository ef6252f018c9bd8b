// Win32 backend: names inside a held folder, opened relative to its handle
// and checked for links, and what such a handle holds.
#include "platform/win32/Win32.h"

#include <cstring>
#include <vector>

namespace vx::win {

namespace {

// The system's calls that take a name relative to a folder's handle.
struct RelativeCalls {
  decltype(&::NtCreateFile) create = nullptr;
  decltype(&::NtSetInformationFile) setInformation = nullptr;
  decltype(&::NtQueryInformationFile) queryInformation = nullptr;
  decltype(&::RtlNtStatusToDosError) toWin32 = nullptr;
  RelativeCalls() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return;
    create = reinterpret_cast<decltype(create)>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
    setInformation = reinterpret_cast<decltype(setInformation)>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtSetInformationFile")));
    queryInformation = reinterpret_cast<decltype(queryInformation)>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationFile")));
    toWin32 = reinterpret_cast<decltype(toWin32)>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  }
  bool available() const { return create && setInformation && queryInformation && toWin32; }
};

const RelativeCalls& Relative() {
  static const RelativeCalls calls;
  return calls;
}

// Whether last, the last component of a handle's final path, is what name
// named: the same name, or the entry whose short (8.3) name it is.
bool NamesEntry(const std::wstring& folder, const std::wstring& last, const std::wstring& name) {
  if (SameText(last, name)) return true;
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(JoinLong(folder, name).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(find);
  return SameText(data.cFileName, last) && SameText(data.cAlternateFileName, name) &&
         !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// What a handle that may lie anywhere holds, its volume included.
ErrorOr<EntryInfo> DescribeAnywhere(HANDLE handle) {
  ErrorOr<Facts> facts = FactsOf(handle);
  if (!facts) return facts.error();
  ErrorOr<FileId> id = FullIdOf(handle);
  if (!id) return id.error();
  return Describe(handle, *facts, *id);
}

}  // namespace

// Opens or creates name (one component) inside the folder a handle holds.
// disposition is FILE_OPEN or FILE_CREATE; a link at the name is followed
// unless options hold FILE_OPEN_REPARSE_POINT.
ErrorOr<Handle> OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                             ULONG disposition, ULONG options, ULONG attributes) {
  const RelativeCalls& calls = Relative();
  if (!calls.available()) return Error(ERROR_NOT_SUPPORTED);
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.data());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS result = calls.create(&handle, access | SYNCHRONIZE, &object, &status, nullptr, attributes,
                                       share, disposition, options, nullptr, 0);
  if (result < 0) return Error(calls.toWin32(result));
  return Handle(handle);
}

// Attributes and times alone: one query.
ErrorOr<FILE_BASIC_INFO> BasicOf(HANDLE handle) {
  FILE_BASIC_INFO basic;
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return LastError();
  return basic;
}

// The file's index on its volume.
ErrorOr<uint64_t> IndexOf(HANDLE handle) {
  LARGE_INTEGER index;  // FILE_INTERNAL_INFORMATION
  IO_STATUS_BLOCK status;
  const RelativeCalls& calls = Relative();
  const NTSTATUS result = calls.queryInformation(handle, &status, &index, sizeof index,
                                                 static_cast<FILE_INFORMATION_CLASS>(6));  // FileInternalInformation
  if (result < 0) return Error(calls.toWin32(result));
  return static_cast<uint64_t>(index.QuadPart);
}

ErrorOr<Facts> FactsOf(HANDLE handle) {
  ErrorOr<FILE_BASIC_INFO> basic = BasicOf(handle);
  if (!basic) return basic.error();
  FILE_STANDARD_INFO standard;
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) return LastError();
  Facts facts;
  facts.attributes = basic->FileAttributes;
  facts.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  facts.lastWrite = basic->LastWriteTime.QuadPart;
  facts.links = standard.NumberOfLinks;
  ErrorOr<uint64_t> index = IndexOf(handle);
  if (!index) return index.error();
  facts.index = *index;
  return facts;
}

// The whole identity, volume included: for roots and what links lead to.
ErrorOr<FileId> FullIdOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return LastError();
  return IdOf(info);
}

// Opens name inside folder itself, never what a link there leads to: a
// link, junction or mount point is opened as itself (Reached::ReparsePoint).
// Where the system follows a link all the same (Wine's symbolic links carry
// no reparse attribute), the handle's final path tells: it is not the
// folder's path plus this name (Reached::ThroughLink).
ErrorOr<OpenedEntry> OpenEntry(const Folder& folder, std::string_view name, DWORD access, DWORD share) {
  ErrorOr<std::wstring> wide = WideName(name);
  if (!wide) return wide.error();
  ErrorOr<std::wstring> base = FolderBase(folder);
  if (!base) return base.error();
  ErrorOr<Handle> handle =
      OpenRelative(Native(folder), *wide, access | FILE_READ_ATTRIBUTES, share, FILE_OPEN, kOpenItself);
  if (!handle) return handle.error();
  OpenedEntry entry;
  entry.handle = std::move(*handle);
  ErrorOr<Facts> facts = FactsOf(entry.handle.get());
  if (!facts) return facts.error();
  entry.facts = *facts;
  if (entry.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (::GetFileInformationByHandleEx(entry.handle.get(), FileAttributeTagInfo, &tag, sizeof tag))
      entry.reparseTag = tag.ReparseTag;
    entry.reached = Reached::ReparsePoint;
    return entry;
  }
  ErrorOr<std::wstring> final = FinalPath(entry.handle.get());
  if (!final) return final.error();
  const std::size_t cut = final->find_last_of(L'\\');
  const std::wstring_view folderPath = std::wstring_view(*base).substr(0, base->size() - (base->back() == L'\\'));
  const bool inFolder = cut != std::wstring::npos && SameText(std::wstring_view(*final).substr(0, cut), folderPath);
  if (!inFolder || !NamesEntry(*base, final->substr(cut + 1), *wide)) entry.reached = Reached::ThroughLink;
  return entry;
}

namespace {

// Gives the file a handle holds a name in the folder to, through the layout
// that renames and links share (FILE_RENAME_INFORMATION).
std::error_code SetNameInformation(HANDLE handle, const Folder& to, const std::wstring& target, bool replace,
                                   int informationClass) {
  const RelativeCalls& calls = Relative();
  if (!calls.available()) return Error(ERROR_NOT_SUPPORTED);
  const std::size_t bytes = target.size() * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = Native(to);
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, target.data(), bytes);
  IO_STATUS_BLOCK status;
  const NTSTATUS result = calls.setInformation(handle, &status, info, static_cast<ULONG>(buffer.size()),
                                               static_cast<FILE_INFORMATION_CLASS>(informationClass));
  if (result >= 0) return {};
  const DWORD code = calls.toWin32(result);
  return Error(code == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : code);
}

}  // namespace

// Gives the file a handle holds (opened with DELETE) the name target in the
// folder to: exactly that file moves, into that very folder.
std::error_code RenameHandle(HANDLE handle, const Folder& to, const std::wstring& target, bool replace) {
  return SetNameInformation(handle, to, target, replace, 10);  // FileRenameInformation
}

std::error_code LinkHandle(HANDLE handle, const Folder& to, const std::wstring& target) {
  return SetNameInformation(handle, to, target, false, 11);  // FileLinkInformation
}

// Deletes the file or empty folder a handle holds (opened with DELETE).
std::error_code DeleteHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition))
    return LastError();
  return {};
}

// Attributes through a handle: 0 would mean "unchanged", so none is NORMAL.
std::error_code SetHandleAttributes(HANDLE handle, DWORD attributes, const int64_t* lastWrite) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = attributes & kSettable;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (lastWrite) basic.LastWriteTime.QuadPart = *lastWrite;
  if (!::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) return LastError();
  return {};
}

// What a handle holds, for Look and LookPath.
EntryInfo Describe(HANDLE handle, const Facts& facts, const FileId& id) {
  EntryInfo entry;
  entry.attributes = facts.attributes;
  entry.id = id;
  entry.lastWrite = facts.lastWrite;
  entry.links = facts.links;
  if (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    entry.kind = EntryKind::Folder;
  } else if (::GetFileType(handle) != FILE_TYPE_DISK) {
    entry.kind = EntryKind::Special;  // Wine shows FIFOs and devices as files
  } else {
    entry.kind = EntryKind::File;
    entry.size = facts.size;
  }
  return entry;
}

// Opens a path for a look at what it leads to.
ErrorOr<EntryInfo> DescribeFollowing(const std::wstring& path) {
  Handle handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return LastError();
  return DescribeAnywhere(handle.get());
}

// What a link leads to, held by handle, marked as reached through a link.
ErrorOr<EntryInfo> DescribeLed(HANDLE handle) {
  ErrorOr<EntryInfo> led = DescribeAnywhere(handle);
  if (!led) return led;
  led->link = true;
  if (led->kind == EntryKind::Folder) led->attributes |= attr::ReparsePoint;
  return led;
}

// A link's entry: what it leads to, marked as a link; nowhere is a dangling link.
ErrorOr<EntryInfo> DescribeLink(const Folder& folder, const std::wstring& name) {
  ErrorOr<Handle> handle = OpenRelative(Native(folder), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, kOpenAny);
  if (!handle) {
    if (!IsMissing(handle.error()) && handle.error() != Error(ERROR_CANT_RESOLVE_FILENAME))
      return handle.error();
    EntryInfo dangling;
    dangling.kind = EntryKind::DanglingLink;
    dangling.link = true;
    dangling.attributes = attr::ReparsePoint;
    return dangling;
  }
  return DescribeLed(handle->get());
}

// The refusal for a name that must not be acted on through a link.
std::error_code LinkRefused(const OpenedEntry& entry) {
  if (entry.reached == Reached::ReparsePoint && !entry.IsLinkTag())
    return Error(ERROR_NOT_SAME_DEVICE);  // a mount point or another reparse point
  return Error(ERROR_CANT_ACCESS_FILE);
}

}  // namespace vx::win
