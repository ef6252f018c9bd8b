// Files and folders: identities, held folders, listings, one file's copy.
// Part of the platform interface (platform/Platform.h), whose one error
// convention it follows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Results.h"

namespace vx {

// ---- Files and folders --------------------------------------------------------

namespace attr {
constexpr uint32_t ReadOnly = 0x1;
constexpr uint32_t Hidden = 0x2;
constexpr uint32_t System = 0x4;
constexpr uint32_t Directory = 0x10;
constexpr uint32_t Archive = 0x20;
constexpr uint32_t Normal = 0x80;
constexpr uint32_t ReparsePoint = 0x400;  // a link or mount point; folders behind one are never entered
}  // namespace attr

// What identifies a file or folder whatever names lead to it: device and
// inode on Linux, volume serial number and file index on Windows.
struct FileId {
  uint64_t device = 0;
  uint64_t index = 0;
  friend bool operator==(const FileId& a, const FileId& b) {
    return a.device == b.device && a.index == b.index;
  }
  friend bool operator!=(const FileId& a, const FileId& b) { return !(a == b); }
};

// What a name stands for.
enum class EntryKind : uint8_t {
  File,          // a regular file, or a link to one
  Folder,        // a folder, a link to one, or a mount point (attr::ReparsePoint for the last two)
  DanglingLink,  // a link that leads nowhere
  Special,       // FIFO, socket, device: never opened, copied or deleted
};

// One name looked at (FileSystem::Look, LookPath). A link to a file reads as
// the file (kind, size, time and identity of what it leads to) with link set.
struct EntryInfo {
  EntryKind kind = EntryKind::File;
  bool link = false;        // the name itself is a symbolic link (a reparse point on Windows)
  uint32_t attributes = 0;  // attr bits from the mode and the name; the DOS bits only from GetAttributes
  uint64_t size = 0;        // files only
  int64_t lastWrite = 0;    // file time: 100-ns ticks since 1601, UTC
  FileId id;
  uint32_t links = 1;       // names of the file (hard links); what a link leads to: its file's
};

// A file held open so that more names can be given to it (FileSystem::
// LinkFile): the copy of the first name of a group of hard links. Linux: a
// descriptor that opens nothing (O_PATH); Windows: a handle.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
  const FileId& Id() const { return id_; }

 protected:
  FileId id_;
};

// Who releases the handles of a file system whose folders are not the
// system's (the engine's tests keep one in memory): Folder::Close hands such
// a handle back to its owner instead of closing it.
class FolderOwner {
 public:
  virtual void ReleaseFolder(std::intptr_t handle) = 0;

 protected:
  ~FolderOwner() = default;
};

// A folder held open: on Linux a descriptor opened O_DIRECTORY|O_NOFOLLOW|
// O_CLOEXEC, on Windows a handle with listing rights opened without delete
// sharing (so the folder cannot be renamed or replaced while held) with
// FILE_FLAG_BACKUP_SEMANTICS|FILE_FLAG_OPEN_REPARSE_POINT. Operations on names
// inside it act within this very folder, whatever its path comes to name
// meanwhile: relative to the descriptor or handle (Windows: NtCreateFile and
// NtSetInformationFile with it as root). Move-only. The path text it was
// reached by serves messages.
class Folder {
 public:
  static constexpr std::intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE

