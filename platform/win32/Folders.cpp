// Win32 backend: held folders: roots opened and created by path, subfolders
// opened and created without following links, the chain of parents,
// removal of empty folders and of folder links.
#include "platform/win32/Win32.h"

#include <mutex>
#include <optional>
#include <vector>

namespace vx::win {

namespace {

// The final path of the folders in use, kept while they are held: the copy
// asks for it at every name. Folder::Close forgets an entry, so a handle
// value the system gives out again never finds the old folder's path.
class FolderPaths {
 public:
  std::optional<std::wstring> Find(std::intptr_t handle, const FileId& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& entry : entries_)
      if (entry.handle == handle && entry.id == id) return entry.path;
    return std::nullopt;
  }
  void Remember(std::intptr_t handle, const FileId& id, const std::wstring& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = entries_[next_++ % kEntries];
    entry = Entry{handle, id, path};
  }
  void Forget(std::intptr_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_)
      if (entry.handle == handle) entry.handle = Folder::kNoHandle;
  }

 private:
  static constexpr std::size_t kEntries = 16;
  struct Entry {
    std::intptr_t handle = Folder::kNoHandle;
    FileId id;
    std::wstring path;
  };
  std::mutex mutex_;
  Entry entries_[kEntries];
  std::size_t next_ = 0;
};

FolderPaths& HeldFolderPaths() {
  static FolderPaths paths;
  return paths;
}

// Opens a folder by a long path, links followed (a root may be named through one).
ErrorOr<Folder> OpenFolderPath(const std::wstring& path, std::string display) {
  Handle handle(::CreateFileW(path.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError();
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Error(ERROR_DIRECTORY);
  return Folder(reinterpret_cast<std::intptr_t>(handle.release()), std::move(display), IdOf(info));
}

}  // namespace

// The "\\?\" path of a held folder: the path the system holds for its handle,
// or, where it gives none, the path text it was reached by.
ErrorOr<std::wstring> FolderBase(const Folder& folder) {
  if (!folder.IsOpen()) return Error(ERROR_INVALID_HANDLE);
  if (std::optional<std::wstring> known = HeldFolderPaths().Find(folder.NativeHandle(), folder.Id()))
    return *known;
  ErrorOr<std::wstring> path = FinalPath(Native(folder));
  if (!path) path = LongPath(folder.Path());
  if (path) HeldFolderPaths().Remember(folder.NativeHandle(), folder.Id(), *path);
  return path;
}

}  // namespace vx::win

