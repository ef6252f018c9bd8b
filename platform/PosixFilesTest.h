// What the Linux backend's tests on real trees share: a temporary folder with
// the native file system, and a watch on a FIFO's opens.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "platform/TestSystemTools.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/TempDir.h"

#if !defined(_WIN32)
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace vx::test {

#if !defined(_WIN32)
// Counts the opens of one file: what a device would feel (a tape rewinds on
// open, a watchdog arms), seen on a FIFO that any user can make.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    watching_ = fd_ >= 0 && ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) >= 0;
  }
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool watching() const { return watching_; }
  int Opens() {
    alignas(struct inotify_event) char buffer[4096];
    int opens = 0;
    for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
        if (event->mask & IN_OPEN) ++opens;
        at += static_cast<ssize_t>(sizeof *event + event->len);
      }
    }
    return opens;
  }

 private:
  int fd_;
  bool watching_ = false;
};
#endif

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override { VX_POSIX_ONLY(); }
  test::TempDir dir;
  NativeFileSystem fs;
  PathFiles files{fs};
};

}  // namespace vx::test
