// The thin layer that stands in for the operating system. The engine reaches
// files, time, locale and the process only through here; posix/ and win32/
// hold the two backends, one file per concept. It is linked into the library alone:
// the console program has its own narrow interface, platform/Host.h.
//
// One convention for every call here. A call that can fail returns a
// std::error_code (empty on success) or an ErrorOr<T> holding either the T
// or the error; the error carries the system's own code (errno on Linux,
// GetLastError on Windows) in SystemCategory(), whose message() is the
// system's text for it, or a portable std::errc where the system gave no
// code (a text that is no date). A call without either cannot fail. No
// call raises: the one exception type, VeltrixError (core/Error.h) with its
// French message, is the engine's, for what no caller expects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Process.h"  // the command line, Utf8ToAnsi

namespace vx {

// ---- Results ----------------------------------------------------------------

// errno values on Linux; Win32 error codes on Windows, message() from
// FormatMessageA and default_error_condition() mapping to std::errc, so that
// IsMissing and MoveNeedsCopy also take the portable codes test doubles return.
const std::error_category& SystemCategory();
// The given system code as an error (0 gives an empty error).
inline std::error_code SystemError(int code) { return std::error_code(code, SystemCategory()); }
// "Not there": the name, or a folder on its way, does not exist (ENOENT,
// ENOTDIR; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME,
// ERROR_DIRECTORY). Every other error is "could not look", and nothing may
// be deleted or judged on its strength.
bool IsMissing(std::error_code error);
// Whether MoveFile refused because the caller must copy then delete instead:
// the rename would cross devices (EXDEV, bind mounts included;
// ERROR_NOT_SAME_DEVICE) or the source is a link, which is never renamed.
bool MoveNeedsCopy(std::error_code error);

// A T, or the error that kept it from being made.
template <typename T>
class ErrorOr {
 public:
  ErrorOr(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  // An empty error is a caller's mistake; it still never reads as success.
  ErrorOr(std::error_code error)  // NOLINT: implicit by design
      : error_(error ? error : std::make_error_code(std::errc::io_error)) {}

  explicit operator bool() const { return value_.has_value(); }
  std::error_code error() const { return error_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  std::error_code error_;
};

// ---- Paths and command line -------------------------------------------------

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
constexpr bool kFileNamesCaseSensitive = false;
constexpr bool kSlashIntroducesSwitch = true;
#else
constexpr char kPathSeparator = '/';
constexpr bool kFileNamesCaseSensitive = true;
constexpr bool kSlashIntroducesSwitch = false;
#endif

// "/" is also a separator on Windows.
bool IsPathSeparator(char c);
// Characters that introduce a switch: "-" everywhere, "/" on Windows too.
// Inline: the program's SILENT test uses it without the platform layer.
constexpr bool IsSwitchChar(char c) { return c == '-' || (kSlashIntroducesSwitch && c == '/'); }
// Length of the folder part of a path: up to and including its last separator
// (or, on Windows, a drive colon). 0 when the path has no folder part.
std::size_t FolderPartLength(const std::string& path);
// The path without its trailing separators, as a held root keeps its path
// text; a root keeps its own ("/"; on Windows "\" and "C:\" too).
std::string WithoutTrailingSeparators(std::string path);

// Expands %NAME% references; undefined ones stay as typed. Fails
// (errc::value_too_large) when the result does not fit the system's
// 1024-character buffer.
ErrorOr<std::string> ExpandEnvironment(const std::string& text);

// ---- Console ----------------------------------------------------------------

// The purge's notice for a folder that cannot be removed. Standard output is
// flushed first (the program writes through the C runtime's stdout, which
// both modules share), so the notice follows the names shown before it; waits
// for the user where that cannot block a batch run. The error of a notice
// that could not be shown.
std::error_code ShowNotice(const std::string& text);
// One line on standard error (standard output flushed first), asking for
// nothing: a warning at the start of a run.
void ShowWarning(const std::string& text);

// ---- Time and locale --------------------------------------------------------

struct LocalDateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalDateTime LocalNow();
// The user's short date and long time formats: "23/10/2003", "14:05:09".
ErrorOr<std::string> FormatShortDate(const LocalDateTime& t);
ErrorOr<std::string> FormatLongTime(const LocalDateTime& t);
// Converts a date text (optionally followed by a time) by the user's short
// date format into a day number; errc::invalid_argument when it does not convert.
ErrorOr<double> ParseShortDate(const std::string& text);
// Base bias of the time zone in minutes (UTC = local standard time + bias).
ErrorOr<int> TimeZoneBiasMinutes();

// Day numbers: days since 30 December 1899, the fraction the time of day.
double EncodeDayNumber(const LocalDateTime& t);
// File time stamps are 100-ns ticks since 1 January 1601, UTC. A negative
// one is a time that does not convert, as Windows refuses those too: the
// file system's entries carry kNoFileTime for a time they cannot tell.
constexpr int64_t kNoFileTime = -1;
// A Unix time (seconds and nanoseconds since 1970) as a file time;
// errc::value_too_large when it lies before 1601 or beyond what 64 bits of
// ticks hold.
ErrorOr<int64_t> FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
// The day number of a file time shifted by a bias in minutes (UTC = local +
// bias), to the millisecond below: the last tick of a day stays on that day
// and midnight starts the next. errc::value_too_large for a negative time.
ErrorOr<double> FileTimeToDayNumber(int64_t fileTime, int biasMinutes);
// A file time turned into local time with the offset in force now (daylight
// saving included when it is in force now), for every time alike, then
// packed into DOS date (high 16 bits) and time. errc::value_too_large
// outside 1980 to 2107.
ErrorOr<int32_t> FileTimeToPackedLocal(int64_t fileTime);

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

// DeleteMovedSource's answer for a source that no longer is the file copied.
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

// ---- The file system ---------------------------------------------------------------
//
// Every file operation of the engine. Paths that the user names (sources,
// destinations, the log, list files) are opened by path and may lead through
// links. Everything below a root is reached relative to a held Folder, one
// name at a time: a link, mount point or reparse point where a folder is
// expected is refused, never entered. Names are single components without
// separators. The engine's tests pass a file system kept in memory
// (tests/unit/MemoryFileSystem.h), with faults injected where they ask.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // ---- Paths named by the user ----

  // Opens the folder a path names, following links (a root may be named
  // through one). Missing: IsMissing; a file: ENOTDIR / ERROR_DIRECTORY.
  virtual ErrorOr<Folder> OpenRoot(const std::string& path) = 0;
  // Opens the folder a path names, first creating it and its missing parents
  // (links in the path followed, as the user named it). The folder of the
  // last component, when created here, takes the permission bits of like
  // (Linux; Windows inherits its ACL); parents get the defaults.
  // keep: what the folder made here takes from like besides its bits.
  virtual ErrorOr<Folder> CreateRoot(const std::string& path, const Folder* like,
                                     const KeepMetadata& keep = KeepMetadata()) = 0;
  // What a path names, following links. Missing: IsMissing.
  virtual ErrorOr<EntryInfo> LookPath(const std::string& path) = 0;
  // Creates a folder and its missing parents (the log's folder); success when it exists.
  virtual std::error_code CreateDirectories(const std::string& path) = 0;
  // Removes the empty folder a path names (the top source folder after a
  // move); refuses a link and a folder that is not empty.
  virtual std::error_code RemoveFolderPath(const std::string& path) = 0;
  // The whole content of a regular file (never a FIFO or device).
  virtual ErrorOr<std::string> ReadWholeFile(const std::string& path) = 0;
  // Appends bytes to the log, a regular file, creating it when missing. Its
  // folder is reached as the user named it (through links); the log itself
  // is never followed: a link in its place is refused (ELOOP /
  // ERROR_CANT_ACCESS_FILE), and so is a file with other hard links (EMLINK /
  // ERROR_TOO_MANY_LINKS), which would carry the lines elsewhere. Appends
  // and RewriteFile exclude each other (Linux: flock; Windows: the byte-range
  // lock the appends take), so a trim never loses a line written meanwhile.
  virtual std::error_code AppendToFile(const std::string& path, const std::string& bytes) = 0;
  // Replaces the log's content by rewrite(its content), atomically (as
  // ReplaceFile) and under the appends' lock; refuses what AppendToFile
  // refuses, and a missing log. The new file takes the old one's mode and
  // owner (Linux) or attributes (Windows).
  virtual std::error_code RewriteFile(const std::string& path,
                                      const std::function<std::string(const std::string&)>& rewrite) = 0;
  // Replaces a whole file atomically: the bytes go to a temporary file
  // beside it, renamed over it when complete (a link in the file's place is
  // replaced, not written through). The mode of the old file is kept. On
  // failure the old file stays whole and the temporary file is removed.
  virtual std::error_code ReplaceFile(const std::string& path, const std::string& bytes) = 0;
  // The path made absolute against the current folder, "." and ".." folded
  // lexically, links not resolved (Windows: GetFullPathNameA).
  virtual ErrorOr<std::string> FullPath(const std::string& path) = 0;
  virtual ErrorOr<std::string> CurrentDirectory() = 0;
  // The short (8.3) form of an existing path; the path itself where the
  // volume has no short names (always on Linux).
  virtual ErrorOr<std::string> ShortPath(const std::string& path) = 0;

  // ---- Names inside a held folder: no link is followed in a folder's place ----

  // The entries of folder matching options.mask, folders included, "." and
  // ".." never, FIFOs, sockets, devices and dangling links never. A listing
  // that fails part-way returns the error: it never reads as the end of the folder.
  virtual ErrorOr<Listing> List(const Folder& folder, const ListOptions& options) = 0;
  // What name stands for, not following it: a link reads as described at
  // EntryInfo, with kind DanglingLink when it leads nowhere. Missing: IsMissing.
  virtual ErrorOr<EntryInfo> Look(const Folder& folder, std::string_view name) = 0;
  // Opens the subfolder name. Refuses (never enters) a link (ELOOP /
  // ERROR_CANT_ACCESS_FILE), a mount point or other reparse point (EXDEV /
  // ERROR_NOT_SAME_DEVICE); none of these reads as IsMissing. A file in its
  // place: ENOTDIR / ERROR_DIRECTORY, which IsMissing takes as "no folder there".
  virtual ErrorOr<Folder> OpenFolder(const Folder& parent, std::string_view name) = 0;
  // The identities of folder and of every folder above it, up to the top
  // of the file-system tree (Linux: ".." one step at a time). "Does the
  // source lie inside the destination" is asked of this chain, never of path text.
  virtual ErrorOr<std::vector<FileId>> FolderAndParents(const Folder& folder) = 0;
  // The identity of the top folder of the mount that holds folder: the last
  // folder FolderAndParents climbs through before it leaves that mount
  // (Linux: STATX_ATTR_MOUNT_ROOT). Two folders of one file system reached
  // through different mounts of it (a bind mount) have different tops, and
  // climbing from one then tells nothing of whether it lies inside the
  // other. The default: the top of FolderAndParents (no such mounts).
  virtual ErrorOr<FileId> MountTop(const Folder& folder);
  // Removes the empty folder held as folder (a root the run emptied) and
  // closes it. Its parent is reached from the folder itself where the
  // platform can (Linux: ".."; the default opens the folder part of its
  // path), and the entry removed there must still be this very folder (by
  // identity, not a link): a path that has come to name another folder
  // removes nothing. Refuses a folder that is not empty.
  virtual std::error_code RemoveRoot(Folder& folder);
  // Opens the subfolder name, creating it when missing with the permission
  // bits of like (Linux: 0700 stays 0700, setgid and sticky kept). Refuses
  // what OpenFolder refuses, and a file in its place.
  // A folder made here takes from like what keep asks too, through its
  // handle, before anything is put in it; an existing one is left as it is.
  virtual ErrorOr<Folder> CreateFolder(const Folder& parent, std::string_view name,
                                       const Folder* like, const KeepMetadata& keep = KeepMetadata()) = 0;
  // Whether this process may give its copies another owner (-OWNER): Linux
  // CAP_CHOWN, Windows the restore privilege. The default: it may.
  virtual bool MayChangeOwners();
  // The attribute bits of the entry itself (DOS bits included). A link is
  // refused, never read through.
  virtual ErrorOr<uint32_t> GetAttributes(const Folder& folder, std::string_view name) = 0;
  // The attribute bits of an entry of a listing of folder, DOS bits
  // included: the listing's own where it read them (attributesRead) or the
  // entry is a link (which has none of its own); else read now from the
  // entry itself, never through a link (Linux: the extended attribute
  // alone, read-only as listed). A name gone since the listing: IsMissing.
  // The default asks GetAttributes.
  virtual ErrorOr<uint32_t> ListedAttributes(const Folder& folder, const ListedEntry& entry);
  // Sets read-only (Linux: the write bits) and hidden, system, archive (the
  // DOS extended attribute, where the file system keeps one) on the entry
  // itself. A link is refused, never written through.
  virtual std::error_code SetAttributes(const Folder& folder, std::string_view name,
                                        uint32_t attributes) = 0;
  // Copies the file name of from (a link to a file: the file's content) to
  // targetName in to, with its permission bits or attributes, DOS bits and
  // last-write time, through a TemporaryFile. Refuses a source that is not a
  // file, and a target that is a folder, a read-only file (also for root) or
  // the source itself (by identity). A link in the target's place is
  // replaced, never written through. PrepareCopy then Commit.
  virtual std::error_code CopyFile(const Folder& from, std::string_view name, const Folder& to,
                                   std::string_view targetName);
  // The same copy, with attributes.For the source's attributes, given to the
  // copy before it takes the target's name.
  virtual std::error_code CopyFile(const Folder& from, std::string_view name, const Folder& to,
                                   std::string_view targetName, const CopyAttributes& attributes);
  // The copy of CopyFile up to its commit. The source is looked at before
  // it is opened, and only a regular file (or what a link leads to, when
  // that is one) is opened for reading: never a FIFO or device.
  virtual ErrorOr<std::unique_ptr<PreparedCopy>> PrepareCopy(const Folder& from, std::string_view name,
                                                             const Folder& to, std::string_view targetName,
                                                             const CopyRequest& request) = 0;
  // The regular file name in folder, held (never a link, never through
  // one). The default: not supported (errc::operation_not_supported).
  virtual ErrorOr<std::unique_ptr<HeldFile>> HoldFile(const Folder& folder, std::string_view name);
  // Gives file one more name, targetName in to: a hard link, made under a
  // temporary name then renamed over what has the name, with the replace
  // rules of CopyFile (replaceReadOnly as CopyRequest's). A name that is
  // already this file is left as it is. The default: not supported.
  virtual std::error_code LinkFile(const HeldFile& file, const Folder& to, std::string_view targetName,
                                   bool replaceReadOnly);
  // Deletes a move's source only while it still is the file that was copied
  // (identity, size and change time as in expected); otherwise
  // SourceChangedError, and the source stays. A link in its place goes
  // itself (what it leads to stays). No mode is changed first: Linux deletes
  // a read-only file as it is; Windows clears read-only only on a file with
  // a single link, and refuses one with more.
  virtual std::error_code DeleteMovedSource(const Folder& folder, std::string_view name,
                                            const SourceState& expected) = 0;
  // Renames the file name of from to targetName in to, never replacing an
  // existing entry. Refuses with MoveNeedsCopy when the caller must copy
  // then delete instead: across devices (bind mounts included) or for a link.
  virtual std::error_code MoveFile(const Folder& from, std::string_view name, const Folder& to,
                                   std::string_view targetName) = 0;
  // Deletes a file, or a link to a file (or leading nowhere) itself.
  // Refuses a read-only file (also for root), a folder, a link to a folder
  // and special files.
  virtual std::error_code DeleteFile(const Folder& folder, std::string_view name) = 0;
  // Removes the empty subfolder name; refuses a link or a folder that is not empty.
  virtual std::error_code RemoveFolder(const Folder& parent, std::string_view name) = 0;
  // Removes a link to a folder (a junction on Windows) itself, never what it
  // leads to; refuses anything that is not a link.
  virtual std::error_code RemoveLink(const Folder& parent, std::string_view name) = 0;
  // Opens a file for reading (a link to a file: the file), never a FIFO or
  // device; sharing is what Windows lets others do meanwhile (Linux has no
  // mandatory sharing).
  virtual ErrorOr<std::unique_ptr<InputFile>> OpenForRead(const Folder& folder,
                                                          std::string_view name,
                                                          Sharing sharing) = 0;
  // Creation, last-access and last-write times of a file, opened for reading
  // with read and write shared (Linux: the status-change time stands for creation).
  virtual ErrorOr<FileTimes> GetFileTimes(const Folder& folder, std::string_view name) = 0;
};

// What a backend learns as it works (Linux: the ceiling of held folders,
// which calls the kernel has, the default ACL of the last folder a copy went
// to); each NativeFileSystem owns its own. Defined by the backend.
struct NativeState;

class NativeFileSystem : public FileSystem {
 public:
  NativeFileSystem();
  ~NativeFileSystem() override;
  NativeFileSystem(const NativeFileSystem&) = delete;
  NativeFileSystem& operator=(const NativeFileSystem&) = delete;

