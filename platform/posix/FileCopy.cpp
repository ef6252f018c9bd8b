// POSIX backend: files read, copied, moved and deleted relative to held
// folders, and whole files named by path.
#include "platform/posix/Posix.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace vx::posix {

namespace {

// The position is kept here rather than in the descriptor, which nothing
// else uses: asking for it or moving it costs no system call, and each read
// says where it reads.
class PosixInputFile : public InputFile {
 public:
  explicit PosixInputFile(Descriptor fd) : fd_(std::move(fd)) {}
  ErrorOr<int64_t> Size() override {
    struct stat st;
    if (::fstat(fd_.get(), &st) != 0) return Errno();
    return static_cast<int64_t>(st.st_size);
  }
  int64_t Position() override { return position_; }
  std::error_code Seek(int64_t position) override {
    if (position < 0) return Error(EINVAL);
    position_ = position;
    return {};
  }
  ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
    for (;;) {
      const ssize_t n = ::pread(fd_.get(), buffer, count, static_cast<off_t>(position_));
      if (n >= 0) {
        position_ += n;
        return static_cast<std::size_t>(n);
      }
      if (errno != EINTR) return Errno();
    }
  }

 private:
  Descriptor fd_;
  int64_t position_ = 0;
};

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Opens for reading the regular file held by a descriptor that opens
// nothing (O_PATH): through /proc, so it is that very file. Without /proc
// the name is opened once more, and must still be that file.
ErrorOr<Descriptor> ReopenForRead(const Descriptor& held, const struct stat& looked, int dirFd,
                                  const char* name, bool follow) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", held.get());
  ErrorOr<Descriptor> fd = OpenAt(AT_FDCWD, self, kReadFlags);
  if (fd || fd.error() != Error(ENOENT)) return fd;
  fd = OpenAt(dirFd, name, kReadFlags | (follow ? 0 : O_NOFOLLOW));
  if (!fd) return fd;
  struct stat st;
  if (::fstat(fd->get(), &st) != 0) return Errno();
  if (st.st_dev != looked.st_dev || st.st_ino != looked.st_ino) return Error(ESTALE);
  return fd;
}

// After the last source file system whose files could not be cloned, its
// later files go straight to copy_file_range, which gives the same bytes
// (and shares blocks by itself where the kernel can).
bool Clone(NativeState& state, int in, int out, dev_t from) {
  {
    const std::lock_guard<std::mutex> lock(state.cloneMutex);
    if (state.cloneRefused && from == state.cloneRefusedFrom) return false;
  }
  if (::ioctl(out, FICLONE, in) == 0) return true;
  if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV || errno == EINVAL) {
    const std::lock_guard<std::mutex> lock(state.cloneMutex);
    state.cloneRefused = true;
    state.cloneRefusedFrom = from;
  }
  return false;
}

// Told how far a copy has come, where someone follows it.
using Progress = std::function<void(int64_t)>;

// Copies the bytes [from, to) of in to the same place in out: the kernel's
// copy path where it takes them, else through a buffer. reached tells where
// it stopped: before to when the source ends sooner (it shrank meanwhile, or
// a /proc file tells no size). progress hears the position reached.
std::error_code CopyRange(int in, int out, off_t from, off_t to, off_t& reached,
                          const Progress& progress) {
  off_t& at = reached;
  at = from;
  // Where someone follows the copy, the kernel is asked for pieces of it.
  constexpr off_t kPiece = off_t{16} << 20;
  while (at < to) {
    loff_t inAt = at, outAt = at;
    const off_t piece = progress ? std::min(to - at, kPiece) : to - at;
    const ssize_t n = ::copy_file_range(in, &inAt, out, &outAt, static_cast<std::size_t>(piece), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    at += n;
    if (progress) progress(at);
  }
  std::vector<char> buffer;
  while (at < to) {
    if (buffer.empty()) buffer.resize(1 << 16);
    const ssize_t n = ::pread(in, buffer.data(),
                              static_cast<std::size_t>(std::min<off_t>(to - at, 1 << 16)), at);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno();
    }
    for (ssize_t written = 0; written < n;) {
      const ssize_t w = ::pwrite(out, buffer.data() + written, static_cast<std::size_t>(n - written),
                                 at + written);
      if (w < 0) {
        if (errno == EINTR) continue;
        return Errno();
      }
      written += w;
    }
    at += n;
    if (progress) progress(at);
  }
  return {};
}

