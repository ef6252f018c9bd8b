// POSIX backend: attributes and times. The DOS bits live in an extended
// attribute, read and written on the entry itself.
#include "platform/posix/Posix.h"

#include <sys/syscall.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>

namespace vx::posix {

namespace {

// The *xattrat calls (Linux 6.13) act on a name relative to a folder without
// following it. Where the kernel lacks them, the same name is reached
// through the held folder's descriptor in /proc, never through a path that
// could be re-resolved elsewhere.
#if defined(__x86_64__)
constexpr long kSetXattrAt = 463;
constexpr long kGetXattrAt = 464;
#else
constexpr long kSetXattrAt = -1;
constexpr long kGetXattrAt = -1;
#endif
struct XattrArgs {
  uint64_t value;
  uint32_t size;
  uint32_t flags;
};

std::string ProcPath(int dirFd, const char* name) {
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "/proc/self/fd/%d/", dirFd);
  return std::string(prefix) + name;
}

// The attribute's value into buffer: its length.
ErrorOr<std::size_t> GetXattrAt(NativeState& state, int dirFd, const char* name, char* buffer,
                                std::size_t size) {
  if (kGetXattrAt >= 0 && !state.xattrAtMissing) {
    XattrArgs args{reinterpret_cast<uintptr_t>(buffer), static_cast<uint32_t>(size), 0};
    const long n = ::syscall(kGetXattrAt, dirFd, name, AT_SYMLINK_NOFOLLOW, kDosAttributeName,
                             &args, sizeof args);
    if (n >= 0) return static_cast<std::size_t>(n);
    // A read is never refused with EPERM: that is a filter (a container's
    // seccomp profile older than the call) standing in for ENOSYS.
    if (errno != ENOSYS && errno != EPERM) return Errno();
    state.xattrAtMissing = true;
  }
  const ssize_t n = ::lgetxattr(ProcPath(dirFd, name).c_str(), kDosAttributeName, buffer, size);
  if (n < 0) return Errno();
  return static_cast<std::size_t>(n);
}

std::error_code SetXattrAt(NativeState& state, int dirFd, const char* name, const char* value,
                           std::size_t size) {
  if (kSetXattrAt >= 0 && !state.xattrAtMissing) {
    XattrArgs args{reinterpret_cast<uintptr_t>(value), static_cast<uint32_t>(size), 0};
    const long n = ::syscall(kSetXattrAt, dirFd, name, AT_SYMLINK_NOFOLLOW, kDosAttributeName,
                             &args, sizeof args);
    if (n >= 0) return {};
    const int error = errno;
    if (error != ENOSYS && error != EPERM) return Error(error);
    // A write may be refused for good (a link, an immutable file): the
    // other way gives the same answer then, and is not taken for good.
    if (error == ENOSYS) state.xattrAtMissing = true;
  }
  if (::lsetxattr(ProcPath(dirFd, name).c_str(), kDosAttributeName, value, size, 0) != 0)
    return Errno();
  return {};
}

}  // namespace

// The DOS attribute bits from the attribute's "0x.." text; nullopt when it
// is absent or in another form.
std::optional<uint32_t> ParseDosBits(char* buffer, ssize_t n) {
  if (n < 3) return std::nullopt;
  buffer[n] = '\0';
  if (buffer[0] != '0' || (buffer[1] != 'x' && buffer[1] != 'X')) return std::nullopt;
  char* end = nullptr;
  const unsigned long value = std::strtoul(buffer + 2, &end, 16);
  if (end == buffer + 2 || *end != '\0') return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> ReadDosBits(NativeState& state, int dirFd, const char* name) {
  char buffer[64];
  const ErrorOr<std::size_t> n = GetXattrAt(state, dirFd, name, buffer, sizeof buffer - 1);
  return n ? ParseDosBits(buffer, static_cast<ssize_t>(*n)) : std::nullopt;
}

ErrorOr<std::optional<uint32_t>> ReadListedDosBits(NativeState& state, int dirFd, const char* name) {
  char buffer[64];
  const ErrorOr<std::size_t> n = GetXattrAt(state, dirFd, name, buffer, sizeof buffer - 1);
  if (!n && IsMissing(n.error())) return n.error();
  return n ? ParseDosBits(buffer, static_cast<ssize_t>(*n)) : std::nullopt;
}

uint32_t AttributesOf(const std::optional<uint32_t>& dos, const char* name, mode_t mode) {
  uint32_t result = 0;
  if (S_ISDIR(mode)) {
    result |= attr::Directory;
    if (dos) result |= *dos & kDosStoredBits;
  } else {
    // Windows marks every newly written file for archiving.
    result |= dos ? (*dos & kDosStoredBits) : attr::Archive;
    if ((mode & 0222) == 0) result |= attr::ReadOnly;
  }
  if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
    result |= attr::Hidden;
  return result == 0 ? attr::Normal : result;
}

// The attributes of an entry described by a look (looked), once its DOS
// bits are known: read-only and reparse point stay as the look gave them.
uint32_t WithDosBits(const std::optional<uint32_t>& dos, const char* name, uint32_t looked) {
  const mode_t mode = (looked & attr::Directory)
                          ? S_IFDIR
                          : (S_IFREG | ((looked & attr::ReadOnly) ? 0444 : 0644));
  return AttributesOf(dos, name, mode) | (looked & attr::ReparsePoint);
}

}  // namespace vx::posix

