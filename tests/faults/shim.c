/* Fault shim for the fault scripts, loaded with LD_PRELOAD into the program.
 * It makes chosen calls fail in ways root cannot override. Each fault is off
 * unless its variable is set:
 *
 *   VXF_NO_KERNEL_COPY=1     reflink, copy_file_range, sendfile and splice
 *                            fail, so copies take the read/write path
 *   VXF_READ_EIO=TEXT        reads from files opened on a path containing
 *                            TEXT fail with EIO once VXF_READ_EIO_AFTER bytes
 *                            (default 0) came through; the kernel copy paths
 *                            from such a file fail with EIO too
 *   VXF_WRITE_MATCH=TEXT     marks files opened for writing (not appending)
 *                            on a path containing TEXT; for an unnamed
 *                            temporary file that path is its folder
 *   VXF_CORRUPT=1            flips the first byte of the first write to a
 *                            marked file, once per process; with
 *                            VXF_CORRUPT_MIN=N, of the first write that
 *                            reaches past byte N of its file (the one large
 *                            file, whatever thread writes first)
 *   VXF_STALL_AFTER=N        once N bytes went to marked files, creates the
 *                            file VXF_STALL_MARK and sleeps until killed
 *   VXF_DENY_DIR=PATH        opening the folder PATH fails (EACCES), however
 *                            many separators end either
 *   VXF_LIST_EIO=TEXT        listing a folder whose path contains TEXT fails
 *                            with EIO once VXF_LIST_EIO_AFTER entries (default
 *                            0) came through getdents64
 *   VXF_RENAME_EXDEV=TEXT    renames whose source path contains TEXT fail with
 *                            EXDEV, as across bind mounts of one file system
 *   VXF_TRACE_OPEN=FILE      appends every opened path to FILE, one a line
 *   VXF_LOOK_EIO=TEXT        statx of a name whose path contains TEXT fails
 *                            with EIO (a look-up that cannot be made)
 *   VXF_OPEN_EIO=TEXT        opening a file (not a folder) for reading on a
 *                            path containing TEXT fails with EIO
 *   VXF_HOLD_MARK=FILE       with one of the three below, the program creates
 *                            FILE at that point, once, and waits there until
 *                            FILE is removed: a script acts in between
 *   VXF_HOLD_OPEN=TEXT       before the first open of a path containing TEXT
 *   VXF_HOLD_NAMED=TEXT      after the first link or rename that gives a
 *                            file a name containing TEXT
 *   VXF_HOLD_REPLACE=TEXT    before the first rename onto a name containing TEXT
 *   VXF_NO_XATTRAT=1         getxattrat and setxattrat (Linux 6.13) fail with
 *                            ENOSYS, as on an older kernel; =EPERM with EPERM,
 *                            as under a seccomp profile older than them
 *
 * Paths are matched whole: a name opened relative to a folder descriptor is
 * matched as that folder's path, "/", the name (an unnamed temporary file's
 * "." names its folder).
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#define MAX_FDS 4096
#define FLAG_READ_EIO 1u
#define FLAG_WRITE_MARK 2u

static unsigned char fd_flags[MAX_FDS];
static uint64_t fd_read_bytes[MAX_FDS];
static char* fd_paths[MAX_FDS];       /* the whole path each descriptor was opened by */
static uint64_t fd_listed[MAX_FDS];   /* entries listed from a folder descriptor */
static uint64_t marked_bytes;
static int corrupted;

static const char* env(const char* name) {
  const char* value = getenv(name);
  return value && *value ? value : NULL;
}

static int matches(const char* path, const char* variable) {
  const char* text = env(variable);
  return text && path && strstr(path, text) != NULL;
}

/* Raw system calls: the shim's own work must not pass through its wrappers. */
static ssize_t raw_write(int fd, const void* data, size_t size) {
  return syscall(SYS_write, fd, data, size);
}

static void trace_open(const char* path) {
  const char* file = env("VXF_TRACE_OPEN");
  if (!file || !path) return;
  int saved = errno;
  int fd = (int)syscall(SYS_openat, AT_FDCWD, file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) {
    raw_write(fd, path, strlen(path));
    raw_write(fd, "\n", 1);
    syscall(SYS_close, fd);
  }
  errno = saved;
}

/* The whole path of path opened relative to dirfd, in out. A file reopened
 * through /proc/self/fd/N is the file N was opened by. */