  Folder() = default;
  // For the backends: takes ownership of handle.
  Folder(std::intptr_t handle, std::string path, FileId id)
      : handle_(handle), path_(std::move(path)), id_(id) {}
  // For a file system whose handles are its own: owner releases handle.
  Folder(std::intptr_t handle, std::string path, FileId id, FolderOwner& owner)
      : handle_(handle), path_(std::move(path)), id_(id), owner_(&owner) {}
  Folder(Folder&& other) noexcept
      : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)),
        id_(other.id_), owner_(other.owner_) {}
  Folder& operator=(Folder&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoHandle);
      path_ = std::move(other.path_);
      id_ = other.id_;
      owner_ = other.owner_;
    }
    return *this;
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() { Close(); }

  bool IsOpen() const { return handle_ != kNoHandle; }
  // Releases the handle (a held folder cannot be removed on Windows).
  void Close() {
    if (!owner_) return CloseNative();
    if (handle_ != kNoHandle) owner_->ReleaseFolder(std::exchange(handle_, kNoHandle));
  }
  std::intptr_t NativeHandle() const { return handle_; }
  // The path text, without a trailing separator unless it is a root ("/", "C:\").
  const std::string& Path() const { return path_; }
  // path + separator + name, for messages and the Windows backend.
  std::string PathOf(std::string_view name) const;
  const FileId& Id() const { return id_; }

 private:
  void CloseNative();  // defined by the backend
  std::intptr_t handle_ = kNoHandle;
  std::string path_;
  FileId id_;
  FolderOwner* owner_ = nullptr;  // none for the system's own folders
};

// One entry of a listing, a view into the listing's arena (valid while the
// listing lives). Its names are NUL-terminated there (an empty short name
// takes no room).
struct ListedEntry {
  std::string_view name;
  std::string_view shortName;  // the 8.3 name where the platform has one; empty otherwise (Linux)
  uint32_t attributes = 0;     // attr bits; the DOS bits only when the listing read them
  uint64_t size = 0;           // files only; a link to a file: the file's
  int64_t lastWrite = 0;       // file time
  // FileId::index on the folder's own device; 0 when not known (always for a
  // link, whose file may lie on another device: Look tells its identity).
  uint64_t fileIndex = 0;
  bool link = false;           // a symbolic link (to a file or folder) or reparse point
  bool attributesRead = false;  // the DOS bits (hidden, system, archive) were read
  // size, lastWrite, fileIndex and the read-only bit were read. Only a
  // listing asked without them (ListOptions::withStatus) leaves them unread,
  // and only for regular files; Look tells them when they are needed.
  bool statusRead = true;
  bool IsFolder() const { return (attributes & attr::Directory) != 0; }
  // The name under -N: the short name where there is one.
  std::string_view ShortOrName() const { return shortName.empty() ? name : shortName; }
};

// The entries of one folder: names in one arena (one buffer and offsets, no
// string object per entry), 16 bytes of record each, and 24 more for an
// entry whose size, time and index were read. Sorted by name (byte order) on
// Linux; in the system's order on Windows.
class Listing {
 public:
  std::size_t Count() const { return records_.size(); }
  ListedEntry At(std::size_t i) const;
  // The entry of this name as the file system compares names (CompareFileNames).
  std::optional<ListedEntry> Find(std::string_view name) const;
  // Find for names asked in increasing CompareFileNames order: each search
  // resumes at cursor (0 for the first) where the last one ended, so a walk
  // through two sorted listings reads each once. Where the listing is not in
  // that order (Windows) it is Find.
  std::optional<ListedEntry> FindNext(std::string_view name, std::size_t& cursor) const;
  std::size_t BytesUsed() const;

  // For the backends. Reserve with the counts of a first pass keeps a large
  // folder from growing its buffers by doubling.
  void Add(std::string_view name, std::string_view shortName, const ListedEntry& data);
  void SortByName();  // byte order
  void Reserve(std::size_t entries, std::size_t nameBytes, std::size_t entriesWithStatus);

 private:
  struct Record {
    uint32_t nameOffset;
    uint32_t attributes;
    uint16_t nameLength;
    uint8_t shortLength;  // the short name follows the long one's NUL in the arena
    uint8_t flags;
    uint32_t status;  // index into status_; kNoStatus when not read
  };
  struct Status {
    uint64_t size;
    int64_t lastWrite;
    uint64_t fileIndex;
  };
  static constexpr uint32_t kNoStatus = 0xFFFFFFFF;
  static_assert(sizeof(Record) == 16, "a listing entry costs 16 bytes plus its names");
  static_assert(sizeof(Status) == 24, "and 24 more when its status was read");
  std::string_view NameAt(const Record& record) const {
    return std::string_view(arena_.data() + record.nameOffset, record.nameLength);
  }
  std::string arena_;
  std::vector<Record> records_;
  std::vector<Status> status_;
  bool sortedByName_ = false;
  mutable std::vector<uint32_t> byName_;  // order by CompareFileNames, built by the first Find
};