// Moves the whole content from in to out with the kernel's copy paths: no
// byte passes through this process unless the kernel refuses them all. The
// holes of a sparse source stay holes: only its data ranges (SEEK_DATA,
// SEEK_HOLE) are copied, and the size is set at the end. copy_file_range
// alone would fill them (tmpfs does).
std::error_code CopyContent(NativeState& state, int in, int out, const struct stat& st,
                            const Progress& progress) {
  if (Clone(state, in, out, st.st_dev)) return {};
  const off_t size = st.st_size;
  off_t reached = 0;
  if (size == 0) {
    // A file measured empty may still have content to read (those of /proc
    // and /sys do): it is read to its end.
    constexpr off_t kStep = 1 << 20;
    for (off_t at = 0;; at += kStep) {
      if (const std::error_code error = CopyRange(in, out, at, at + kStep, reached, progress)) return error;
      if (reached < at + kStep) return {};
    }
  }
  // As many blocks as bytes: no hole to look for. Where every call waits
  // (FUSE, network storage), the looking would cost three calls a file.
  if (static_cast<int64_t>(st.st_blocks) * 512 >= static_cast<int64_t>(size)) {
    if (const std::error_code error = CopyRange(in, out, 0, size, reached, progress)) return error;
    if (reached == size) return {};
    return ::ftruncate(out, reached) == 0 ? std::error_code() : Errno();
  }
  for (off_t at = 0; at < size;) {
    off_t data = ::lseek(in, at, SEEK_DATA);
    if (data < 0) {
      // No data beyond at: the rest is a hole. A file system that cannot
      // tell gives the whole file as data, so EINVAL means the same copy.
      if (errno == ENXIO) break;
      data = at;
    }
    if (data >= size) break;
    off_t hole = ::lseek(in, data, SEEK_HOLE);
    if (hole <= data || hole > size) hole = size;
    if (const std::error_code error = CopyRange(in, out, data, hole, reached, progress)) return error;
    // The source ended sooner: the copy ends there too, as it was read.
    if (reached < hole) return ::ftruncate(out, reached) == 0 ? std::error_code() : Errno();
    at = hole;
  }
  // The size of the source as measured, trailing hole included.
  if (::ftruncate(out, size) != 0) return Errno();
  return {};
}

// The permission bits of the copy of a file of mode st_mode: the source's,
// with the owner's write bit when read-only is not kept.
mode_t CopyMode(mode_t sourceMode, const CopyAttributes& attributes) {
  mode_t mode = sourceMode & 0777;
  if ((attributes.drop & attr::ReadOnly) && (mode & 0222) == 0) mode |= S_IWUSR;
  return mode;
}

// Gives the unnamed copy out of in (named source, to be named target) its
// DOS attribute and times. The attribute is written only where the copy
// would otherwise read differently (absent means archive, and hidden for a
// dot name), in the text form the attribute reads use.
std::error_code CopyMetadata(int in, int out, const struct stat& st, const char* source, const char* target,
                  const CopyAttributes& attributes) {
  const mode_t mode = S_IFREG | CopyMode(st.st_mode, attributes);
  uint32_t sourceBits;
  if (attributes.listed) {
    sourceBits = *attributes.listed;
  } else {
    char dos[64];
    sourceBits = AttributesOf(ParseDosBits(dos, ::fgetxattr(in, kDosAttributeName, dos, sizeof dos - 1)),
                              source, mode);
  }
  const uint32_t bits = attributes.For(sourceBits) & kDosStoredBits;
  if (bits != (AttributesOf(std::nullopt, target, mode) & kDosStoredBits)) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%x", bits);
    // Ignored where the file system keeps no extended attributes.
    (void)::fsetxattr(out, kDosAttributeName, text, static_cast<std::size_t>(length), 0);
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return ::futimens(out, times) == 0 ? std::error_code() : Errno();
}

// Whether the taken name target may be replaced by a copy of source: never
// a folder or special file, never the source itself, never a read-only file
// (as on Windows, even for root) unless asked. A link is replaced itself,
// whatever it leads to, unless it leads to the source.
std::error_code MayReplace(int dirFd, const char* target, const struct stat& source,
                           bool replaceReadOnly) {
  const ErrorOr<struct stat> status = LinkStatusAt(dirFd, target);
  if (!status) return status.error();
  const struct stat& st = *status;
  if (S_ISLNK(st.st_mode)) {
    struct stat led;
    if (::fstatat(dirFd, target, &led, 0) == 0 && led.st_dev == source.st_dev &&
        led.st_ino == source.st_ino)
      return Error(EEXIST);
    return {};
  }
  if (S_ISDIR(st.st_mode)) return Error(EISDIR);
  if (!S_ISREG(st.st_mode)) return Error(EINVAL);
  if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) return Error(EEXIST);
  // The rename replaces a read-only file as it is: no mode is changed, so a
  // link to it elsewhere keeps its bits.
  if ((st.st_mode & 0222) == 0 && !replaceReadOnly) return Error(EACCES);
  return {};
}