static const char* whole_path(int dirfd, const char* path, char* out, size_t size) {
  if (!path) return path;
  if (strncmp(path, "/proc/self/fd/", 14) == 0) {
    const int fd = atoi(path + 14);
    if (fd >= 0 && fd < MAX_FDS && fd_paths[fd]) return fd_paths[fd];
  }
  if (path[0] == '/' || dirfd < 0 || dirfd >= MAX_FDS || !fd_paths[dirfd]) return path;
  size_t used = strlen(fd_paths[dirfd]);
  if (used + strlen(path) + 2 > size) return path;
  memcpy(out, fd_paths[dirfd], used);
  out[used++] = '/';
  strcpy(out + used, path);
  return out;
}

static void forget_fd(int fd) {
  if (fd < 0 || fd >= MAX_FDS) return;
  fd_flags[fd] = 0;
  free(fd_paths[fd]);
  fd_paths[fd] = NULL;
}

static void note_open(int fd, const char* path, int flags) {
  trace_open(path);
  if (fd < 0 || fd >= MAX_FDS) return;
  forget_fd(fd);
  fd_read_bytes[fd] = 0;
  fd_listed[fd] = 0;
  if (path) fd_paths[fd] = strdup(path);
  const int access = flags & O_ACCMODE;
  if (access != O_WRONLY && matches(path, "VXF_READ_EIO")) fd_flags[fd] |= FLAG_READ_EIO;
  if (access != O_RDONLY && !(flags & O_APPEND) && matches(path, "VXF_WRITE_MATCH"))
    fd_flags[fd] |= FLAG_WRITE_MARK;
}

/* ---- Holding ------------------------------------------------------------------- */

enum { HOLD_OPEN, HOLD_NAMED, HOLD_REPLACE };
static int held[3];

static void hold(int kind, const char* variable, const char* path) {
  const char* mark = env("VXF_HOLD_MARK");
  if (held[kind] || !mark || !matches(path, variable)) return;
  held[kind] = 1;
  const int saved = errno;
  int fd = (int)syscall(SYS_openat, AT_FDCWD, mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) syscall(SYS_close, fd);
  const struct timespec pause = {0, 10 * 1000 * 1000};
  while (syscall(SYS_faccessat, AT_FDCWD, mark, F_OK) == 0) nanosleep(&pause, NULL);
  errno = saved;
}

static void hold_named(int dirfd, const char* path, int done) {
  char whole[8192];
  if (done) hold(HOLD_NAMED, "VXF_HOLD_NAMED", whole_path(dirfd, path, whole, sizeof whole));
}

static unsigned flags_of(int fd) { return fd >= 0 && fd < MAX_FDS ? fd_flags[fd] : 0; }

static void* next(const char* name) { return dlsym(RTLD_NEXT, name); }

static size_t trimmed_length(const char* path) {
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '/') --length;
  return length;
}

static int denied_folder(const char* path) {
  const char* denied = env("VXF_DENY_DIR");
  if (!denied || !path) return 0;
  const size_t length = trimmed_length(denied);
  return trimmed_length(path) == length && strncmp(path, denied, length) == 0;
}

/* ---- System calls without a C library wrapper --------------------------------- */

