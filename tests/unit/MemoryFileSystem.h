// A file system kept in memory, for the engine's tests: the whole FileSystem
// interface, with the POSIX backend's answers where the contracts leave
// room, so that engine tests touch no disk, run alike on every target and
// can make any entry fail on demand.
//
// It holds folders, files (bytes, permission bits, DOS bits, three times),
// links to files and folders, dangling links, special entries (FIFOs),
// hard links (one node under two names), several devices (Mount) and a
// current folder. Names compare as CompareFileNames compares them; paths use
// the platform's separators, with a drive ("C:") on Windows. Folders are held
// as nodes: one removed or renamed meanwhile is still the one acted in.
// Every change advances a clock by two seconds, so a later write is newer
// even in packed DOS time. Folders it hands out must be closed before it goes.
#pragma once

#include <cstdint>
#include <map>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/Platform.h"

namespace vx::test {

// One injected failure: the error an operation gives instead of working,
// `times` more times (-1: every time).
struct Fault {
  std::error_code error;
  int times = -1;
  // Whether it strikes now; counts the strike.
  bool Strikes();
};

inline Fault Fail(std::errc code, int times = -1) {
  return Fault{std::make_error_code(code), times};
}

// What may fail on one entry (a node: both names of a hard link share them).
struct Faults {
  Fault look;             // Look and LookPath of it, and the look a listing makes of it
  Fault lookIn;           // the same for every name in this folder, there or not (not searchable)
  Fault open;             // opening it: a folder (OpenRoot, OpenFolder), a file (reads, copies, times)
  Fault list;             // listing this folder fails once listAfter entries are listed
  std::size_t listAfter = 0;
  Fault read;             // reads of this file fail at byte readAt
  uint64_t readAt = 0;
  // Writing into this folder or file fails with what one operation (a copy,
  // an append, a replacement) writes past writeAt bytes; at 0 nothing is
  // made there, not even a folder. Fail(std::errc::no_space_on_device).
  Fault write;
  uint64_t writeAt = 0;
  bool corruptCopies = false;  // copies made in this folder come out with other bytes
  Fault rename;           // MoveFile of it
  Fault remove;           // DeleteFile, RemoveFolder, RemoveFolderPath, RemoveLink of it
  Fault attributes;       // GetAttributes, ListedAttributes (a listing reads them as none)
  Fault setAttributes;    // SetAttributes
  Fault times;            // GetFileTimes
};

// How often the engine asked for each operation.
struct Calls {
  int openRoot = 0, list = 0, look = 0, openFolder = 0, createFolder = 0, getAttributes = 0,
      listedAttributes = 0, setAttributes = 0, copy = 0, move = 0, deleteFile = 0,
      removeFolder = 0, removeLink = 0, openForRead = 0, fileTimes = 0, readWholeFile = 0,
      append = 0, replace = 0, link = 0;
};

class MemoryFileSystem : public FileSystem, private FolderOwner {
 public:
  // The root ("/", or "C:\" on Windows), the current folder at first.
  static std::string Root();

  MemoryFileSystem();
  ~MemoryFileSystem() override;
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  // ---- For tests: the tree by path (relative to the current folder), links
  // followed but the last one's. A path that cannot be made throws.
  void Write(const std::string& path, const std::string& bytes);  // folders made as needed
  // The bytes of a file (through a link; a sparse one's zeros written out),
  // or "<error text>".
  std::string Read(const std::string& path) const;
  void MakeFolder(const std::string& path);  // with its parents
  void Link(const std::string& path, const std::string& target);
  void HardLink(const std::string& path, const std::string& existing);
  void MakeSpecial(const std::string& path);  // a FIFO
  // A new empty folder that is the root of another device; bind: a mount
  // of this same device, known only as a mount point (no rename crosses it).
  void Mount(const std::string& path, bool bind = false);
  void Remove(const std::string& path);  // an entry, a folder with all it holds
  void Rename(const std::string& from, const std::string& to);  // replaces what is at to
  bool Exists(const std::string& path) const;
  bool IsFolder(const std::string& path) const;
  bool IsLink(const std::string& path) const;
  std::vector<std::string> Names(const std::string& folder) const;  // in name order
  // A file's size, grown with zeros that take no memory (a sparse file).
  void Resize(const std::string& path, uint64_t size);
  int Mode(const std::string& path) const;
  void SetMode(const std::string& path, int mode);
  // Owner and group (one number: what -OWNER keeps) and extended attributes (-XATTR).
  int Owner(const std::string& path) const;
  void SetOwner(const std::string& path, int owner);
  std::map<std::string, std::string>& Xattrs(const std::string& path);
  int64_t WriteTime(const std::string& path) const;  // file time
  void SetWriteTime(const std::string& path, int64_t fileTime);
  FileId Id(const std::string& path) const;
  void SetShortName(const std::string& path, const std::string& shortName);
  void SetCurrentDirectory(const std::string& path);
  Faults& FaultsOf(const std::string& path);
  // Folders held open now: a walk that ends holds none.
  std::size_t HeldFolders() const { return held_.size(); }
  // Refuse to remove a held folder, as Windows does (on by default).
  bool heldFoldersStay = true;
  // Whether the process may give copies another owner (-OWNER).
  bool mayChangeOwners = true;
  Calls calls;

