// POSIX backend: listings of held folders and looks at single names.
#include "platform/posix/Posix.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>

#include <memory>

namespace vx::posix {

namespace {

// Mask matching of the enumeration: * and ?, case-sensitive like the file
// system; "*.*" names every entry, dotless ones included, as on Windows.
bool MaskMatches(const char* mask, const char* name) {
  const char* starMask = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*mask == '*') {
      starMask = ++mask;
      starName = name;
    } else if (*mask == '?' || *mask == *name) {
      ++mask;
      ++name;
    } else if (starMask) {
      mask = starMask;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == '\0';
}

// Whether a directory entry's type, known without a look-up, rules it out.
bool NeverShown(unsigned char type) {
  return type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK;
}

// The folder's records from its start, read twice for a folder larger than
// one buffer: first counted, so that the listing's buffers are reserved once
// at their size instead of growing by doubling (a folder of 200,000 names
// stays a few MiB), then handed to each. A folder of one buffer is read once.
// count(record) tells whether a record may become an entry and whether it
// will carry a status (0: no entry, 1: entry, 2: entry with status);
// each(record) returns the error that ends the listing.
template <typename Count, typename Each>
std::error_code ReadFolder(int dirFd, Listing& listing, Count count, Each each) {
  // The call's own buffers: listings on several threads share nothing.
  constexpr std::size_t kBufferSize = 1 << 15;
  std::unique_ptr<char[]> buffers[2] = {std::make_unique<char[]>(kBufferSize),
                                        std::make_unique<char[]>(kBufferSize)};
  auto read = [&](const std::unique_ptr<char[]>& buffer) -> ErrorOr<std::size_t> {
    for (;;) {
      const ssize_t n = ::getdents64(dirFd, buffer.get(), kBufferSize);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return Errno();
    }
  };
  auto records = [](const std::unique_ptr<char[]>& buffer, std::size_t n, auto&& visit) {
    for (std::size_t at = 0; at < n;) {
      const auto* record = reinterpret_cast<const struct dirent64*>(buffer.get() + at);
      at += record->d_reclen;
      if (const std::error_code error = visit(*record)) return error;
    }
    return std::error_code();
  };
  std::size_t entries = 0, nameBytes = 0, withStatus = 0;
  auto tally = [&](const struct dirent64& record) {
    const int kind = count(record);
    if (kind > 0) {
      ++entries;
      nameBytes += std::strlen(record.d_name) + 1;
      if (kind > 1) ++withStatus;
    }
    return std::error_code();
  };

  // Read from the start, also when the folder was listed before.
  if (::lseek(dirFd, 0, SEEK_SET) != 0) return Errno();
  const ErrorOr<std::size_t> first = read(buffers[0]);
  if (!first) return first.error();
  if (*first == 0) return {};
  ErrorOr<std::size_t> n = read(buffers[1]);
  if (!n) return n.error();
  records(buffers[0], *first, tally);
  if (*n == 0) {
    listing.Reserve(entries, nameBytes, withStatus);
    return records(buffers[0], *first, each);
  }
  // An error part-way is an error, never the end of the folder.
  do {
    records(buffers[1], *n, tally);
    n = read(buffers[1]);
  } while (n && *n > 0);
  if (!n) return n.error();
  listing.Reserve(entries, nameBytes, withStatus);
  if (::lseek(dirFd, 0, SEEK_SET) != 0) return Errno();
  while ((n = read(buffers[0])) && *n > 0) {
    if (const std::error_code error = records(buffers[0], *n, each)) return error;
  }
  return n ? std::error_code() : n.error();
}

}  // namespace

ErrorOr<Status> StatusAt(int dirFd, const char* name, int flags) {
  struct statx sx;
  if (::statx(dirFd, name, flags | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0) return Errno();
  Status status;
  status.mode = sx.stx_mode;
  status.size = sx.stx_size;
  status.mtime = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
  status.atime = {static_cast<time_t>(sx.stx_atime.tv_sec), static_cast<long>(sx.stx_atime.tv_nsec)};
  status.ctime = {static_cast<time_t>(sx.stx_ctime.tv_sec), static_cast<long>(sx.stx_ctime.tv_nsec)};
  status.id.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  status.id.index = sx.stx_ino;
  status.links = sx.stx_nlink;
  status.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                     (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
  return status;
}

ErrorOr<Status> StatusOf(int fd) { return StatusAt(fd, "", AT_EMPTY_PATH); }

ErrorOr<struct stat> LinkStatusAt(int dirFd, const char* name) {
  struct stat st;
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Errno();
  return st;
}

// ---- What a name stands for -------------------------------------------------------------

// One name relative to dirFd (AT_FDCWD with a path), not followed, then a
// link followed once for what it leads to. nameForHidden is the last
// component, whose leading dot hides it.
ErrorOr<EntryInfo> Describe(int dirFd, const char* name, const char* nameForHidden) {
  ErrorOr<Status> own = StatusAt(dirFd, name, AT_SYMLINK_NOFOLLOW);
  if (!own) return own.error();
  EntryInfo info;
  if (S_ISLNK(own->mode)) {
    info.link = true;
    own = StatusAt(dirFd, name, 0);
    if (!own) {
      const std::error_code error = own.error();
      if (error != Error(ENOENT) && error != Error(ENOTDIR) && error != Error(ELOOP)) return error;
      info.kind = EntryKind::DanglingLink;
      info.attributes = attr::ReparsePoint;
      return info;
    }
  }
  const Status& st = *own;
  if (S_ISREG(st.mode)) {
    info.kind = EntryKind::File;
    info.size = st.size;
  } else if (S_ISDIR(st.mode)) {
    info.kind = EntryKind::Folder;
  } else {
    info.kind = EntryKind::Special;
  }
  info.attributes = AttributesOf(std::nullopt, nameForHidden, st.mode);
  // A folder link or a mount point (another file system, or a bind mount of
  // this one) is a reparse point: no walk or purge enters it.
  if (info.kind == EntryKind::Folder && (info.link || st.mountRoot))
    info.attributes |= attr::ReparsePoint;
  info.lastWrite = ToFileTime(st.mtime);
  info.id = st.id;
  info.links = st.links;
  return info;
}

}  // namespace vx::posix

namespace vx {

using namespace posix;

ErrorOr<Listing> NativeFileSystem::List(const Folder& folder, const ListOptions& options) {
  const int dirFd = Fd(folder);
  const bool everyName = options.mask.empty() || options.mask == "*.*";
  // The DOS bits of a name: read when asked for, and without includeHidden
  // to tell hidden entries, except where a leading dot already hides the
  // name and it is left out unread.
  auto needDosBits = [&](const char* name) {
    return options.withAttributes || (!options.includeHidden && name[0] != '.');
  };
  Listing listing;
  auto add = [&](const char* name, const EntryInfo& info) {
    ListedEntry entry;
    entry.attributes = info.attributes;
    // Links carry no attribute of their own: the mode of what they lead to
    // tells read-only, the rest keeps its defaults.
    if (needDosBits(name) && !info.link) {
      entry.attributes = WithDosBits(ReadDosBits(*state_, dirFd, name), name, info.attributes);
      entry.attributesRead = true;
    }
    if (!options.includeHidden && (entry.attributes & (attr::Hidden | attr::System))) return;
    entry.size = info.size;
    entry.lastWrite = info.lastWrite;
    entry.fileIndex = info.link ? 0 : info.id.index;
    entry.link = info.link;
    listing.Add(name, std::string_view(), entry);
  };
  auto shown = [](const EntryInfo& info) {
    return info.kind == EntryKind::File || info.kind == EntryKind::Folder;
  };

  if (!everyName && options.mask.find_first_of("*?") == std::string::npos) {
    // One name, not a pattern: that entry alone, when it is there.
    const CName name(options.mask);
    if (!name.ok()) return listing;
    ErrorOr<EntryInfo> info = Describe(dirFd, name.c_str(), name.c_str());
    if (!info) {
      if (IsMissing(info.error())) return listing;
      return info.error();
    }
    if (shown(*info)) add(name.c_str(), *info);
    return listing;
  }

  // A regular file needs no look-up when its status is not asked for.
  auto unlooked = [&](const struct dirent64& record) {
    return record.d_type == DT_REG && !options.withStatus;
  };
  auto count = [&](const struct dirent64& record) {
    const char* name = record.d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
        NeverShown(record.d_type) || (name[0] == '.' && !options.includeHidden) ||
        !(everyName || MaskMatches(options.mask.c_str(), name)))
      return 0;
    return unlooked(record) ? 1 : 2;
  };
  auto each = [&](const struct dirent64& record) -> std::error_code {
    if (count(record) == 0) return {};
    const char* name = record.d_name;
    if (unlooked(record)) {
      std::optional<uint32_t> dos;
      ListedEntry entry;
      entry.statusRead = false;
      if (needDosBits(name)) {
        ErrorOr<std::optional<uint32_t>> read = ReadListedDosBits(*state_, dirFd, name);
        // Gone since the folder was read: not an entry any more.
        if (!read) return {};
        dos = *read;
        entry.attributesRead = true;
      }
      entry.attributes = AttributesOf(dos, name, S_IFREG | 0644);
      if (!options.includeHidden && (entry.attributes & (attr::Hidden | attr::System))) return {};
      listing.Add(name, std::string_view(), entry);
      return {};
    }
    ErrorOr<EntryInfo> info = Describe(dirFd, name, name);
    if (!info) {
      // Gone since the folder was read: not an entry any more.
      if (IsMissing(info.error())) return {};
      return info.error();
    }
    if (shown(*info)) add(name, *info);
    return {};
  };
  if (const std::error_code error = ReadFolder(dirFd, listing, count, each)) return error;
  listing.SortByName();
  return listing;
}

ErrorOr<EntryInfo> NativeFileSystem::Look(const Folder& folder, std::string_view name) {
  const CName cname(name);
  if (!cname.ok()) return cname.error();
  return Describe(Fd(folder), cname.c_str(), cname.c_str());
}

ErrorOr<EntryInfo> NativeFileSystem::LookPath(const std::string& path) {
  if (path.empty()) return Error(ENOENT);
  const std::string trimmed = WithoutTrailingSeparators(path);
  const std::string name = trimmed.substr(FolderPartLength(trimmed));
  ErrorOr<EntryInfo> info = Describe(AT_FDCWD, path.c_str(), name.c_str());
  // A root named through a link is what the link leads to.
  if (info && info->kind == EntryKind::Folder && info->link)
    info->attributes &= ~attr::ReparsePoint;
  return info;
}

}  // namespace vx