long syscall(long number, ...) {
  static long (*real)(long, ...);
  if (!real) real = next("syscall");
  va_list list;
  va_start(list, number);
  long a[6];
  for (int i = 0; i < 6; ++i) a[i] = va_arg(list, long);
  va_end(list);
  /* setxattrat and getxattrat: calls added since Linux 5.1 have one number
     on every architecture. */
  const char* refused = env("VXF_NO_XATTRAT");
  if ((number == 463 || number == 464) && refused) {
    errno = strcmp(refused, "EPERM") == 0 ? EPERM : ENOSYS;
    return -1;
  }
  return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

/* ---- Opening and closing ---------------------------------------------------- */

static int needs_mode(int flags) { return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE; }

#define VXF_OPEN_WRAPPER(name)                                        \
  int name(const char* path, int flags, ...) {                        \
    static int (*real)(const char*, int, ...);                        \
    if (!real) real = next(#name);                                     \
    mode_t mode = 0;                                                   \
    if (needs_mode(flags)) {                                           \
      va_list args;                                                    \
      va_start(args, flags);                                           \
      mode = va_arg(args, mode_t);                                     \
      va_end(args);                                                    \
    }                                                                  \
    if ((flags & O_DIRECTORY) && denied_folder(path)) {                \
      errno = EACCES;                                                  \
      return -1;                                                       \
    }                                                                  \
    hold(HOLD_OPEN, "VXF_HOLD_OPEN", path);                            \
    int fd = real(path, flags, mode);                                  \
    note_open(fd, path, flags);                                        \
    return fd;                                                         \
  }
VXF_OPEN_WRAPPER(open)
VXF_OPEN_WRAPPER(open64)

#define VXF_OPENAT_WRAPPER(name)                                      \
  int name(int dirfd, const char* path, int flags, ...) {             \
    static int (*real)(int, const char*, int, ...);                   \
    if (!real) real = next(#name);                                     \
    mode_t mode = 0;                                                   \
    if (needs_mode(flags)) {                                           \
      va_list args;                                                    \
      va_start(args, flags);                                           \
      mode = va_arg(args, mode_t);                                     \
      va_end(args);                                                    \
    }                                                                  \
    char whole[8192];                                                  \
    const char* full = whole_path(dirfd, path, whole, sizeof whole);   \
    if ((flags & O_DIRECTORY) && denied_folder(full)) {                \
      errno = EACCES;                                                  \
      return -1;                                                       \
    }                                                                  \
    if (!(flags & (O_DIRECTORY | O_PATH)) && (flags & O_ACCMODE) == O_RDONLY && \
        matches(full, "VXF_OPEN_EIO")) {                               \
      errno = EIO;                                                     \
      return -1;                                                       \
    }                                                                  \
    hold(HOLD_OPEN, "VXF_HOLD_OPEN", full);                            \
    int fd = real(dirfd, path, flags, mode);                           \
    note_open(fd, full, flags);                                        \
    return fd;                                                         \
  }
VXF_OPENAT_WRAPPER(openat)
VXF_OPENAT_WRAPPER(openat64)

int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* buffer) {
  static int (*real)(int, const char*, int, unsigned int, struct statx*);
  if (!real) real = next("statx");
  char whole[8192];
  if (*path && matches(whole_path(dirfd, path, whole, sizeof whole), "VXF_LOOK_EIO")) {
    errno = EIO;
    return -1;
  }
  return real(dirfd, path, flags, mask, buffer);
}

/* The fortified forms, used when the program is built with _FORTIFY_SOURCE. */
int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open64(path, flags); }
int __openat_2(int dirfd, const char* path, int flags) { return openat(dirfd, path, flags); }

int close(int fd) {
  static int (*real)(int);
  if (!real) real = next("close");
  forget_fd(fd);
  return real(fd);
}

/* ---- Listing folders ------------------------------------------------------------ */

ssize_t getdents64(int fd, void* buffer, size_t size) {
  static ssize_t (*real)(int, void*, size_t);
  if (!real) real = next("getdents64");
  const char* path = fd >= 0 && fd < MAX_FDS ? fd_paths[fd] : NULL;
  if (!matches(path, "VXF_LIST_EIO")) return real(fd, buffer, size);
  const char* after = env("VXF_LIST_EIO_AFTER");
  const uint64_t limit = after ? strtoull(after, NULL, 10) : 0;
  if (fd_listed[fd] >= limit) {
    errno = EIO;
    return -1;
  }
  ssize_t n = real(fd, buffer, size);
  if (n <= 0) return n;
  /* Entries up to the limit pass; the rest of the batch is cut off. "." and
   * ".." count like any other entry. */
  ssize_t at = 0;
  while (at < n && fd_listed[fd] < limit) {
    const struct dirent64* item = (const struct dirent64*)((const char*)buffer + at);
    at += item->d_reclen;
    ++fd_listed[fd];
  }
  return at;
}

/* ---- Renaming --------------------------------------------------------------------- */

static int rename_refused(int dirfd, const char* path, int newdirfd, const char* newpath) {
  char whole[8192];
  hold(HOLD_REPLACE, "VXF_HOLD_REPLACE", whole_path(newdirfd, newpath, whole, sizeof whole));
  if (!matches(whole_path(dirfd, path, whole, sizeof whole), "VXF_RENAME_EXDEV")) return 0;
  errno = EXDEV;
  return 1;
}

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned int flags) {
  static int (*real)(int, const char*, int, const char*, unsigned int);
  if (!real) real = next("renameat2");
  if (rename_refused(olddirfd, oldpath, newdirfd, newpath)) return -1;
  const int result = real(olddirfd, oldpath, newdirfd, newpath, flags);
  hold_named(newdirfd, newpath, result == 0);
  return result;
}

int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
  static int (*real)(int, const char*, int, const char*);
  if (!real) real = next("renameat");
  if (rename_refused(olddirfd, oldpath, newdirfd, newpath)) return -1;
  const int result = real(olddirfd, oldpath, newdirfd, newpath);
  hold_named(newdirfd, newpath, result == 0);
  return result;
}

int rename(const char* oldpath, const char* newpath) {
  static int (*real)(const char*, const char*);
  if (!real) real = next("rename");
  if (rename_refused(AT_FDCWD, oldpath, AT_FDCWD, newpath)) return -1;
  const int result = real(oldpath, newpath);
  hold_named(AT_FDCWD, newpath, result == 0);
  return result;
}

