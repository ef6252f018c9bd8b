/* A passthrough file system that waits a fixed time in every operation, as
 * network and FUSE-backed storage do: the benchmark of many small files on
 * slow storage (bench/latency.sh). Usage:
 *   latencyfs BACKING MOUNTPOINT DELAY_MICROSECONDS [fuse options]
 * Every path is served from BACKING. Operations from several threads wait
 * side by side, as requests in flight to a server do. */
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

static int backing = -1;
static useconds_t delay = 1000;

/* The backing-relative name of a path ("/" is ".", "/a" is "a"). */
static const char* Rel(const char* path) { return path[1] ? path + 1 : "."; }
static int Wait(void) { return usleep(delay); }
#define RESULT(call) (Wait(), (call) == -1 ? -errno : 0)

static int Getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  Wait();
  if (fi) return fstat((int)fi->fh, st) == -1 ? -errno : 0;
  return fstatat(backing, Rel(path), st, AT_SYMLINK_NOFOLLOW) == -1 ? -errno : 0;
}

static int Readlink(const char* path, char* buffer, size_t size) {
  Wait();
  const ssize_t n = readlinkat(backing, Rel(path), buffer, size - 1);
  if (n == -1) return -errno;
  buffer[n] = '\0';
  return 0;
}

static int Readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                   struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset, (void)fi, (void)flags;
  Wait();
  const int fd = openat(backing, Rel(path), O_RDONLY | O_DIRECTORY);
  if (fd == -1) return -errno;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return -errno;
  }
  for (struct dirent* entry; (entry = readdir(dir));) {
    struct stat st = {0};
    st.st_ino = entry->d_ino;
    st.st_mode = (mode_t)DTTOIF(entry->d_type);
    if (fill(buffer, entry->d_name, &st, 0, 0)) break;
  }
  closedir(dir);
  return 0;
}

static int Mkdir(const char* path, mode_t mode) { return RESULT(mkdirat(backing, Rel(path), mode)); }
static int Unlink(const char* path) { return RESULT(unlinkat(backing, Rel(path), 0)); }
static int Rmdir(const char* path) { return RESULT(unlinkat(backing, Rel(path), AT_REMOVEDIR)); }
static int Symlink(const char* to, const char* path) { return RESULT(symlinkat(to, backing, Rel(path))); }
static int Link(const char* from, const char* to) {
  return RESULT(linkat(backing, Rel(from), backing, Rel(to), 0));
}
static int Rename(const char* from, const char* to, unsigned int flags) {
  return RESULT(renameat2(backing, Rel(from), backing, Rel(to), flags));
}
static int Chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
  if (fi) return RESULT(fchmod((int)fi->fh, mode));
  return RESULT(fchmodat(backing, Rel(path), mode, 0));
}
static int Chown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
  if (fi) return RESULT(fchown((int)fi->fh, uid, gid));
  return RESULT(fchownat(backing, Rel(path), uid, gid, AT_SYMLINK_NOFOLLOW));
}
static int Truncate(const char* path, off_t size, struct fuse_file_info* fi) {
  if (fi) return RESULT(ftruncate((int)fi->fh, size));
  Wait();
  const int fd = openat(backing, Rel(path), O_WRONLY);
  if (fd == -1) return -errno;
  const int result = ftruncate(fd, size) == -1 ? -errno : 0;
  close(fd);
  return result;
}
static int Utimens(const char* path, const struct timespec times[2], struct fuse_file_info* fi) {
  if (fi) return RESULT(futimens((int)fi->fh, times));
  return RESULT(utimensat(backing, Rel(path), times, AT_SYMLINK_NOFOLLOW));
}

