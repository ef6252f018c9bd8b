// What the POSIX backend's files share: errors from errno, single names,
// status, and the helpers one concept lends another. Internal to the backend.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/Platform.h"

namespace vx {

// What the backend learns as it works, one per NativeFileSystem. Its
// members may be asked from several threads at once.
struct NativeState {
  // Folders are held only below this descriptor number (Folders.cpp).
  std::once_flag limitRaised;
  std::atomic<int> folderCeiling{1 << 30};

  // The *xattrat calls are missing from the kernel, or filtered (Attributes.cpp).
  std::atomic<bool> xattrAtMissing{false};

  // The last source file system whose files could not be cloned (FileCopy.cpp).
  std::mutex cloneMutex;
  bool cloneRefused = false;
  dev_t cloneRefusedFrom = 0;

  // Whether a file made with given permission bits gets exactly those
  // (TemporaryFiles.cpp): the umask, read once per root, and the default ACL
  // of the last folder a copy went to.
  std::mutex creationMutex;
  std::optional<std::optional<mode_t>> umask;  // outer empty: not read yet; inner empty: unknown
  int creationFolderFd = -1;
  FileId creationFolderId;
  bool creationFolderPlain = false;  // no default ACL
};

}  // namespace vx

namespace vx::posix {

inline std::error_code Errno() { return SystemError(errno); }
inline std::error_code Error(int code) { return SystemError(code); }

// One name as the system calls want it: NUL-terminated, a single component.
// "." and ".." are no names of entries: taking them would leave the folder.
class CName {
 public:
  explicit CName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos) {
      error_ = EINVAL;
    } else if (name.size() > NAME_MAX) {
      error_ = ENAMETOOLONG;
    } else {
      std::memcpy(text_, name.data(), name.size());
      text_[name.size()] = '\0';
    }
  }
  bool ok() const { return error_ == 0; }
  std::error_code error() const { return Error(error_); }
  const char* c_str() const { return text_; }

 private:
  char text_[NAME_MAX + 1] = {};
  int error_ = 0;
};

inline int Fd(const Folder& folder) { return static_cast<int>(folder.NativeHandle()); }

// A descriptor closed when it goes out of scope, as the Win32 backend's
// Handle: the one place of the backend that closes descriptors.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      (void)Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { (void)Close(); }

  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  // Gives up ownership (to a Folder or a TemporaryFile).
  int release() { return std::exchange(fd_, -1); }
  // Closes now: a close that fails reports what the last writes met.
  std::error_code Close() {
    if (fd_ < 0) return {};
    return ::close(std::exchange(fd_, -1)) == 0 ? std::error_code() : Errno();
  }

 private:
  int fd_ = -1;
};

// Opens name relative to dirFd (AT_FDCWD for a path).
inline ErrorOr<Descriptor> OpenAt(int dirFd, const char* name, int flags, mode_t mode = 0) {
  const int fd = ::openat(dirFd, name, flags, mode);
  if (fd < 0) return Errno();
  return Descriptor(fd);
}

// statx where the kernel has it: it also tells a mount point's root, so a
// bind mount of the same file system is known for what it is.
#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

struct Status {
  mode_t mode = 0;
  uint64_t size = 0;
  struct timespec mtime = {}, atime = {}, ctime = {};
  FileId id;
  uint32_t links = 1;
  bool mountRoot = false;
};

ErrorOr<Status> StatusAt(int dirFd, const char* name, int flags);
ErrorOr<Status> StatusOf(int fd);
// lstat's answer for a name, not followed.
ErrorOr<struct stat> LinkStatusAt(int dirFd, const char* name);

// ---- Held folders (Folders.cpp)
// Raises the soft limit of descriptors to the hard one, once per instance.
void RaiseDescriptorLimit(NativeState& state);
std::error_code RemoveEmptyFolder(int dirFd, const char* name);

// ---- What a name stands for (Listing.cpp)
ErrorOr<EntryInfo> Describe(int dirFd, const char* name, const char* nameForHidden);

// ---- Attributes and times (Attributes.cpp)
constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr uint32_t kDosStoredBits = attr::Hidden | attr::System | attr::Archive;
// A time that does not convert is kNoFileTime in the entries.
inline int64_t ToFileTime(const struct timespec& t) {
  const ErrorOr<int64_t> time = FileTimeFromUnix(t.tv_sec, t.tv_nsec);
  return time ? *time : kNoFileTime;
}
std::optional<uint32_t> ParseDosBits(char* buffer, ssize_t n);
std::optional<uint32_t> ReadDosBits(NativeState& state, int dirFd, const char* name);
// The DOS bits of a name the listing has not looked at otherwise: IsMissing
// when the name is gone (or a folder on its way), which ends its entry. Any
// other failure reads as no attribute, as where the file system keeps none.
ErrorOr<std::optional<uint32_t>> ReadListedDosBits(NativeState& state, int dirFd, const char* name);
uint32_t AttributesOf(const std::optional<uint32_t>& dos, const char* name, mode_t mode);
uint32_t WithDosBits(const std::optional<uint32_t>& dos, const char* name, uint32_t looked);

// ---- File copy (FileCopy.cpp)
std::error_code WriteAll(int fd, const char* data, std::size_t size);
// A regular file open for reading, and its status, which the copy reuses.
struct OpenedFile {
  Descriptor fd;
  struct stat status = {};
};
ErrorOr<OpenedFile> OpenRegularForRead(int dirFd, const char* name);

// ---- Owner, extended attributes and ACLs (Metadata.cpp)
// Gives out, open on a new copy or folder of in (status source), what keep
// asks of in, then the permission bits mode (with the setuid, setgid and
// sticky bits of source once its owner is given). Nothing to do without keep.
std::error_code KeepMetadataOf(int in, const struct stat& source, int out, const KeepMetadata& keep,
                               mode_t mode);
bool ProcessMayChangeOwners();

// ---- Temporary files (TemporaryFiles.cpp)
std::error_code LinkUnnamed(int fd, int dirFd, const char* target);
std::error_code RenameNoReplace(int fromFd, const char* from, int toFd, const char* to);
mode_t CurrentUmask();
// A new empty file open for writing, unnamed (name empty) or under a fresh
// temporary name.
struct NewFile {
  Descriptor fd;
  std::string name;
};
ErrorOr<NewFile> CreateTemporaryIn(int dirFd, mode_t mode);
bool CreatedExactly(NativeState& state, const Folder& folder, mode_t mode);

}  // namespace vx::posix
