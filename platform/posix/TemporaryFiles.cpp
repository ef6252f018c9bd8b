// POSIX backend: the temporary-file primitive, unnamed where the file system
// can, and the whole-file replacement built on it.
#include "platform/posix/Posix.h"

#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>

namespace vx::posix {

namespace {

// The process's umask, read where it can be read without changing it
// (/proc, Linux 4.7): setting it to learn it would, for a moment, let any
// other thread of a host process create files with none. Empty when unknown.
std::optional<mode_t> ReadUmask() {
  const ErrorOr<Descriptor> fd = OpenAt(AT_FDCWD, "/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (!fd) return std::nullopt;
  char text[4096];
  const ssize_t n = ::read(fd->get(), text, sizeof text - 1);
  if (n <= 0) return std::nullopt;
  text[n] = '\0';
  const char* line = std::strstr(text, "\nUmask:");
  if (!line) return std::nullopt;
  char* end = nullptr;
  const long mask = std::strtol(line + 7, &end, 8);
  if (end == line + 7 || mask < 0 || mask > 0777) return std::nullopt;
  return static_cast<mode_t>(mask);
}

}  // namespace

// Gives the open unnamed file fd the name target in dirFd, never replacing:
// through /proc, which any process may, else directly where /proc is not
// mounted and the process may (CAP_DAC_READ_SEARCH). One call either way,
// and nothing to remember between calls.
std::error_code LinkUnnamed(int fd, int dirFd, const char* target) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, self, dirFd, target, AT_SYMLINK_FOLLOW) == 0) return {};
  const std::error_code error = Errno();
  if (error != Error(ENOENT)) return error;
  if (::linkat(fd, "", dirFd, target, AT_EMPTY_PATH) == 0) return {};
  return errno == ENOENT || errno == EPERM ? error : Errno();
}

