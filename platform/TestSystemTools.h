// What tests on the Linux build do to files beyond the engine's interface:
// modes, extended attributes, FIFOs, links. On Windows each reports that it
// cannot, and the tests that need them skip there (PosixOnly).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace vx::test {

// Whether the build runs on Linux, where modes, links and FIFOs exist.
inline bool Posix() { return kPathSeparator == '/'; }

// In a test body: skips the rest on Windows.
#define VX_POSIX_ONLY()                                                 \
  do {                                                                  \
    if (!::vx::test::Posix()) GTEST_SKIP() << "Linux modes, links or FIFOs"; \
  } while (0)

#if !defined(_WIN32)
inline int Mode(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}
inline bool SetMode(const std::string& path, int mode) {
  return ::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}
inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0666) == 0; }
inline bool Symlink(const std::string& target, const std::string& link) {
  return ::symlink(target.c_str(), link.c_str()) == 0;
}
inline bool HardLink(const std::string& target, const std::string& link) {
  return ::link(target.c_str(), link.c_str()) == 0;
}
// The DOS attribute's raw text, or "<none>".
inline std::string DosAttribute(const std::string& path) {
  char buffer[64];
  const ssize_t n = ::lgetxattr(path.c_str(), "user.DOSATTRIB", buffer, sizeof buffer);
  return n < 0 ? std::string("<none>") : std::string(buffer, static_cast<std::size_t>(n));
}
inline bool SetDosAttribute(const std::string& path, const std::string& value) {
  return ::lsetxattr(path.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0) == 0;
}
inline bool SameInode(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}
inline bool IsSymlink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}
// Sets the process's umask; returns the one it replaces.
inline int SetUmask(int mask) { return static_cast<int>(::umask(static_cast<mode_t>(mask))); }
// Gives a folder a default ACL of the owner's, group's and others'
// permissions (0 to 7 each), in the kernel's extended-attribute form.
// false where the file system has no ACLs.
inline bool SetDefaultAcl(const std::string& path, int owner, int group, int other) {
  struct Entry {
    uint16_t tag, permissions;
    uint32_t id;
  };
  struct {
    uint32_t version;
    Entry entries[3];
  } acl = {2,
           {{0x01, static_cast<uint16_t>(owner), ~0u},
            {0x04, static_cast<uint16_t>(group), ~0u},
            {0x20, static_cast<uint16_t>(other), ~0u}}};
  return ::setxattr(path.c_str(), "system.posix_acl_default", &acl, sizeof acl, 0) == 0;
}
#else
inline int Mode(const std::string&) { return -1; }
inline bool SetMode(const std::string&, int) { return false; }
inline bool MakeFifo(const std::string&) { return false; }
inline bool Symlink(const std::string&, const std::string&) { return false; }
inline bool HardLink(const std::string&, const std::string&) { return false; }
inline std::string DosAttribute(const std::string&) { return "<none>"; }
inline bool SetDosAttribute(const std::string&, const std::string&) { return false; }
inline bool SameInode(const std::string&, const std::string&) { return false; }
inline bool IsSymlink(const std::string&) { return false; }
inline int SetUmask(int) { return 0; }
inline bool SetDefaultAcl(const std::string&, int, int, int) { return false; }
#endif

inline int Shell(const std::string& command) { return std::system(command.c_str()); }

}  // namespace vx::test
