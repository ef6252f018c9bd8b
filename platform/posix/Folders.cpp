// POSIX backend: held folders: roots opened and created by path, subfolders
// opened and created without following links, the chain of parents,
// removal of empty folders and of folder links.
#include "platform/posix/Posix.h"

#include <sys/resource.h>

#include <vector>

namespace vx::posix {

namespace {

// A walk holds one descriptor per folder level on each side: the soft limit
// goes up to the hard one, once, so that deep trees are walked. Folders are
// held only below a ceiling that keeps a few descriptors for the copy and the
// log: a walk deeper than that gets EMFILE, a failed copy like any other,
// rather than a log that can no longer be opened.
constexpr int kDescriptorsKept = 16;

// Opens the folder name below dirFd: never through a link, never into a
// mount point (another file system or a bind mount). Why an open failed is
// told by a look at the name: a link is ELOOP, a file ENOTDIR.
ErrorOr<Folder> OpenBelow(const NativeState& state, const Folder& parent, const char* name) {
  const int dirFd = Fd(parent);
  ErrorOr<Descriptor> fd = OpenAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (!fd) {
    const std::error_code error = fd.error();
    if (error != Error(ENOTDIR) && error != Error(ELOOP)) return error;
    const ErrorOr<struct stat> st = LinkStatusAt(dirFd, name);
    if (!st) return error;
    return Error(S_ISLNK(st->st_mode) ? ELOOP : ENOTDIR);
  }
  // A folder's descriptor never takes one of the descriptors kept back.
  if (fd->get() >= state.folderCeiling) return Error(EMFILE);
  const ErrorOr<Status> status = StatusOf(fd->get());
  if (!status) return status.error();
  if (status->mountRoot || status->id.device != parent.Id().device) return Error(EXDEV);
  return Folder(fd->release(), parent.PathOf(name), status->id);
}

}  // namespace

void RaiseDescriptorLimit(NativeState& state) {
  std::call_once(state.limitRaised, [&state] {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    if (limit.rlim_cur < limit.rlim_max) {
      limit.rlim_cur = limit.rlim_max;
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < static_cast<rlim_t>(1 << 30))
      state.folderCeiling = static_cast<int>(limit.rlim_cur) - kDescriptorsKept;
  });
}

// Removes the empty folder name in dirFd (AT_FDCWD with a path). The
// removal never follows a link; one in the folder's place is told apart
// afterwards, as ELOOP, so that the usual removal costs one call.
std::error_code RemoveEmptyFolder(int dirFd, const char* name) {
  if (::unlinkat(dirFd, name, AT_REMOVEDIR) == 0) return {};
  const std::error_code error = Errno();
  if (error == Error(ENOTDIR)) {
    const ErrorOr<struct stat> st = LinkStatusAt(dirFd, name);
    if (st && S_ISLNK(st->st_mode)) return Error(ELOOP);
  }
  return error;
}

// A folder just made takes what keep asks of like, through its descriptor,
// before anything is put in it.
std::error_code KeepLike(const Folder& like, int made, const KeepMetadata& keep, mode_t mode) {
  if (!keep.owner && !keep.xattrs) return {};
  struct stat st;
  if (::fstat(Fd(like), &st) != 0) return Errno();
  return KeepMetadataOf(Fd(like), st, made, keep, mode & 07777);
}

}  // namespace vx::posix