  // ---- FileSystem ----
  ErrorOr<Folder> OpenRoot(const std::string& path) override;
  ErrorOr<Folder> CreateRoot(const std::string& path, const Folder* like,
                             const KeepMetadata& keep = KeepMetadata()) override;
  ErrorOr<EntryInfo> LookPath(const std::string& path) override;
  std::error_code CreateDirectories(const std::string& path) override;
  std::error_code RemoveFolderPath(const std::string& path) override;
  ErrorOr<std::string> ReadWholeFile(const std::string& path) override;
  std::error_code AppendToFile(const std::string& path, const std::string& bytes) override;
  std::error_code ReplaceFile(const std::string& path, const std::string& bytes) override;
  std::error_code RewriteFile(const std::string& path,
                              const std::function<std::string(const std::string&)>& rewrite) override;
  ErrorOr<std::string> FullPath(const std::string& path) override;
  ErrorOr<std::string> CurrentDirectory() override;
  ErrorOr<std::string> ShortPath(const std::string& path) override;

  ErrorOr<Listing> List(const Folder& folder, const ListOptions& options) override;
  ErrorOr<EntryInfo> Look(const Folder& folder, std::string_view name) override;
  ErrorOr<Folder> OpenFolder(const Folder& parent, std::string_view name) override;
  ErrorOr<std::vector<FileId>> FolderAndParents(const Folder& folder) override;
  ErrorOr<Folder> CreateFolder(const Folder& parent, std::string_view name,
                               const Folder* like, const KeepMetadata& keep = KeepMetadata()) override;
  bool MayChangeOwners() override { return mayChangeOwners; }
  ErrorOr<uint32_t> GetAttributes(const Folder& folder, std::string_view name) override;
  ErrorOr<uint32_t> ListedAttributes(const Folder& folder, const ListedEntry& entry) override;
  std::error_code SetAttributes(const Folder& folder, std::string_view name,
                                uint32_t attributes) override;
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

  struct Node;
  class Prepared;
  class HeldNode;
  using NodePtr = std::shared_ptr<Node>;

 private:
  struct Place;
  void ReleaseFolder(std::intptr_t handle) override;
  ErrorOr<Place> Locate(const std::string& path, bool followLast) const;
  ErrorOr<Place> LocateFrom(const NodePtr& start, const std::string& path, bool followLast,
                            int depth) const;
  NodePtr Find(const Node& folder, std::string_view name) const;
  void Drop(Node& folder, std::string_view name);
  void Put(const NodePtr& folder, std::string_view name, NodePtr node);
  NodePtr NewNode(int kind, const Node& folder);
  std::string CurrentDrive() const;
  std::string Trimmed(const std::string& path) const;
  Folder Hold(const NodePtr& node, std::string path);
  ErrorOr<NodePtr> Held(const Folder& folder) const;
  // The entry name of a held folder, with that folder; a name that is not
  // there: no_such_file_or_directory.
  struct Named {
    NodePtr folder;
    NodePtr node;
  };
  ErrorOr<Named> Entry(const Folder& folder, std::string_view name) const;
  bool IsHeld(const Node& node) const;
  ErrorOr<Folder> OpenBelow(const Folder& parent, const NodePtr& folder, std::string_view name);
  ErrorOr<NodePtr> MakeFolderIn(const NodePtr& parent, std::string_view name, const Folder* like,
                                const KeepMetadata& keep = KeepMetadata());
  ErrorOr<EntryInfo> Describe(const NodePtr& folder, const NodePtr& node,
                              std::string_view name) const;
  ErrorOr<NodePtr> OpenFile(const NodePtr& folder, std::string_view name) const;
  std::error_code ReadWhole(Node& file) const;
  std::error_code RemoveEmptyFolder(const NodePtr& parent, std::string_view name);
  Place Must(const std::string& path, bool followLast) const;
  NodePtr MustNode(const std::string& path, bool followLast) const;
  Place MustBeFree(const std::string& path);
  int64_t Tick() { return clock_ += 20000000; }  // two seconds

  std::map<std::string, NodePtr> roots_;  // by drive ("" on Linux)
  NodePtr current_;
  std::string currentPath_;
  std::map<std::intptr_t, NodePtr> held_;
  std::intptr_t nextHandle_ = 1;
  uint64_t nextIndex_ = 2;
  uint64_t nextDevice_ = 2;
  int shortNames_ = 0;
  int64_t clock_;
};

// A test's own folder in a memory file system, named as TempDir names its
// folder on disk: dir / "src/a.txt" is the absolute path of that file.
class MemoryDir {
 public:
  explicit MemoryDir(MemoryFileSystem& fs);
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const;
  void Write(const std::string& relative, const std::string& bytes) const {
    fs_.Write(*this / relative, bytes);
  }
  std::string Read(const std::string& relative) const { return fs_.Read(*this / relative); }
  bool Exists(const std::string& relative) const { return fs_.Exists(*this / relative); }
  void MakeFolder(const std::string& relative) const { fs_.MakeFolder(*this / relative); }

 private:
  MemoryFileSystem& fs_;
  std::string path_;
};

}  // namespace vx::test