int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
  static int (*real)(int, const char*, int, const char*, int);
  if (!real) real = next("linkat");
  /* A hard link is the fallback of a rename that cannot refuse to replace. */
  if (!(flags & AT_EMPTY_PATH) && !(flags & AT_SYMLINK_FOLLOW) &&
      rename_refused(olddirfd, oldpath, newdirfd, newpath))
    return -1;
  const int result = real(olddirfd, oldpath, newdirfd, newpath, flags);
  hold_named(newdirfd, newpath, result == 0);
  return result;
}

/* Streams of opendir, for programs that list with readdir: their listed
 * entries count toward VXF_LIST_EIO_AFTER as getdents64's do. */
#define MAX_DIRS 64
static struct {
  DIR* dir;
  uint64_t listed;
} dir_streams[MAX_DIRS];

DIR* opendir(const char* path) {
  static DIR* (*real)(const char*);
  if (!real) real = next("opendir");
  trace_open(path);
  if (denied_folder(path)) {
    errno = EACCES;
    return NULL;
  }
  DIR* dir = real(path);
  if (dir && matches(path, "VXF_LIST_EIO")) {
    for (int i = 0; i < MAX_DIRS; ++i) {
      if (!dir_streams[i].dir) {
        dir_streams[i].dir = dir;
        dir_streams[i].listed = 0;
        break;
      }
    }
  }
  return dir;
}

static struct dirent64* limited_readdir(DIR* dir, struct dirent64* (*perform)(DIR*)) {
  for (int i = 0; i < MAX_DIRS; ++i) {
    if (dir_streams[i].dir != dir) continue;
    const char* after = env("VXF_LIST_EIO_AFTER");
    if (dir_streams[i].listed >= (after ? strtoull(after, NULL, 10) : 0)) {
      errno = EIO;
      return NULL;
    }
    ++dir_streams[i].listed;
    break;
  }
  return perform(dir);
}

static struct dirent64* do_readdir64(DIR* dir) {
  static struct dirent64* (*real)(DIR*);
  if (!real) real = next("readdir64");
  return real(dir);
}

struct dirent64* readdir64(DIR* dir) { return limited_readdir(dir, do_readdir64); }
struct dirent* readdir(DIR* dir) { return (struct dirent*)limited_readdir(dir, do_readdir64); }

int closedir(DIR* dir) {
  static int (*real)(DIR*);
  if (!real) real = next("closedir");
  for (int i = 0; i < MAX_DIRS; ++i)
    if (dir_streams[i].dir == dir) dir_streams[i].dir = NULL;
  return real(dir);
}

/* ---- Reading ------------------------------------------------------------------ */

/* How many of count bytes a read may return before the error; -1 for all. */
static ssize_t read_allowance(int fd, size_t count) {
  if (!(flags_of(fd) & FLAG_READ_EIO)) return -1;
  const char* after = env("VXF_READ_EIO_AFTER");
  const uint64_t limit = after ? strtoull(after, NULL, 10) : 0;
  if (fd_read_bytes[fd] >= limit) return 0;
  const uint64_t left = limit - fd_read_bytes[fd];
  return (ssize_t)(left < count ? left : count);
}

static ssize_t limited_read(int fd, size_t count, ssize_t (*perform)(size_t, void*), void* context) {
  const ssize_t allowed = read_allowance(fd, count);
  if (allowed == 0) {
    errno = EIO;
    return -1;
  }
  const ssize_t n = perform(allowed < 0 ? count : (size_t)allowed, context);
  if (n > 0 && fd >= 0 && fd < MAX_FDS) fd_read_bytes[fd] += (uint64_t)n;
  return n;
}

struct read_call {
  int fd;
  void* buffer;
  off_t offset;
};

static ssize_t do_read(size_t count, void* context) {
  static ssize_t (*real)(int, void*, size_t);
  if (!real) real = next("read");
  struct read_call* call = context;
  return real(call->fd, call->buffer, count);
}

static ssize_t do_pread(size_t count, void* context) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = next("pread64");
  struct read_call* call = context;
  return real(call->fd, call->buffer, count, call->offset);
}

ssize_t read(int fd, void* buffer, size_t count) {
  struct read_call call = {fd, buffer, 0};
  return limited_read(fd, count, do_read, &call);
}

