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
int folderCeiling = 1 << 30;

// Opens the folder name below dirFd: never through a link, never into a
// mount point (another file system or a bind mount). Why an open failed is
// told by a look at the name: a link is ELOOP, a file ENOTDIR.
ErrorOr<Folder> OpenBelow(const Folder& parent, const char* name) {
  const int dirFd = Fd(parent);
  ErrorOr<Descriptor> fd = OpenAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (!fd) {
    const std::error_code error = fd.error();
    if (error != Error(ENOTDIR) && error != Error(ELOOP)) return error;
    const ErrorOr<struct stat> st = LinkStatusAt(dirFd, name);
    if (!st) return error;
    return Error(S_ISLNK(st->st_mode) ? ELOOP : ENOTDIR);
  }
  if (AboveCeiling(fd->get())) return Error(EMFILE);
  const ErrorOr<Status> status = StatusOf(fd->get());
  if (!status) return status.error();
  if (status->mountRoot || status->id.device != parent.Id().device) return Error(EXDEV);
  return Folder(fd->release(), parent.PathOf(name), status->id);
}

}  // namespace

void RaiseDescriptorLimit() {
  static const bool raised = [] {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    if (limit.rlim_cur < limit.rlim_max) {
      limit.rlim_cur = limit.rlim_max;
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < static_cast<rlim_t>(1 << 30))
      folderCeiling = static_cast<int>(limit.rlim_cur) - kDescriptorsKept;
    return true;
  }();
  (void)raised;
}

// Whether a folder's descriptor takes one of the descriptors kept back.
bool AboveCeiling(int fd) { return fd >= folderCeiling; }

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

}  // namespace vx::posix

namespace vx {

using namespace posix;

void Folder::Close() {
  if (handle_ != kNoHandle) {
    ForgetCreationFolder(static_cast<int>(handle_));
    (void)Descriptor(static_cast<int>(handle_)).Close();
  }
  handle_ = kNoHandle;
}

ErrorOr<Folder> NativeFileSystem::OpenRoot(const std::string& path) {
  RaiseDescriptorLimit();
  // A new root: a host may have changed its umask since the last copy.
  RereadUmask();
  if (path.empty()) return Error(ENOENT);
  ErrorOr<Descriptor> fd = OpenAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (!fd) return fd.error();
  const ErrorOr<Status> status = StatusOf(fd->get());
  if (!status) return status.error();
  return Folder(fd->release(), WithoutTrailingSeparators(path), status->id);
}

ErrorOr<Folder> NativeFileSystem::CreateRoot(const std::string& path, const Folder* like) {
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
  return OpenBelow(parent, cname.c_str());
}

ErrorOr<Folder> NativeFileSystem::CreateFolder(const Folder& parent, std::string_view name,
                                               const Folder* like) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  ErrorOr<Folder> existing = OpenBelow(parent, cname.c_str());
  if (existing || existing.error() != Error(ENOENT)) return existing;
  const ErrorOr<Status> model = like ? StatusOf(Fd(*like)) : ErrorOr<Status>(Error(ENOENT));
  // Private until its bits are set: nothing is readable meanwhile that should not be.
  if (::mkdirat(Fd(parent), cname.c_str(), model ? 0700 : 0777) != 0) {
    if (errno == EEXIST) return OpenBelow(parent, cname.c_str());
    return Errno();
  }
  ErrorOr<Folder> made = OpenBelow(parent, cname.c_str());
  // The source's bits exactly, setgid and sticky included, whatever the umask.
  if (made && model && ::fchmod(Fd(*made), model->mode & 07777) != 0) return Errno();
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