int64_t ChangeTime(const struct stat& st) {
  return static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

bool SameState(const struct stat& st, const SourceState& expected) {
  return static_cast<uint64_t>(st.st_dev) == expected.id.device &&
         static_cast<uint64_t>(st.st_ino) == expected.id.index &&
         static_cast<uint64_t>(st.st_size) == expected.size && ChangeTime(st) == expected.change;
}

// A second descriptor of the same open file, for a reader of its own.
ErrorOr<std::unique_ptr<InputFile>> ReaderOf(int fd) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return Errno();
  return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(Descriptor(copy)));
}

// A file held by a descriptor that opens nothing, to link names to.
class PosixHeldFile : public HeldFile {
 public:
  PosixHeldFile(Descriptor fd, const struct stat& st) : fd_(std::move(fd)) {
    id_ = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  }
  int fd() const { return fd_.get(); }

 private:
  Descriptor fd_;
};

// The regular file fd has open, held by a descriptor of its own.
ErrorOr<std::unique_ptr<HeldFile>> HoldOpenFile(int fd) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  ErrorOr<Descriptor> held = OpenAt(AT_FDCWD, self, O_PATH | O_CLOEXEC);
  if (!held) {
    // Without /proc: a second descriptor of the same open file.
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return Errno();
    held = Descriptor(copy);
  }
  struct stat st;
  if (::fstat(held->get(), &st) != 0) return Errno();
  if (!S_ISREG(st.st_mode)) return Error(EINVAL);
  return std::unique_ptr<HeldFile>(std::make_unique<PosixHeldFile>(std::move(*held), st));
}

class PosixPreparedCopy : public PreparedCopy {
 public:
  PosixPreparedCopy(OpenedFile in, TemporaryFile out, Descriptor copy, const Folder& to,
                    std::string target, bool replaceReadOnly)
      : in_(std::move(in)), out_(std::move(out)), copy_(std::move(copy)), to_(to),
        target_(std::move(target)), replaceReadOnly_(replaceReadOnly) {
    const struct stat& st = in_.status;
    source_.id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    source_.size = static_cast<uint64_t>(st.st_size);
    source_.change = ChangeTime(st);
  }
  ErrorOr<std::unique_ptr<InputFile>> ReadSource() override { return ReaderOf(in_.fd.get()); }
  ErrorOr<std::unique_ptr<InputFile>> ReadCopy() override { return ReaderOf(copy_.get()); }
  ErrorOr<bool> SourceUnchanged() override {
    struct stat st;
    if (::fstat(in_.fd.get(), &st) != 0) return Errno();
    return SameState(st, source_);
  }
  ErrorOr<std::unique_ptr<HeldFile>> HoldCopy() override { return HoldOpenFile(copy_.get()); }
  ErrorOr<SourceState> SourceNow() override {
    struct stat st;
    if (::fstat(in_.fd.get(), &st) != 0) return Errno();
    SourceState now;
    now.id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    now.size = static_cast<uint64_t>(st.st_size);
    now.change = ChangeTime(st);
    return now;
  }
  // The target is looked at only when its name is taken, after the copy is
  // whole: the usual new file costs no look-up.
  std::error_code Commit() override {
    std::error_code error = out_.Commit(target_.c_str(), false);
    if (error == Error(EEXIST)) {
      error = MayReplace(Fd(to_), target_.c_str(), in_.status, replaceReadOnly_);
      if (!error) error = out_.Commit(target_.c_str(), true);
    }
    return error;
  }

 private:
  OpenedFile in_;
  TemporaryFile out_;
  Descriptor copy_;  // the copy, open for reading after its commit too
  const Folder& to_;
  std::string target_;
  bool replaceReadOnly_;
};

}  // namespace

// Writes all bytes, retrying short writes.
std::error_code WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno();
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return {};
}