ssize_t __read_chk(int fd, void* buffer, size_t count, size_t size) {
  (void)size;
  return read(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  struct read_call call = {fd, buffer, offset};
  return limited_read(fd, count, do_pread, &call);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  return pread(fd, buffer, count, offset);
}

/* ---- Writing ------------------------------------------------------------------ */

static void stall_if_due(void) {
  const char* after = env("VXF_STALL_AFTER");
  if (!after || marked_bytes < strtoull(after, NULL, 10)) return;
  const char* mark = env("VXF_STALL_MARK");
  if (mark) {
    int fd = (int)syscall(SYS_openat, AT_FDCWD, mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) syscall(SYS_close, fd);
  }
  for (;;) pause();
}

/* Passes one write on, corrupting or stalling it as asked. */
static ssize_t marked_write(int fd, off_t offset, const void* data, size_t size,
                            ssize_t (*perform)(const void*, size_t, void*), void* context) {
  if (!(flags_of(fd) & FLAG_WRITE_MARK) || size == 0) return perform(data, size, context);
  stall_if_due();
  ssize_t n;
  const char* least = env("VXF_CORRUPT_MIN");
  const off_t end = (offset < 0 ? lseek(fd, 0, SEEK_CUR) : offset) + (off_t)size;
  if (env("VXF_CORRUPT") && (!least || end > (off_t)atoll(least)) &&
      !__atomic_exchange_n(&corrupted, 1, __ATOMIC_SEQ_CST)) {
    char* copy = malloc(size);
    if (!copy) {
      errno = ENOMEM;
      return -1;
    }
    memcpy(copy, data, size);
    copy[0] ^= (char)0x5a;
    n = perform(copy, size, context);
    free(copy);
  } else {
    n = perform(data, size, context);
  }
  if (n > 0) marked_bytes += (uint64_t)n;
  return n;
}

struct write_call {
  int fd;
  off_t offset;
};

static ssize_t do_write(const void* data, size_t size, void* context) {
  static ssize_t (*real)(int, const void*, size_t);
  if (!real) real = next("write");
  struct write_call* call = context;
  return real(call->fd, data, size);
}

static ssize_t do_pwrite(const void* data, size_t size, void* context) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (!real) real = next("pwrite64");
  struct write_call* call = context;
  return real(call->fd, data, size, call->offset);
}

ssize_t write(int fd, const void* data, size_t size) {
  struct write_call call = {fd, 0};
  return marked_write(fd, -1, data, size, do_write, &call);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  struct write_call call = {fd, offset};
  return marked_write(fd, offset, data, size, do_pwrite, &call);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  return pwrite(fd, data, size, offset);
}

/* ---- The kernel's copy paths ------------------------------------------------------ */

/* The error a kernel copy from in to out gets, or 0 to let it through. */
static int kernel_copy_error(int in, int out) {
  if (flags_of(in) & FLAG_READ_EIO) return EIO;
  if (env("VXF_NO_KERNEL_COPY") || (flags_of(out) & FLAG_WRITE_MARK)) return EXDEV;
  return 0;
}

ssize_t copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset, size_t size,
                        unsigned int flags) {
  static ssize_t (*real)(int, off_t*, int, off_t*, size_t, unsigned int);
  if (!real) real = next("copy_file_range");
  const int error = kernel_copy_error(in, out);
  if (error) {
    errno = error;
    return -1;
  }
  return real(in, in_offset, out, out_offset, size, flags);
}

ssize_t sendfile(int out, int in, off_t* offset, size_t size) {
  static ssize_t (*real)(int, int, off_t*, size_t);
  if (!real) real = next("sendfile");
  const int error = kernel_copy_error(in, out);
  if (error) {
    errno = error == EXDEV ? EINVAL : error;
    return -1;
  }
  return real(out, in, offset, size);
}

ssize_t sendfile64(int out, int in, off_t* offset, size_t size) {
  return sendfile(out, in, offset, size);
}

ssize_t splice(int in, off_t* in_offset, int out, off_t* out_offset, size_t size, unsigned int flags) {
  static ssize_t (*real)(int, off_t*, int, off_t*, size_t, unsigned int);
  if (!real) real = next("splice");
  const int error = kernel_copy_error(in, out);
  if (error) {
    errno = error == EXDEV ? EINVAL : error;
    return -1;
  }
  return real(in, in_offset, out, out_offset, size, flags);
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  if (!real) real = next("ioctl");
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (request == FICLONE || request == FICLONERANGE) {
    const int in = request == FICLONE ? (int)(intptr_t)argument
                                      : (int)((struct file_clone_range*)argument)->src_fd;
    if (kernel_copy_error(in, fd)) {
      errno = EOPNOTSUPP;
      return -1;
    }
  }
  return real(fd, request, argument);
}