// How the file system compares names: bytes on Linux, ignoring case on Windows.
int CompareFileNames(std::string_view a, std::string_view b);

struct ListOptions {
  bool includeHidden = false;  // hidden and system entries too
  // Read every entry's DOS bits (Linux: one extended-attribute read per
  // entry). Without includeHidden they are read anyway, to tell hidden
  // entries, except for names that a leading dot hides already.
  bool withAttributes = true;
  // Read every entry's size, time and index. Without them a backend that
  // would pay a look-up per entry for them (Linux) leaves them unread where
  // the folder's own record says "regular file" (ListedEntry::statusRead);
  // folders and links are always looked at. Windows always has them.
  bool withStatus = true;
  // "" or "*.*": every name. Otherwise * and ? as the platform's enumeration
  // matches them (case-sensitive on Linux); a mask without wildcards lists
  // that one entry.
  std::string mask;
};

// What a copy gives its target besides the content and the last-write time.
struct CopyAttributes {
  // Bits the copy does not keep: attr::ReadOnly (Linux: the owner may write
  // the copy), attr::Archive.
  uint32_t drop = 0;
  // The source's attributes as its listing gave them (ListedEntry::attributes
  // of an entry whose DOS bits were read, or of a link): the copy takes its
  // hidden, system and archive bits from here instead of reading them again.
  // Read-only always comes from the file itself. Windows reads them anyway.
  std::optional<uint32_t> listed;
  // The attributes of the copy of a file that has source.
  uint32_t For(uint32_t source) const {
    const uint32_t kept = source & ~drop & ~attr::Normal;
    return kept == 0 ? attr::Normal : kept;
  }
};

struct FileTimes {
  int64_t creation = 0, lastAccess = 0, lastWrite = 0;  // file times
};

// An open file for reading: the stream of the MD5 digest.
class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual ErrorOr<int64_t> Size() = 0;
  virtual int64_t Position() = 0;
  virtual std::error_code Seek(int64_t position) = 0;  // a negative position fails
  // Bytes read, 0 at the end.
  virtual ErrorOr<std::size_t> Read(void* buffer, std::size_t count) = 0;
};

enum class Sharing { None, Read, ReadWrite };

// ---- One file's copy: prepared, then committed ---------------------------------
//
// A copy is written to a temporary file in the target's folder (PrepareCopy)
// and takes the target's name only when committed. Between the two the
// source and the copy stay open: a verification reads them through the
// descriptors that read and wrote them, and a move asks whether the source
// still is what was copied before it deletes it. Nothing is reopened by name.

// What a copy, or a folder the copy creates, keeps of its source beyond
// the content, times, permission bits and attributes. Set on the unnamed
// copy, or on the new folder through its handle, before anything can use
// it: nothing ever shows the copier's owner or a looser ACL, even for a moment.
struct KeepMetadata {
  // The owner and group (-OWNER). Linux: with CAP_CHOWN only, and the
  // setuid and setgid bits then kept too; Windows: the owner and group of
  // the security descriptor, where the process holds the privilege. Where
  // the process may not (MayChangeOwners), the copy stays the copier's.
  bool owner = false;
  // The extended attributes the process can read and write, POSIX ACLs
  // among them, but the DOS attribute, which follows its own rules (-XATTR).
  // An ACL the destination folder would pass on, where the source has none,
  // is removed. Windows: the DACL of the security descriptor.
  bool xattrs = false;
};

// What one copy carries besides the bytes and the last-write time.
struct CopyRequest {
  CopyAttributes attributes;
  KeepMetadata keep;
  // A read-only file in the target's place may be replaced (-R). Linux: the
  // rename replaces it, and no mode is changed anywhere. Windows must clear
  // the bit first: it does so only on a file with a single link (another
  // link would be a file outside the trees); with more, the copy fails.
  bool replaceReadOnly = false;
  // Told the bytes copied so far, now and then while the content is copied,
  // on the caller's thread; may be empty.
  std::function<void(int64_t)> progress;
};