// Renames within one folder without replacing: renameat2 where the file
// system has it, else a hard link and the removal of the old name.
std::error_code RenameNoReplace(int fromFd, const char* from, int toFd, const char* to) {
  if (::renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Errno();
  if (::linkat(fromFd, from, toFd, to, 0) == 0) {
    ::unlinkat(fromFd, from, 0);
    return {};
  }
  if (errno != EPERM && errno != ENOTSUP) return Errno();
  // No hard links either: a look, then a plain rename.
  if (LinkStatusAt(toFd, to)) return Error(EEXIST);
  return ::renameat(fromFd, from, toFd, to) == 0 ? std::error_code() : Errno();
}

mode_t CurrentUmask() {
  if (const std::optional<mode_t> known = ReadUmask()) return *known;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// Makes a new empty file open for writing (and reading: a verification
// reads the copy through it) in dirFd with the permission bits
// mode (less the umask, or as a default ACL allows): unnamed where the file
// system can, else under a fresh temporary name created exclusively.
ErrorOr<NewFile> CreateTemporaryIn(int dirFd, mode_t mode) {
  ErrorOr<Descriptor> unnamed = OpenAt(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
  if (unnamed) return NewFile{std::move(*unnamed), std::string()};
  // Without unnamed files (EOPNOTSUPP; EISDIR or EINVAL before they existed),
  // a fresh name, created exclusively.
  if (unnamed.error() != Error(EOPNOTSUPP) && unnamed.error() != Error(EISDIR) &&
      unnamed.error() != Error(EINVAL))
    return unnamed.error();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = NewTemporaryName();
    ErrorOr<Descriptor> named = OpenAt(dirFd, candidate.c_str(),
                                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    if (named) return NewFile{std::move(*named), std::move(candidate)};
    if (named.error() != Error(EEXIST)) return named.error();
  }
  return Error(EEXIST);
}

// Whether a file made in folder with permission bits mode gets exactly
// those: when the umask takes none of them and the folder has no default
// ACL (which would replace the umask). Asked once per folder: the umask once
// per root, the ACL of the last folder a copy went to (by descriptor and
// identity). Both can only narrow a file's bits, never widen them, so a
// stale answer cannot make a copy readable by more users than its source.
bool CreatedExactly(NativeState& state, const Folder& folder, mode_t mode) {
  const std::lock_guard<std::mutex> lock(state.creationMutex);
  if (!state.umask) state.umask = ReadUmask();
  if (!*state.umask || (mode & **state.umask) != 0) return false;
  const int dirFd = Fd(folder);
  if (state.creationFolderFd != dirFd || state.creationFolderId != folder.Id()) {
    state.creationFolderFd = dirFd;
    state.creationFolderId = folder.Id();
    const ssize_t n = ::fgetxattr(dirFd, "system.posix_acl_default", nullptr, 0);
    state.creationFolderPlain = n < 0 && (errno == ENODATA || errno == EOPNOTSUPP);
  }
  return state.creationFolderPlain;
}

}  // namespace vx::posix

namespace vx {

using namespace posix;

std::error_code NativeFileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::string trimmed = WithoutTrailingSeparators(path);
  const std::size_t folderLength = FolderPartLength(trimmed);
  const CName name(std::string_view(trimmed).substr(folderLength));
  if (!name.ok()) return name.error();
  ErrorOr<Folder> folder = OpenRoot(folderLength == 0 ? std::string(".") : trimmed.substr(0, folderLength));
  if (!folder) return folder.error();
  const ErrorOr<struct stat> old = LinkStatusAt(Fd(*folder), name.c_str());
  const mode_t mode = old && S_ISREG(old->st_mode) ? old->st_mode & 07777 : 0666 & ~CurrentUmask();
  ErrorOr<TemporaryFile> temporary = TemporaryFile::Create(*folder);
  if (!temporary) return temporary.error();
  const int fd = static_cast<int>(temporary->NativeHandle());
  if (const std::error_code error = temporary->Write(bytes.data(), bytes.size())) return error;
  // Whole on disk before it takes the old file's place.
  if (::fchmod(fd, mode) != 0 || ::fdatasync(fd) != 0) return Errno();
  return temporary->Commit(name.c_str(), true);
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
  const Descriptor closed(static_cast<int>(handle_));
  // Only the name this object created exclusively, in this run.
  if (!committed_ && !name_.empty()) ::unlinkat(Fd(*folder_), name_.c_str(), 0);
}

ErrorOr<TemporaryFile> TemporaryFile::Create(const Folder& folder) {
  ErrorOr<NewFile> made = CreateTemporaryIn(Fd(folder), 0600);
  if (!made) return made.error();
  return TemporaryFile(folder, made->fd.release(), std::move(made->name));
}

std::error_code TemporaryFile::Write(const char* data, std::size_t size) {
  return WriteAll(static_cast<int>(handle_), data, size);
}

std::error_code TemporaryFile::Commit(std::string_view targetName, bool replace) {
  const CName target(targetName);
  if (!target.ok()) return target.error();
  const int dirFd = Fd(*folder_);
  const int fd = static_cast<int>(handle_);
  if (name_.empty()) {
    if (!replace) {
      if (const std::error_code error = LinkUnnamed(fd, dirFd, target.c_str())) return error;
    } else {
      // Named first under a fresh temporary name, then renamed over the target.
      std::string temporary;
      for (int attempt = 0;; ++attempt) {
        temporary = NewTemporaryName();
        const std::error_code error = LinkUnnamed(fd, dirFd, temporary.c_str());
        if (!error) break;
        if (error != Error(EEXIST) || attempt == 100) return error;
      }
      if (::renameat(dirFd, temporary.c_str(), dirFd, target.c_str()) != 0) {
        const std::error_code error = Errno();
        ::unlinkat(dirFd, temporary.c_str(), 0);
        return error;
      }
    }
  } else {
    if (replace) {
      if (::renameat(dirFd, name_.c_str(), dirFd, target.c_str()) != 0) return Errno();
    } else if (const std::error_code error =
                   RenameNoReplace(dirFd, name_.c_str(), dirFd, target.c_str())) {
      return error;
    }
  }
  committed_ = true;
  handle_ = Folder::kNoHandle;
  (void)Descriptor(fd).Close();
  return {};
}

}  // namespace vx