static int Create(const char* path, mode_t mode, struct fuse_file_info* fi) {
  Wait();
  const int fd = openat(backing, Rel(path), fi->flags, mode);
  if (fd == -1) return -errno;
  fi->fh = (uint64_t)fd;
  return 0;
}
static int Open(const char* path, struct fuse_file_info* fi) {
  Wait();
  const int fd = openat(backing, Rel(path), fi->flags);
  if (fd == -1) return -errno;
  fi->fh = (uint64_t)fd;
  return 0;
}
static int Read(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* fi) {
  (void)path;
  Wait();
  const ssize_t n = pread((int)fi->fh, buffer, size, offset);
  return n == -1 ? -errno : (int)n;
}
static int Write(const char* path, const char* buffer, size_t size, off_t offset,
                 struct fuse_file_info* fi) {
  (void)path;
  Wait();
  const ssize_t n = pwrite((int)fi->fh, buffer, size, offset);
  return n == -1 ? -errno : (int)n;
}
static int Release(const char* path, struct fuse_file_info* fi) {
  (void)path;
  close((int)fi->fh);
  return 0;
}
static int Fsync(const char* path, int data, struct fuse_file_info* fi) {
  (void)path;
  return RESULT(data ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}
static int Statfs(const char* path, struct statvfs* st) {
  (void)path;
  return RESULT(fstatvfs(backing, st));
}

/* Extended attributes through a descriptor of the entry itself. */
static int EntryFd(const char* path) { return openat(backing, Rel(path), O_PATH | O_NOFOLLOW); }
static int Getxattr(const char* path, const char* name, char* value, size_t size) {
  Wait();
  char proc[64];
  const int fd = EntryFd(path);
  if (fd == -1) return -errno;
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const ssize_t n = lgetxattr(proc, name, value, size);
  const int error = errno;
  close(fd);
  return n == -1 ? -error : (int)n;
}
static int Listxattr(const char* path, char* list, size_t size) {
  Wait();
  char proc[64];
  const int fd = EntryFd(path);
  if (fd == -1) return -errno;
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const ssize_t n = llistxattr(proc, list, size);
  const int error = errno;
  close(fd);
  return n == -1 ? -error : (int)n;
}
static int Setxattr(const char* path, const char* name, const char* value, size_t size, int flags) {
  Wait();
  char proc[64];
  const int fd = EntryFd(path);
  if (fd == -1) return -errno;
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const int result = lsetxattr(proc, name, value, size, flags) == -1 ? -errno : 0;
  close(fd);
  return result;
}

static void* Init(struct fuse_conn_info* conn, struct fuse_config* config) {
  (void)conn;
  /* Every look-up reaches the file system, as on storage shared with others. */
  config->entry_timeout = 0;
  config->attr_timeout = 0;
  config->negative_timeout = 0;
  config->use_ino = 1;
  return NULL;
}

static const struct fuse_operations kOperations = {
    .getattr = Getattr, .readlink = Readlink, .mkdir = Mkdir, .unlink = Unlink, .rmdir = Rmdir,
    .symlink = Symlink, .rename = Rename, .link = Link, .chmod = Chmod, .chown = Chown,
    .truncate = Truncate, .open = Open, .read = Read, .write = Write, .statfs = Statfs,
    .release = Release, .fsync = Fsync, .setxattr = Setxattr, .getxattr = Getxattr,
    .listxattr = Listxattr, .readdir = Readdir, .init = Init, .create = Create, .utimens = Utimens,
};

int main(int argc, char* argv[]) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s BACKING MOUNTPOINT DELAY_MICROSECONDS [fuse options]\n", argv[0]);
    return 2;
  }
  backing = open(argv[1], O_RDONLY | O_DIRECTORY);
  if (backing == -1) {
    perror(argv[1]);
    return 1;
  }
  delay = (useconds_t)atoi(argv[3]);
  /* fuse_main sees: program, mount point, then the options given. */
  char* args[64];
  int count = 0;
  args[count++] = argv[0];
  args[count++] = argv[2];
  for (int i = 4; i < argc && count < 63; ++i) args[count++] = argv[i];
  args[count] = NULL;
  return fuse_main(count, args, &kOperations, NULL);
}