// The source as the copy opened it: what a move checks before it deletes it.
struct SourceState {
  FileId id;
  uint64_t size = 0;
  int64_t change = 0;  // the status-change time (Linux ctime; Windows ChangeTime), in the system's units
};

class PreparedCopy {
 public:
  virtual ~PreparedCopy() = default;  // drops the temporary file unless committed
  // The source as opened (the status of the open descriptor).
  const SourceState& Source() const { return source_; }
  // The source and the copy, read from their start through the descriptors
  // that read and wrote them: never reopened by name. Valid before and after
  // the commit, while this object lives.
  virtual ErrorOr<std::unique_ptr<InputFile>> ReadSource() = 0;
  virtual ErrorOr<std::unique_ptr<InputFile>> ReadCopy() = 0;
  // Whether the open source still is what was copied: the same size and
  // change time now as when it was opened (false when a writer appended to
  // it or rewrote it meanwhile).
  virtual ErrorOr<bool> SourceUnchanged() = 0;
  // Gives the copy the target's name, with the replace rules of CopyFile
  // (and CopyRequest::replaceReadOnly). A failed commit leaves nothing behind.
  virtual std::error_code Commit() = 0;
  // After the commit: the copy itself, held for FileSystem::LinkFile.
  // The default: not supported.
  virtual ErrorOr<std::unique_ptr<HeldFile>> HoldCopy();
  // The status of the open source now (a move of hard links deletes one
  // name after another, each changing the status of the file they share).
  // The default: not supported.
  virtual ErrorOr<SourceState> SourceNow();

 protected:
  SourceState source_;
};

// DeleteSource's answer for a source that no longer is the file copied.
std::error_code SourceChangedError();
bool IsSourceChanged(std::error_code error);

// ---- Temporary files ------------------------------------------------------------
//
// The copy and the log trim write through one primitive: a file made
// exclusively under a fresh unique name in the target's folder (never a
// fixed name, never one derived from the target), put in the target's place
// only when complete, removed on failure. The name is kTemporaryPrefix, 12
// random characters of [a-z2-7] and kTemporarySuffix: 20 characters, hidden
// on Linux by its dot, on Windows by the hidden attribute until the writer
// sets the file's attributes. On Linux an unnamed file (O_TMPFILE) is used
// first, the named one only where the file system has no unnamed files.
// Stale temporary files left by a killed run are never deleted automatically:
// nothing proves that a name of this pattern is ours. A user may remove them.
constexpr char kTemporaryPrefix[] = ".vx~";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandomLength = 12;
// Whether a name has the pattern above.
bool IsTemporaryName(std::string_view name);
// A fresh name of that pattern (random from the system's entropy source).
std::string NewTemporaryName();

class TemporaryFile {
 public:
  // A new empty file open for writing in folder, unnamed where the platform
  // can, else created exclusively under NewTemporaryName() (retried while
  // the name exists). Its permission bits are 0600 until the writer sets them.
  static ErrorOr<TemporaryFile> Create(const Folder& folder);

  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&&) = delete;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  // Removes the file unless it was committed: only a name this object made.
  ~TemporaryFile();

  std::intptr_t NativeHandle() const { return handle_; }
  // The name it was created under; empty for an unnamed file.
  const std::string& Name() const { return name_; }
  // Writes all bytes at the current position.
  std::error_code Write(const char* data, std::size_t size);
  // Closes the handle and gives the file targetName in its folder: never
  // replacing an existing entry (EEXIST / ERROR_FILE_EXISTS when taken),
  // or, with replace, atomically over an existing file (never a folder).
  // A failed commit leaves the file uncommitted: it may be committed again.
  std::error_code Commit(std::string_view targetName, bool replace);

 private:
  friend class NativeFileSystem;  // a copy makes its file with the final permission bits
  TemporaryFile(const Folder& folder, std::intptr_t handle, std::string name);
  const Folder* folder_;
  std::intptr_t handle_;
  std::string name_;  // empty for an unnamed file
  bool committed_ = false;
};

}  // namespace vx
