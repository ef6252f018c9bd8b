/* Helper of the race harness (test_race.sh).
 *
 *   race_helper swap A B      exchanges the names A and B (a folder and a link
 *                             to a folder elsewhere) atomically, in a tight
 *                             loop, until SIGTERM; then leaves them as they
 *                             were and prints how many exchanges were made
 *   race_helper manifest DIR  prints one line per entry below DIR, links not
 *                             followed: path, type, size, mode, owner,
 *                             inode, write and status-change times to the
 *                             nanosecond, DOS attribute, a digest of every
 *                             extended attribute and one of the content, so
 *                             that two manifests differ when anything was
 *                             written, deleted, created, renamed, given
 *                             another owner, name or attribute (a chown or
 *                             setxattr, even to the same value, changes the
 *                             status-change time)
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

static volatile sig_atomic_t stop;

static void on_term(int signal) {
  (void)signal;
  stop = 1;
}

static int exchange(const char* a, const char* b) {
  return renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
}

static int swap(const char* marker, const char* a, const char* b) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = on_term;
  sigaction(SIGTERM, &action, NULL);
  sigaction(SIGINT, &action, NULL);
  unsigned long count = 0;
  while (marker && !stop && access(marker, F_OK) != 0) usleep(200);
  while (!stop) {
    if (exchange(a, b) != 0) {
      /* A folder the run removed (an emptied source) ends the race. */
      if (errno == ENOENT) break;
      perror("renameat2");
      return 1;
    }
    ++count;
  }
  if (count % 2 == 1 && exchange(a, b) == 0) ++count;
  printf("%lu\n", count);
  return 0;
}

static uint64_t digest_of(const char* path) {
  uint64_t hash = 1469598103934665603ULL;
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  unsigned char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n; ++i) hash = (hash ^ buffer[i]) * 1099511628211ULL;
  }
  close(fd);
  return hash;
}

/* Names and values of every extended attribute of path, link not followed. */
static uint64_t attributes_of(const char* path) {
  uint64_t hash = 1469598103934665603ULL;
  char names[65536];
  const ssize_t length = llistxattr(path, names, sizeof names);
  for (ssize_t at = 0; length > 0 && at < length; at += (ssize_t)strlen(names + at) + 1) {
    unsigned char value[65536];
    const ssize_t n = lgetxattr(path, names + at, value, sizeof value);
    for (const char* c = names + at; *c; ++c) hash = (hash ^ (unsigned char)*c) * 1099511628211ULL;
    for (ssize_t i = 0; i < n; ++i) hash = (hash ^ value[i]) * 1099511628211ULL;
  }
  return hash;
}

static size_t root_length;

static int describe(const char* path, const struct stat* st, int type, struct FTW* ftw) {
  (void)type;
  (void)ftw;
  char dos[64] = "-";
  const ssize_t n = lgetxattr(path, "user.DOSATTRIB", dos, sizeof dos - 1);
  dos[n > 0 ? n : 1] = '\0';
  char kind = S_ISDIR(st->st_mode) ? 'd' : S_ISLNK(st->st_mode) ? 'l' : S_ISREG(st->st_mode) ? 'f' : 'o';
  char target[4096] = "";
  if (kind == 'l') {
    const ssize_t length = readlink(path, target, sizeof target - 1);
    target[length > 0 ? length : 0] = '\0';
  }
  printf("%s %c %lld %o %u:%u %llu %lld.%09ld %lld.%09ld %s %016llx %016llx %s\n", path + root_length, kind,
         (long long)st->st_size, (unsigned)st->st_mode & 07777, (unsigned)st->st_uid, (unsigned)st->st_gid,
         (unsigned long long)st->st_ino, (long long)st->st_mtim.tv_sec, st->st_mtim.tv_nsec,
         (long long)st->st_ctim.tv_sec, st->st_ctim.tv_nsec, dos, (unsigned long long)attributes_of(path),
         (unsigned long long)(kind == 'f' ? digest_of(path) : 0), target);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "swap") == 0) return swap(NULL, argv[2], argv[3]);
  if (argc == 5 && strcmp(argv[1], "swap-after") == 0) return swap(argv[2], argv[3], argv[4]);
  if (argc == 3 && strcmp(argv[1], "manifest") == 0) {
    root_length = strlen(argv[2]);
    return nftw(argv[2], describe, 64, FTW_PHYS) == 0 ? 0 : 1;
  }
  fprintf(stderr, "usage: race_helper swap A B | race_helper swap-after M A B | race_helper manifest DIR\n");
  return 2;
}
