// POSIX backend: the log, appended to and trimmed by runs that may share it.
#include "platform/posix/Posix.h"

#include <sys/file.h>

#include <functional>
#include <string>

namespace vx::posix {

namespace {

// The log, named by path: its folder is held (reached as the user named it,
// through links), the log itself is a name in it, never followed. Refused:
// a link (ELOOP), a file with other links (EMLINK), which would carry the
// lines to a file elsewhere; never opened: anything but a regular file.
// Appends and the trim take the lock of the file (flock), each on the file
// the name gives once it holds the lock: a trim that replaced the file
// meanwhile sends the append to the new one.
struct LogFile {
  Folder folder;
  std::string name;
  Descriptor fd;
};

ErrorOr<LogFile> OpenLog(FileSystem& fs, const std::string& path, int access, bool create) {
  const std::string trimmed = WithoutTrailingSeparators(path);
  const std::size_t folderLength = FolderPartLength(trimmed);
  const CName name(std::string_view(trimmed).substr(folderLength));
  if (!name.ok()) return name.error();
  ErrorOr<Folder> folder =
      fs.OpenRoot(folderLength == 0 ? std::string(".") : trimmed.substr(0, folderLength));
  if (!folder) return folder.error();
  const int dirFd = Fd(*folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    ErrorOr<Descriptor> held = OpenAt(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    ErrorOr<Descriptor> fd = std::error_code();
    if (held) {
      struct stat st;
      if (::fstat(held->get(), &st) != 0) return Errno();
      if (S_ISLNK(st.st_mode)) return Error(ELOOP);
      if (!S_ISREG(st.st_mode)) return Error(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
      if (st.st_nlink > 1) return Error(EMLINK);
      char self[40];
      std::snprintf(self, sizeof self, "/proc/self/fd/%d", held->get());
      fd = OpenAt(AT_FDCWD, self, access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (!fd && fd.error() == Error(ENOENT))
        fd = OpenAt(dirFd, name.c_str(), access | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } else if (create && IsMissing(held.error())) {
      fd = OpenAt(dirFd, name.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
      if (!fd && fd.error() == Error(EEXIST)) continue;  // made by another run meanwhile
    } else {
      return held.error();
    }
    if (!fd) return fd.error();
    while (::flock(fd->get(), LOCK_EX) != 0) {
      if (errno != EINTR) return Errno();
    }
    // Still the log's file, whole: a trim may have replaced it while this
    // waited for the lock.
    struct stat mine, now;
    if (::fstat(fd->get(), &mine) != 0) return Errno();
    if (!S_ISREG(mine.st_mode)) return Error(EINVAL);
    if (::fstatat(dirFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == mine.st_dev &&
        now.st_ino == mine.st_ino) {
      if (mine.st_nlink > 1) return Error(EMLINK);
      return LogFile{std::move(*folder), name.c_str(), std::move(*fd)};
    }
  }
  return Error(EAGAIN);
}

}  // namespace

}  // namespace vx::posix

namespace vx {

using namespace posix;

std::error_code NativeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  ErrorOr<LogFile> log = OpenLog(*this, path, O_WRONLY | O_APPEND, true);
  if (!log) return log.error();
  std::error_code error = WriteAll(log->fd.get(), bytes.data(), bytes.size());
  const std::error_code closed = log->fd.Close();  // and the lock with it
  return error ? error : closed;
}

std::error_code NativeFileSystem::RewriteFile(const std::string& path,
                                              const std::function<std::string(const std::string&)>& rewrite) {
  ErrorOr<LogFile> log = OpenLog(*this, path, O_RDONLY, false);
  if (!log) return log.error();
  const int fd = log->fd.get();
  std::string bytes;
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno();
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  const std::string kept = rewrite(bytes);
  ErrorOr<TemporaryFile> temporary = TemporaryFile::Create(log->folder);
  if (!temporary) return temporary.error();
  const int out = static_cast<int>(temporary->NativeHandle());
  if (const std::error_code error = temporary->Write(kept.data(), kept.size())) return error;
  // The old log's mode and owner: a log kept from other users stays so. An
  // owner this process may not give (it is not root) stays its own, as
  // before any trim.
  struct stat st;
  if (::fstat(fd, &st) != 0 || ::fchmod(out, st.st_mode & 07777) != 0) return Errno();
  if (::fchown(out, st.st_uid, st.st_gid) != 0 && errno != EPERM) return Errno();
  if (::fchmod(out, st.st_mode & 07777) != 0) return Errno();  // fchown drops setuid/setgid
  // Whole on disk before it takes the old file's place, still under the lock.
  if (::fdatasync(out) != 0) return Errno();
  return temporary->Commit(log->name.c_str(), true);
}

}  // namespace vx