// Opens a regular file for reading, relative to dirFd (AT_FDCWD for a path);
// a link to a file gives the file. The name is looked at first through a
// descriptor that opens nothing: a FIFO or device put in its place after
// the listing never sees an open (a tape would rewind, a watchdog arm).
ErrorOr<OpenedFile> OpenRegularForRead(int dirFd, const char* name) {
  ErrorOr<Descriptor> held = OpenAt(dirFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (!held) return held.error();
  struct stat looked;
  if (::fstat(held->get(), &looked) != 0) return Errno();
  const bool link = S_ISLNK(looked.st_mode);
  if (link) {
    held = OpenAt(dirFd, name, O_PATH | O_CLOEXEC);
    if (!held) return held.error();
    if (::fstat(held->get(), &looked) != 0) return Errno();
  }
  if (!S_ISREG(looked.st_mode)) return Error(S_ISDIR(looked.st_mode) ? EISDIR : EINVAL);
  ErrorOr<Descriptor> fd = ReopenForRead(*held, looked, dirFd, name, link);
  if (!fd) return fd.error();
  OpenedFile file{std::move(*fd)};
  if (::fstat(file.fd.get(), &file.status) != 0) return Errno();
  if (!S_ISREG(file.status.st_mode)) return Error(EINVAL);
  // O_NONBLOCK stays: reads of a regular file ignore it.
  return file;
}


}  // namespace vx::posix

namespace vx {

using namespace posix;

ErrorOr<std::unique_ptr<PreparedCopy>> NativeFileSystem::PrepareCopy(const Folder& from,
                                                                     std::string_view name,
                                                                     const Folder& to,
                                                                     std::string_view targetName,
                                                                     const CopyRequest& request) {
  const CopyAttributes& attributes = request.attributes;
  const CName source(name), target(targetName);
  if (!source.ok()) return source.error();
  if (!target.ok()) return target.error();
  ErrorOr<OpenedFile> in = OpenRegularForRead(Fd(from), source.c_str());
  if (!in) return in.error();
  const int inFd = in->fd.get();
  const struct stat& st = in->status;
  // Made with its final permission bits: set again only where the umask or
  // a default ACL of the folder would change them.
  const mode_t mode = CopyMode(st.st_mode, attributes);
  ErrorOr<NewFile> made = CreateTemporaryIn(Fd(to), mode);
  if (!made) return made.error();
  const int outFd = made->fd.get();
  Descriptor copy(::fcntl(outFd, F_DUPFD_CLOEXEC, 0));
  if (!copy.valid()) return Errno();
  // Removes itself unless committed.
  TemporaryFile out(to, made->fd.release(), std::move(made->name));
  if (!CreatedExactly(*state_, to, mode) && ::fchmod(outFd, mode) != 0) return Errno();
  if (const std::error_code error = CopyContent(*state_, inFd, outFd, st, request.progress))
    return error;
  if (const std::error_code error =
          CopyMetadata(inFd, outFd, st, source.c_str(), target.c_str(), attributes))
    return error;
  // After the times, which none of its steps moves: once the copy has
  // another owner, a process with CAP_CHOWN alone could not set them.
  if (const std::error_code error = KeepMetadataOf(inFd, st, outFd, request.keep, mode)) return error;
  return std::unique_ptr<PreparedCopy>(std::make_unique<PosixPreparedCopy>(
      std::move(*in), std::move(out), std::move(copy), to, target.c_str(), request.replaceReadOnly));
}

namespace {

// Deletes a file once accept has passed its own status, or a link itself
// (never one to a folder): what a link leads to stays.
template <typename Accept>
std::error_code UnlinkEntry(const Folder& folder, std::string_view name, Accept accept) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  const int dirFd = Fd(folder);
  const ErrorOr<struct stat> status = LinkStatusAt(dirFd, cname.c_str());
  if (!status) return status.error();
  if (S_ISLNK(status->st_mode)) {
    struct stat led;
    if (::fstatat(dirFd, cname.c_str(), &led, 0) == 0 && S_ISDIR(led.st_mode)) return Error(EISDIR);
  } else if (const std::error_code error = accept(*status)) {
    return error;
  }
  if (::unlinkat(dirFd, cname.c_str(), 0) != 0) return Errno();
  return {};
}

}  // namespace