  ErrorOr<Folder> OpenRoot(const std::string& path) override;
  ErrorOr<Folder> CreateRoot(const std::string& path, const Folder* like,
                             const KeepMetadata& keep = KeepMetadata()) override;
  ErrorOr<EntryInfo> LookPath(const std::string& path) override;
  std::error_code CreateDirectories(const std::string& path) override;
  std::error_code RemoveFolderPath(const std::string& path) override;
  ErrorOr<std::string> ReadWholeFile(const std::string& path) override;
  std::error_code AppendToFile(const std::string& path, const std::string& bytes) override;
  std::error_code RewriteFile(const std::string& path,
                              const std::function<std::string(const std::string&)>& rewrite) override;
  std::error_code ReplaceFile(const std::string& path, const std::string& bytes) override;
  ErrorOr<std::string> FullPath(const std::string& path) override;
  ErrorOr<std::string> CurrentDirectory() override;
  ErrorOr<std::string> ShortPath(const std::string& path) override;

  ErrorOr<Listing> List(const Folder& folder, const ListOptions& options) override;
  ErrorOr<EntryInfo> Look(const Folder& folder, std::string_view name) override;
  ErrorOr<Folder> OpenFolder(const Folder& parent, std::string_view name) override;
  ErrorOr<std::vector<FileId>> FolderAndParents(const Folder& folder) override;
#if !defined(_WIN32)
  ErrorOr<FileId> MountTop(const Folder& folder) override;
  std::error_code RemoveRoot(Folder& folder) override;
#endif
  ErrorOr<Folder> CreateFolder(const Folder& parent, std::string_view name,
                               const Folder* like, const KeepMetadata& keep = KeepMetadata()) override;
  bool MayChangeOwners() override;
  ErrorOr<uint32_t> GetAttributes(const Folder& folder, std::string_view name) override;
  std::error_code SetAttributes(const Folder& folder, std::string_view name,
                                uint32_t attributes) override;
#if !defined(_WIN32)
  // Where reading attributes costs a call apiece. Windows keeps the default.
  ErrorOr<uint32_t> ListedAttributes(const Folder& folder, const ListedEntry& entry) override;
#endif
  ErrorOr<std::unique_ptr<PreparedCopy>> PrepareCopy(const Folder& from, std::string_view name,
                                                     const Folder& to, std::string_view targetName,
                                                     const CopyRequest& request) override;
  std::error_code DeleteMovedSource(const Folder& folder, std::string_view name,
                                    const SourceState& expected) override;
  ErrorOr<std::unique_ptr<HeldFile>> HoldFile(const Folder& folder, std::string_view name) override;
  std::error_code LinkFile(const HeldFile& file, const Folder& to, std::string_view targetName,
                           bool replaceReadOnly) override;
  std::error_code MoveFile(const Folder& from, std::string_view name, const Folder& to,
                           std::string_view targetName) override;
  std::error_code DeleteFile(const Folder& folder, std::string_view name) override;
  std::error_code RemoveFolder(const Folder& parent, std::string_view name) override;
  std::error_code RemoveLink(const Folder& parent, std::string_view name) override;
  ErrorOr<std::unique_ptr<InputFile>> OpenForRead(const Folder& folder, std::string_view name,
                                                  Sharing sharing) override;
  ErrorOr<FileTimes> GetFileTimes(const Folder& folder, std::string_view name) override;

 private:
  std::unique_ptr<NativeState> state_;
};

}  // namespace vx