namespace vx {

using namespace posix;

NativeFileSystem::NativeFileSystem() : state_(std::make_unique<NativeState>()) {}
NativeFileSystem::~NativeFileSystem() = default;

void Folder::CloseNative() {
  if (handle_ != kNoHandle) (void)Descriptor(static_cast<int>(handle_)).Close();
  handle_ = kNoHandle;
}

ErrorOr<Folder> NativeFileSystem::OpenRoot(const std::string& path) {
  RaiseDescriptorLimit(*state_);
  // A new root: a host may have changed its umask since the last copy.
  {
    const std::lock_guard<std::mutex> lock(state_->creationMutex);
    state_->umask.reset();
  }
  if (path.empty()) return Error(ENOENT);
  ErrorOr<Descriptor> fd = OpenAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (!fd) return fd.error();
  const ErrorOr<Status> status = StatusOf(fd->get());
  if (!status) return status.error();
  return Folder(fd->release(), WithoutTrailingSeparators(path), status->id);
}

ErrorOr<Folder> NativeFileSystem::CreateRoot(const std::string& path, const Folder* like,
                                             const KeepMetadata& keep) {
  ErrorOr<Folder> existing = OpenRoot(path);
  if (existing || !IsMissing(existing.error())) return existing;
  const std::string trimmed = WithoutTrailingSeparators(path);
  const std::size_t parent = FolderPartLength(trimmed);
  if (parent > 1) {
    if (const std::error_code error = CreateDirectories(trimmed.substr(0, parent))) return error;
  }
  const ErrorOr<Status> model = like ? StatusOf(Fd(*like)) : ErrorOr<Status>(Error(ENOENT));
  // Private until its bits are set: nothing is readable meanwhile that should not be.
  if (::mkdir(trimmed.c_str(), model ? 0700 : 0777) != 0) {
    if (errno == EEXIST) return OpenRoot(path);
    return Errno();
  }
  // Just made here: a link in its place now is not ours to follow.
  ErrorOr<Descriptor> fd = OpenAt(AT_FDCWD, trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (!fd) return fd.error();
  const ErrorOr<Status> status = StatusOf(fd->get());
  if (!status) return status.error();
  if (model && ::fchmod(fd->get(), model->mode & 07777) != 0) return Errno();
  if (model) {
    if (const std::error_code error = KeepLike(*like, fd->get(), keep, model->mode)) return error;
  }
  return Folder(fd->release(), trimmed, status->id);
}

std::error_code NativeFileSystem::CreateDirectories(const std::string& path) {
  if (path.empty()) return Error(ENOENT);
  const std::string trimmed = WithoutTrailingSeparators(path);
  struct stat st;
  if (::stat(trimmed.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? std::error_code() : Error(ENOTDIR);
  if (errno != ENOENT) return Errno();
  const std::size_t folder = FolderPartLength(trimmed);
  if (folder > 1) {
    if (const std::error_code error = CreateDirectories(trimmed.substr(0, folder - 1))) return error;
  }
  if (::mkdir(trimmed.c_str(), 0777) == 0) return {};
  if (errno == EEXIST && ::stat(trimmed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
  return Errno();
}

std::error_code NativeFileSystem::RemoveFolderPath(const std::string& path) {
  return RemoveEmptyFolder(AT_FDCWD, WithoutTrailingSeparators(path).c_str());
}

ErrorOr<Folder> NativeFileSystem::OpenFolder(const Folder& parent, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  return OpenBelow(*state_, parent, cname.c_str());
}

ErrorOr<Folder> NativeFileSystem::CreateFolder(const Folder& parent, std::string_view name,
                                               const Folder* like, const KeepMetadata& keep) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  ErrorOr<Folder> existing = OpenBelow(*state_, parent, cname.c_str());
  if (existing || existing.error() != Error(ENOENT)) return existing;
  const ErrorOr<Status> model = like ? StatusOf(Fd(*like)) : ErrorOr<Status>(Error(ENOENT));
  // Private until its bits are set: nothing is readable meanwhile that should not be.
  if (::mkdirat(Fd(parent), cname.c_str(), model ? 0700 : 0777) != 0) {
    if (errno == EEXIST) return OpenBelow(*state_, parent, cname.c_str());
    return Errno();
  }
  ErrorOr<Folder> made = OpenBelow(*state_, parent, cname.c_str());
  // The source's bits exactly, setgid and sticky included, whatever the umask.
  if (made && model && ::fchmod(Fd(*made), model->mode & 07777) != 0) return Errno();
  if (made && model) {
    if (const std::error_code error = KeepLike(*like, Fd(*made), keep, model->mode)) return error;
  }
  return made;
}

ErrorOr<std::vector<FileId>> NativeFileSystem::FolderAndParents(const Folder& folder) {
  std::vector<FileId> chain{folder.Id()};
  int current = Fd(folder);
  Descriptor held;
  // ".." of the top folder is itself; a bounded climb all the same.
  for (int step = 0; step < 4096; ++step) {
    ErrorOr<Descriptor> parent = OpenAt(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!parent) return parent.error();
    const ErrorOr<Status> status = StatusOf(parent->get());
    if (!status) return status.error();
    if (status->id == chain.back()) return chain;
    chain.push_back(status->id);
    held = std::move(*parent);
    current = held.get();
  }
  return Error(ELOOP);
}

ErrorOr<FileId> NativeFileSystem::MountTop(const Folder& folder) {
  int current = Fd(folder);
  Descriptor held;
  FileId last = folder.Id();
  for (int step = 0; step < 4096; ++step) {
    const ErrorOr<Status> status = StatusOf(current);
    if (!status) return status.error();
    // The top of the whole tree is its own parent.
    if (status->mountRoot || (step > 0 && status->id == last)) return status->id;
    ErrorOr<Descriptor> parent = OpenAt(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!parent) return parent.error();
    last = status->id;
    held = std::move(*parent);
    current = held.get();
  }
  return Error(ELOOP);
}

std::error_code NativeFileSystem::RemoveRoot(Folder& folder) {
  const std::string path = WithoutTrailingSeparators(folder.Path());
  const CName cname(std::string_view(path).substr(FolderPartLength(path)));
  if (!cname.ok()) return cname.error();
  // The folder's own parent, wherever it now lies: never the path's.
  ErrorOr<Descriptor> parent = OpenAt(Fd(folder), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (!parent) return parent.error();
  const ErrorOr<struct stat> st = LinkStatusAt(parent->get(), cname.c_str());
  if (!st) return st.error();
  // The name there is no longer this folder (renamed, or another put in its place).
  if (!S_ISDIR(st->st_mode) || FileId{st->st_dev, st->st_ino} != folder.Id()) return Error(ENOENT);
  folder.Close();
  return RemoveEmptyFolder(parent->get(), cname.c_str());
}

std::error_code NativeFileSystem::RemoveFolder(const Folder& parent, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  return RemoveEmptyFolder(Fd(parent), cname.c_str());
}

std::error_code NativeFileSystem::RemoveLink(const Folder& parent, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  const ErrorOr<struct stat> st = LinkStatusAt(Fd(parent), cname.c_str());
  if (!st) return st.error();
  if (!S_ISLNK(st->st_mode)) return Error(EINVAL);
  if (::unlinkat(Fd(parent), cname.c_str(), 0) != 0) return Errno();
  return {};
}

}  // namespace vx