namespace vx {

using namespace posix;

ErrorOr<uint32_t> NativeFileSystem::GetAttributes(const Folder& folder, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  const ErrorOr<Status> status = StatusAt(Fd(folder), cname.c_str(), AT_SYMLINK_NOFOLLOW);
  if (!status) return status.error();
  const Status& st = *status;
  if (S_ISLNK(st.mode)) return Error(ELOOP);
  if (!S_ISREG(st.mode) && !S_ISDIR(st.mode)) return Error(EINVAL);
  uint32_t result = AttributesOf(ReadDosBits(*state_, Fd(folder), cname.c_str()), cname.c_str(), st.mode);
  if (S_ISDIR(st.mode) && st.mountRoot) result |= attr::ReparsePoint;
  return result;
}

ErrorOr<uint32_t> NativeFileSystem::ListedAttributes(const Folder& folder, const ListedEntry& entry) {
  if (entry.attributesRead || entry.link) return entry.attributes;
  const CName cname(entry.name);
  if (!cname.ok()) return cname.error();
  const ErrorOr<std::optional<uint32_t>> dos = ReadListedDosBits(*state_, Fd(folder), cname.c_str());
  if (!dos) return Error(ENOENT);
  return WithDosBits(*dos, cname.c_str(), entry.attributes);
}

std::error_code NativeFileSystem::SetAttributes(const Folder& folder, std::string_view name,
                                                uint32_t attributes) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  const int dirFd = Fd(folder);
  const ErrorOr<struct stat> status = LinkStatusAt(dirFd, cname.c_str());
  if (!status) return status.error();
  const struct stat& st = *status;
  if (S_ISLNK(st.st_mode)) return Error(ELOOP);
  // Another link to the file may lie outside the trees: the change would
  // reach it there.
  if (S_ISREG(st.st_mode) && st.st_nlink > 1) return Error(EMLINK);
  if (S_ISREG(st.st_mode)) {
    mode_t mode = st.st_mode & 07777;
    if (attributes & attr::ReadOnly)
      mode &= ~static_cast<mode_t>(0222);
    else if ((mode & 0222) == 0)
      mode |= S_IWUSR;
    // Never through a link: one that took the file's place meanwhile is refused.
    if (mode != (st.st_mode & 07777) &&
        ::fchmodat(dirFd, cname.c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0)
      return Errno();
  } else if (!S_ISDIR(st.st_mode)) {
    return Error(EINVAL);
  }
  // Ignored where the file system keeps no extended attributes.
  char text[16];
  const int length = std::snprintf(text, sizeof text, "0x%x", attributes & kDosStoredBits);
  (void)SetXattrAt(*state_, dirFd, cname.c_str(), text, static_cast<std::size_t>(length));
  return {};
}

ErrorOr<FileTimes> NativeFileSystem::GetFileTimes(const Folder& folder, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  const ErrorOr<OpenedFile> file = OpenRegularForRead(Fd(folder), cname.c_str());
  if (!file) return file.error();
  const struct stat& st = file->status;
  FileTimes times;
  // No portable birth time: the status-change time stands in for creation.
  times.creation = ToFileTime(st.st_ctim);
  times.lastAccess = ToFileTime(st.st_atim);
  times.lastWrite = ToFileTime(st.st_mtim);
  return times;
}

}  // namespace vx
