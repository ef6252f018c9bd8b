// The file system: every file operation of the engine.
// Part of the platform interface (platform/Platform.h), whose one error
// convention it follows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Entries.h"
#include "platform/System.h"

namespace vx {

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
  // Whether several threads may call it at once (every call, and the
  // objects it returns, each used by one thread). The default: no.
  virtual bool MayWorkInParallel() const { return false; }
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
  // Deletes a source the run is done with: a move's, only while it still is
  // the file that was copied (identity, size and change time as in
  // *expected; otherwise SourceChangedError, and the source stays), or one
  // selected towards NUL (expected null: any file). A link in its place goes
  // itself (what it leads to stays). No mode is changed first: Linux deletes
  // a read-only file as it is; Windows clears read-only only on a file with
  // a single link, and refuses one with more.
  virtual std::error_code DeleteSource(const Folder& folder, std::string_view name,
                                       const SourceState* expected) = 0;
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
  bool MayWorkInParallel() const override { return true; }
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
  std::error_code DeleteSource(const Folder& folder, std::string_view name,
                               const SourceState* expected) override;
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