namespace vx {

using namespace win;

NativeFileSystem::NativeFileSystem() : state_(std::make_unique<NativeState>()) {}
NativeFileSystem::~NativeFileSystem() = default;

void Folder::CloseNative() {
  if (handle_ == kNoHandle) return;
  HeldFolderPaths().Forget(handle_);
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

ErrorOr<Folder> NativeFileSystem::OpenRoot(const std::string& path) {
  ErrorOr<std::wstring> wide = LongPath(path);
  if (!wide) return wide.error();
  return OpenFolderPath(*wide, WithoutTrailingSeparators(path));
}

ErrorOr<Folder> NativeFileSystem::CreateRoot(const std::string& path, const Folder* like,
                                             const KeepMetadata& keep) {
  // A new folder inherits its ACL from its parent, as the system makes it.
  ErrorOr<Folder> existing = OpenRoot(path);
  if (existing || !IsMissing(existing.error())) return existing;
  if (const std::error_code error = CreateDirectories(path)) return error;
  ErrorOr<Folder> made = OpenRoot(path);
  if (made && like) {
    if (const std::error_code error = KeepSecurityOf(Native(*like), Native(*made), keep, true)) return error;
  }
  return made;
}

// ---- Paths named by the user -----------------------------------------------------------

std::error_code NativeFileSystem::CreateDirectories(const std::string& path) {
  ErrorOr<std::wstring> full = LongPath(path);
  if (!full) return full.error();
  std::wstring folder = *full;
  const std::size_t root = LongRootLength(folder);
  while (folder.size() > root && folder.back() == L'\\') folder.pop_back();
  // The first folder that exists, then every one below it.
  std::vector<std::wstring> missing;
  for (std::wstring part = folder; part.size() > root;) {
    const DWORD attributes = ::GetFileAttributesW(part.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Error(ERROR_DIRECTORY);
      break;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return Error(error);
    missing.push_back(part);
    const std::size_t cut = part.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < root) break;
    part.resize(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    const std::wstring& part = *it;
    if (!::CreateDirectoryW(part.c_str(), nullptr)) {
      const DWORD error = ::GetLastError();
      const DWORD attributes = ::GetFileAttributesW(part.c_str());
      if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
          !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Error(error);
    }
  }
  return {};
}

std::error_code NativeFileSystem::RemoveFolderPath(const std::string& path) {
  ErrorOr<std::string> full = FullPath(WithoutTrailingSeparators(path));
  if (!full) return full.error();
  const std::string trimmed = WithoutTrailingSeparators(*full);
  const std::size_t folderLength = FolderPartLength(trimmed);
  if (folderLength == 0 || folderLength == trimmed.size()) return Error(ERROR_ACCESS_DENIED);
  ErrorOr<Folder> parent = OpenRoot(trimmed.substr(0, folderLength));
  if (!parent) return parent.error();
  return RemoveFolder(*parent, std::string_view(trimmed).substr(folderLength));
}

ErrorOr<Folder> NativeFileSystem::OpenFolder(const Folder& parent, std::string_view name) {
  ErrorOr<OpenedEntry> entry = OpenEntry(parent, name, kFolderAccess, kFolderShare);
  if (!entry) return entry.error();
  if (entry->reached != Reached::Entry) return LinkRefused(*entry);
  if (!entry->IsFolder()) return Error(ERROR_DIRECTORY);
  // A plain folder lies on its parent's volume: another volume is mounted
  // at a reparse point, refused above.
  const FileId id = entry->IdIn(parent);
  return Folder(reinterpret_cast<std::intptr_t>(entry->handle.release()), parent.PathOf(name), id);
}

ErrorOr<Folder> NativeFileSystem::CreateFolder(const Folder& parent, std::string_view name,
                                               const Folder* like, const KeepMetadata& keep) {
  ErrorOr<Folder> existing = OpenFolder(parent, name);
  if (existing || existing.error() != Error(ERROR_FILE_NOT_FOUND)) return existing;
  // Made inside the held folder itself; it inherits its ACL from it, as the
  // system makes it. The handle that made it is held as it is: a new entry
  // is no link, so there is nothing to look at again.
  ErrorOr<Handle> made = OpenRelative(Native(parent), *WideName(name), kFolderAccess, kFolderShare, FILE_CREATE,
                                      kOpenFolder | FILE_OPEN_FOR_BACKUP_INTENT);
  if (!made) {
    if (made.error() != Error(ERROR_FILE_EXISTS) && made.error() != Error(ERROR_ALREADY_EXISTS)) return made.error();
    return OpenFolder(parent, name);  // made by another meanwhile
  }
  if (like) {
    if (const std::error_code error = KeepSecurityOf(Native(*like), made->get(), keep, true)) return error;
  }
  ErrorOr<uint64_t> index = IndexOf(made->get());
  if (!index) return index.error();
  const FileId id{parent.Id().device, *index};
  return Folder(reinterpret_cast<std::intptr_t>(made->release()), parent.PathOf(name), id);
}

ErrorOr<std::vector<FileId>> NativeFileSystem::FolderAndParents(const Folder& folder) {
  // The held folder's own path, each of its folders opened in turn up to
  // the root of its volume.
  ErrorOr<std::wstring> path = FinalPath(Native(folder));
  if (!path) return path.error();
  const std::size_t root = LongRootLength(*path);
  std::vector<FileId> chain{folder.Id()};
  std::wstring part = *path;
  while (part.size() > root) {
    const std::size_t cut = part.find_last_of(L'\\');
    if (cut == std::wstring::npos) break;
    part.resize(std::max(cut, root));
    Handle handle(::CreateFileW(part.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) return LastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError();
    if (IdOf(info) != chain.back()) chain.push_back(IdOf(info));
  }
  return chain;
}

std::error_code NativeFileSystem::RemoveFolder(const Folder& parent, std::string_view name) {
  // A folder still held (by this run too) shares no deletion: the open fails
  // with a sharing violation and the folder stays.
  ErrorOr<OpenedEntry> entry = OpenEntry(parent, name, DELETE, kShareAll);
  if (!entry) return entry.error();
  if (entry->reached != Reached::Entry) return LinkRefused(*entry);
  if (!entry->IsFolder()) return Error(ERROR_DIRECTORY);
  return DeleteHandle(entry->handle.get());
}

std::error_code NativeFileSystem::RemoveLink(const Folder& parent, std::string_view name) {
  ErrorOr<OpenedEntry> entry = OpenEntry(parent, name, DELETE, kShareAll);
  if (!entry) return entry.error();
  switch (entry->reached) {
    case Reached::ReparsePoint:
      // The link itself, opened as itself; what it leads to stays.
      if (!entry->IsLinkTag()) return Error(ERROR_NOT_SAME_DEVICE);
      return DeleteHandle(entry->handle.get());
    case Reached::ThroughLink:
      // Wine's links are followed even to delete them: removing one would
      // remove what it leads to. It stays.
      return Error(ERROR_NOT_SUPPORTED);
    case Reached::Entry:
      break;
  }
  return Error(ERROR_INVALID_PARAMETER);
}

}  // namespace vx
