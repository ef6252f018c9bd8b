// POSIX backend: what a copy keeps of its source under -OWNER and -XATTR,
// set through the descriptors of the unnamed copy or the new folder, so
// that nothing is reached through a name, let alone a link.
#include "platform/posix/Posix.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/xattr.h>

#include <vector>

namespace vx::posix {

namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr const char* kDefaultAcl = "system.posix_acl_default";

// "This attribute cannot be had, or given, here": it is passed over, as
// one the process may not read or write (trusted.* without root) or the
// destination's file system does not keep. Anything else fails the copy.
bool PassedOver(int error) {
  return error == EPERM || error == EACCES || error == EOPNOTSUPP || error == ENOTSUP ||
         error == EINVAL || error == ERANGE || error == E2BIG || error == ENODATA;
}

// The names of the attributes of fd, each NUL-terminated; none where the
// file system keeps none.
ErrorOr<std::vector<char>> AttributeNames(int fd) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == EOPNOTSUPP || errno == ENOTSUP ? std::vector<char>() : ErrorOr<std::vector<char>>(Errno());
    std::vector<char> names(static_cast<std::size_t>(size));
    if (size == 0) return names;
    const ssize_t n = ::flistxattr(fd, names.data(), names.size());
    if (n >= 0) {
      names.resize(static_cast<std::size_t>(n));
      return names;
    }
    if (errno != ERANGE) return Errno();  // grown meanwhile: asked again
  }
  return Error(ERANGE);
}

// The value of one attribute; empty optional when it cannot be read (gone
// meanwhile, or not for this process).
ErrorOr<std::optional<std::vector<char>>> AttributeValue(int fd, const char* name) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
    if (size < 0) break;
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t n = ::fgetxattr(fd, name, value.data(), value.size());
    if (n >= 0) {
      value.resize(static_cast<std::size_t>(n));
      return std::optional<std::vector<char>>(std::move(value));
    }
    if (errno != ERANGE) break;
  }
  if (PassedOver(errno)) return std::optional<std::vector<char>>();
  return Errno();
}

// Every attribute of in that this process can read and write, onto out,
// but the DOS attribute. An ACL out took from its folder where in has none
// goes: the copy is reached by no other users than its source.
std::error_code CopyAttributesOf(int in, int out) {
  const ErrorOr<std::vector<char>> names = AttributeNames(in);
  if (!names) return names.error();
  bool access = false, inheritable = false;
  for (std::size_t at = 0; at < names->size();) {
    const char* name = names->data() + at;
    at += std::strlen(name) + 1;
    if (std::strcmp(name, kDosAttributeName) == 0) continue;
    const ErrorOr<std::optional<std::vector<char>>> value = AttributeValue(in, name);
    if (!value) return value.error();
    if (!*value) continue;
    access = access || std::strcmp(name, kAccessAcl) == 0;
    inheritable = inheritable || std::strcmp(name, kDefaultAcl) == 0;
    const std::vector<char>& bytes = **value;
    if (::fsetxattr(out, name, bytes.data(), bytes.size(), 0) != 0 && !PassedOver(errno)) return Errno();
  }
  if (!access && ::fremovexattr(out, kAccessAcl) != 0 && !PassedOver(errno)) return Errno();
  if (!inheritable && ::fremovexattr(out, kDefaultAcl) != 0 && !PassedOver(errno)) return Errno();
  return {};
}

}  // namespace

std::error_code KeepMetadataOf(int in, const struct stat& source, int out, const KeepMetadata& keep,
                               mode_t mode) {
  if (!keep.owner && !keep.xattrs) return {};
  if (keep.owner) {
    // First: a change of owner clears the setuid and setgid bits and the
    // file capabilities (security.capability), which are given after it.
    if (::fchown(out, source.st_uid, source.st_gid) == 0)
      mode |= source.st_mode & (S_ISUID | S_ISGID | S_ISVTX);
    else if (errno != EPERM && errno != EINVAL)
      return Errno();
  }
  if (keep.xattrs) {
    if (const std::error_code error = CopyAttributesOf(in, out)) return error;
  }
  // Last: an ACL given or removed has set the group bits from its mask.
  return ::fchmod(out, mode) == 0 ? std::error_code() : Errno();
}

bool ProcessMayChangeOwners() {
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
  return (data[CAP_TO_INDEX(CAP_CHOWN)].effective & CAP_TO_MASK(CAP_CHOWN)) != 0;
}

}  // namespace vx::posix

namespace vx {

bool NativeFileSystem::MayChangeOwners() { return posix::ProcessMayChangeOwners(); }

}  // namespace vx