std::error_code NativeFileSystem::DeleteSource(const Folder& folder, std::string_view name,
                                               const SourceState* expected) {
  // Read-only or not: a file about to go needs no mode change, which a hard
  // link would carry to a file outside the trees.
  return UnlinkEntry(folder, name, [&](const struct stat& st) {
    if (!expected) return S_ISREG(st.st_mode) ? std::error_code() : Error(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    // Saved anew, appended to or replaced since it was copied: its newer
    // version exists nowhere else.
    return !S_ISREG(st.st_mode) || !SameState(st, *expected) ? SourceChangedError()
                                                              : std::error_code();
  });
}

ErrorOr<std::unique_ptr<HeldFile>> NativeFileSystem::HoldFile(const Folder& folder, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  ErrorOr<Descriptor> held = OpenAt(Fd(folder), cname.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (!held) return held.error();
  struct stat st;
  if (::fstat(held->get(), &st) != 0) return Errno();
  if (S_ISLNK(st.st_mode)) return Error(ELOOP);
  if (!S_ISREG(st.st_mode)) return Error(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  return std::unique_ptr<HeldFile>(std::make_unique<PosixHeldFile>(std::move(*held), st));
}

std::error_code NativeFileSystem::LinkFile(const HeldFile& file, const Folder& to, std::string_view targetName,
                                           bool replaceReadOnly) {
  const CName target(targetName);
  if (!target.ok()) return target.error();
  const int fd = static_cast<const PosixHeldFile&>(file).fd();
  const int dirFd = Fd(to);
  std::error_code error = LinkUnnamed(fd, dirFd, target.c_str());
  if (error != Error(EEXIST)) return error;
  // The name is taken: by this very file (nothing to do), or by what a
  // copy may replace.
  const ErrorOr<struct stat> status = LinkStatusAt(dirFd, target.c_str());
  if (!status) return status.error();
  const struct stat& st = *status;
  if (FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)} == file.Id()) return {};
  if (S_ISDIR(st.st_mode)) return Error(EISDIR);
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return Error(EINVAL);
  if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0 && !replaceReadOnly) return Error(EACCES);
  std::string temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = NewTemporaryName();
    error = LinkUnnamed(fd, dirFd, temporary.c_str());
    if (!error) break;
    if (error != Error(EEXIST) || attempt == 100) return error;
  }
  if (::renameat(dirFd, temporary.c_str(), dirFd, target.c_str()) != 0) {
    error = Errno();
    ::unlinkat(dirFd, temporary.c_str(), 0);
    return error;
  }
  return {};
}

std::error_code NativeFileSystem::MoveFile(const Folder& from, std::string_view name,
                                           const Folder& to, std::string_view targetName) {
  const CName source(name), target(targetName);
  if (!source.ok()) return source.error();
  if (!target.ok()) return target.error();
  const ErrorOr<struct stat> status = LinkStatusAt(Fd(from), source.c_str());
  if (!status) return status.error();
  const struct stat& st = *status;
  // A link is never renamed: the caller copies what it leads to.
  if (S_ISLNK(st.st_mode)) return Error(EXDEV);
  if (!S_ISREG(st.st_mode)) return Error(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  // Nor is a file with other links, which may lie outside the trees: the
  // moved file would get the attributes of a copy, and they with it.
  if (st.st_nlink > 1) return Error(EXDEV);
  if (st.st_dev != static_cast<dev_t>(to.Id().device)) return Error(EXDEV);
  return RenameNoReplace(Fd(from), source.c_str(), Fd(to), target.c_str());
}

std::error_code NativeFileSystem::DeleteFile(const Folder& folder, std::string_view name) {
  return UnlinkEntry(folder, name, [](const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return Error(EISDIR);
    if (!S_ISREG(st.st_mode)) return Error(EINVAL);
    // Read-only is enforced here, also for root, as Windows does.
    if ((st.st_mode & 0222) == 0) return Error(EACCES);
    return std::error_code();
  });
}

ErrorOr<std::unique_ptr<InputFile>> NativeFileSystem::OpenForRead(const Folder& folder,
                                                                  std::string_view name, Sharing) {
  // Linux has no mandatory sharing modes: the open fails only when it cannot open.
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  ErrorOr<OpenedFile> file = OpenRegularForRead(Fd(folder), cname.c_str());
  if (!file) return file.error();
  return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(std::move(file->fd)));
}

ErrorOr<std::string> NativeFileSystem::ReadWholeFile(const std::string& path) {
  ErrorOr<OpenedFile> file = OpenRegularForRead(AT_FDCWD, path.c_str());
  if (!file) return file.error();
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file->fd.get(), buffer, sizeof buffer);
    if (n == 0) return bytes;
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno();
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace vx
