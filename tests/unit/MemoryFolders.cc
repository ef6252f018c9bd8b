// The memory file system: names inside held folders, as the POSIX backend
// answers for them.
#include "tests/unit/MemoryFileSystem.h"

#include "tests/unit/MemoryNode.h"

namespace vx::test {

using namespace memory;

namespace {

// Mask matching of the enumeration: * and ?, as the file system compares
// names (case-sensitive on Linux); "*.*" names every entry, as on Windows.
bool MaskMatches(std::string_view mask, std::string_view name) {
  auto same = [](char a, char b) {
    return CompareFileNames(std::string_view(&a, 1), std::string_view(&b, 1)) == 0;
  };
  std::size_t m = 0, n = 0, starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = ++m;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || same(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// The permission bits of the copy of a file: the source's, with the
// owner's write bit when read-only is not kept.
int CopyMode(int sourceMode, const CopyAttributes& attributes) {
  int mode = sourceMode & 0777;
  if ((attributes.drop & attr::ReadOnly) && (mode & 0222) == 0) mode |= 0200;
  return mode;
}

// The attribute bits of an entry as the POSIX backend makes them: the DOS
// bits kept (a file without any is to be archived), read-only from the
// write bits, hidden from a leading dot.
uint32_t AttributesOf(const std::optional<uint32_t>& dos, std::string_view name, const Node& node) {
  uint32_t result = 0;
  if (node.IsFolder()) {
    result |= attr::Directory;
    if (dos) result |= *dos & kDosStoredBits;
  } else {
    result |= dos ? (*dos & kDosStoredBits) : attr::Archive;
    if ((node.mode & 0222) == 0) result |= attr::ReadOnly;
  }
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") result |= attr::Hidden;
  return result == 0 ? attr::Normal : result;
}

// The root of the mount a folder lies in: renames stay within one.
const Node* MountOf(const Node& folder) {
  const Node* at = &folder;
  for (NodePtr parent; !at->mountRoot && (parent = at->parent.lock());) at = parent.get();
  return at;
}

// A file open for reading: the node itself, as a descriptor holds its inode.
class MemoryInputFile : public InputFile {
 public:
  explicit MemoryInputFile(NodePtr node) : node_(std::move(node)) {}
  ErrorOr<int64_t> Size() override { return static_cast<int64_t>(node_->Size()); }
  int64_t Position() override { return position_; }
  std::error_code Seek(int64_t position) override {
    if (position < 0) return Error(std::errc::invalid_argument);
    position_ = position;
    return {};
  }
  ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
    const uint64_t size = node_->Size();
    const uint64_t at = static_cast<uint64_t>(position_);
    if (at >= size || count == 0) return std::size_t{0};
    std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(count, size - at));
    Faults& f = node_->faults;
    if (f.read.error && f.read.times != 0 && at + n > f.readAt) {
      if (at >= f.readAt && f.read.Strikes()) return f.read.error;
      if (at < f.readAt) n = static_cast<std::size_t>(f.readAt - at);
    }
    const std::string& bytes = node_->bytes;
    const std::size_t written = at < bytes.size() ? std::min<std::size_t>(n, bytes.size() - at) : 0;
    bytes.copy(static_cast<char*>(buffer), written, static_cast<std::size_t>(at));
    std::fill_n(static_cast<char*>(buffer) + written, n - written, '\0');
    position_ += static_cast<int64_t>(n);
    return n;
  }

 private:
  NodePtr node_;
  int64_t position_ = 0;
};

}  // namespace

ErrorOr<NodePtr> MemoryFileSystem::MakeFolderIn(const NodePtr& parent, std::string_view name,
                                                const Folder* like, const KeepMetadata& keep) {
  if (const std::error_code error = CheckName(name)) return error;
  if (parent->removed) return Error(std::errc::no_such_file_or_directory);
  if (Find(*parent, name)) return Error(std::errc::file_exists);
  if (NoRoom(*parent, 0)) return parent->faults.write.error;
  NodePtr made = NewNode(kFolder, *parent);
  if (like) {
    if (ErrorOr<NodePtr> model = Held(*like)) {
      made->mode = (*model)->mode;
      if (keep.owner && mayChangeOwners) made->owner = (*model)->owner;
      if (keep.xattrs) made->xattrs = (*model)->xattrs;
    }
  }
  Put(parent, name, made);
  return made;
}

ErrorOr<Folder> MemoryFileSystem::OpenBelow(const Folder& parent, const NodePtr& folder,
                                            std::string_view name) {
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(*folder, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  if (node->kind == kLink) return Error(std::errc::too_many_symbolic_link_levels);
  if (!node->IsFolder()) return Error(std::errc::not_a_directory);
  if (node->faults.open.Strikes()) return node->faults.open.error;
  if (node->mountRoot || node->id.device != parent.Id().device)
    return Error(std::errc::cross_device_link);
  return Hold(node, parent.PathOf(name));
}

ErrorOr<Folder> MemoryFileSystem::OpenFolder(const Folder& parent, std::string_view name) {
  ++calls.openFolder;
  ErrorOr<NodePtr> folder = Held(parent);
  if (!folder) return folder.error();
  return OpenBelow(parent, *folder, name);
}

ErrorOr<Folder> MemoryFileSystem::CreateFolder(const Folder& parent, std::string_view name,
                                               const Folder* like, const KeepMetadata& keep) {
  ++calls.createFolder;
  ErrorOr<NodePtr> folder = Held(parent);
  if (!folder) return folder.error();
  ErrorOr<Folder> existing = OpenBelow(parent, *folder, name);
  if (existing || existing.error() != std::errc::no_such_file_or_directory) return existing;
  ErrorOr<NodePtr> made = MakeFolderIn(*folder, name, like, keep);
  if (!made) return made.error();
  return OpenBelow(parent, *folder, name);
}

ErrorOr<std::vector<FileId>> MemoryFileSystem::FolderAndParents(const Folder& folder) {
  ErrorOr<NodePtr> node = Held(folder);
  if (!node) return node.error();
  std::vector<FileId> chain{(*node)->id};
  for (NodePtr at = *node;;) {
    if (at->removed) return Error(std::errc::no_such_file_or_directory);
    at = at->parent.lock();
    if (!at) return chain;
    chain.push_back(at->id);
  }
}

// What node (named name, in folder) stands for, a link followed once: the
// POSIX backend's answer.
ErrorOr<EntryInfo> MemoryFileSystem::Describe(const NodePtr& folder, const NodePtr& node,
                                              std::string_view name) const {
  if (folder->faults.lookIn.Strikes()) return folder->faults.lookIn.error;
  if (node->faults.look.Strikes()) return node->faults.look.error;
  EntryInfo info;
  NodePtr led = node;
  if (node->kind == kLink) {
    info.link = true;
    ErrorOr<Place> place = LocateFrom(folder, node->target, true, 1);
    if (!place || !place->node) {
      const std::error_code error = place ? Error(std::errc::no_such_file_or_directory) : place.error();
      if (!IsMissing(error) && error != std::errc::too_many_symbolic_link_levels) return error;
      info.kind = EntryKind::DanglingLink;
      info.attributes = attr::ReparsePoint;
      return info;
    }
    led = place->node;
  }
  info.kind = led->kind == kFile     ? EntryKind::File
              : led->kind == kFolder ? EntryKind::Folder
                                     : EntryKind::Special;
  if (led->kind == kFile) info.size = led->Size();
  info.attributes = AttributesOf(std::nullopt, name, *led);
  if (led->IsFolder() && (info.link || led->mountRoot)) info.attributes |= attr::ReparsePoint;
  info.lastWrite = led->lastWrite;
  info.id = led->id;
  info.links = static_cast<uint32_t>(std::max(led->links, 1));
  return info;
}

ErrorOr<EntryInfo> MemoryFileSystem::Look(const Folder& folder, std::string_view name) {
  ++calls.look;
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(**held, name);
  if (!node && (*held)->faults.lookIn.Strikes()) return (*held)->faults.lookIn.error;
  if (!node) return Error(std::errc::no_such_file_or_directory);
  return Describe(*held, node, name);
}

ErrorOr<Listing> MemoryFileSystem::List(const Folder& folder, const ListOptions& options) {
  ++calls.list;
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  const NodePtr dir = *held;
  const bool everyName = options.mask.empty() || options.mask == "*.*";
  const bool oneName = !everyName && options.mask.find_first_of("*?") == std::string::npos;
  Faults& faults = dir->faults;
  std::size_t listed = 0;
  Listing listing;
  // The DOS bits of a name, read as the POSIX backend reads them: when
  // asked for, and to tell hidden entries but those a leading dot hides.
  auto dosBits = [](Node& node) -> std::optional<uint32_t> {
    if (node.faults.attributes.Strikes()) return std::nullopt;  // read as none
    return node.dos;
  };
  auto needDosBits = [&](const std::string& name) {
    return options.withAttributes || (!options.includeHidden && name[0] != '.');
  };
  auto consider = [&](const std::string& name, const NodePtr& node) -> std::error_code {
    if (node->kind == kSpecial) return {};
    if (name[0] == '.' && !options.includeHidden && !oneName) return {};
    if (!oneName && !everyName && !MaskMatches(options.mask, name)) return {};
    ListedEntry entry;
    if (node->kind == kFile && !options.withStatus) {
      // A regular file needs no look-up when its status is not asked for.
      std::optional<uint32_t> dos;
      if (needDosBits(name)) {
        dos = dosBits(*node);
        entry.attributesRead = true;
      }
      Node unlooked;
      entry.attributes = AttributesOf(dos, name, unlooked);
      entry.statusRead = false;
    } else {
      ErrorOr<EntryInfo> info = Describe(dir, node, name);
      // Gone since the folder was read: not an entry any more.
      if (!info) return IsMissing(info.error()) ? std::error_code() : info.error();
      if (info->kind != EntryKind::File && info->kind != EntryKind::Folder) return {};
      entry.attributes = info->attributes;
      if (needDosBits(name) && !info->link) {
        entry.attributes = AttributesOf(dosBits(*node), name, *node) |
                           (info->attributes & attr::ReparsePoint);
        entry.attributesRead = true;
      }
      entry.size = info->size;
      entry.lastWrite = info->lastWrite;
      entry.fileIndex = info->link ? 0 : info->id.index;
      entry.link = info->link;
    }
    if (!options.includeHidden && (entry.attributes & (attr::Hidden | attr::System))) return {};
    if (faults.list.Strikes()) return faults.list.error;
    listing.Add(name, node->shortName, entry);
    ++listed;
    return {};
  };
  // The listing's own failure strikes once listAfter entries are in it, or at its end.
  auto failsNow = [&] { return faults.list.error && faults.list.times != 0 && listed >= faults.listAfter; };
  if (oneName) {
    if (CheckName(options.mask)) return listing;
    if (const NodePtr node = Find(*dir, options.mask)) {
      if (failsNow() && faults.list.Strikes()) return faults.list.error;
      if (const std::error_code error = consider(options.mask, node)) return error;
    }
  } else {
    for (const auto& entry : dir->entries) {
      if (failsNow() && faults.list.Strikes()) return faults.list.error;
      if (const std::error_code error = consider(entry.first, entry.second)) return error;
    }
  }
  if (faults.list.Strikes()) return faults.list.error;
  listing.SortByName();
  return listing;
}

ErrorOr<uint32_t> MemoryFileSystem::GetAttributes(const Folder& folder, std::string_view name) {
  ++calls.getAttributes;
  ErrorOr<Named> named = Entry(folder, name);
  if (!named) return named.error();
  const NodePtr& node = named->node;
  if (node->kind == kLink) return Error(std::errc::too_many_symbolic_link_levels);
  if (node->kind == kSpecial) return Error(std::errc::invalid_argument);
  if (node->faults.attributes.Strikes()) return node->faults.attributes.error;
  uint32_t result = AttributesOf(node->dos, name, *node);
  if (node->IsFolder() && node->mountRoot) result |= attr::ReparsePoint;
  return result;
}

ErrorOr<uint32_t> MemoryFileSystem::ListedAttributes(const Folder& folder, const ListedEntry& entry) {
  ++calls.listedAttributes;
  if (entry.attributesRead || entry.link) return entry.attributes;
  ErrorOr<Named> named = Entry(folder, entry.name);
  if (!named) return named.error();
  const NodePtr& node = named->node;
  if (node->faults.attributes.Strikes()) return node->faults.attributes.error;
  // Read-only, folder and reparse point as listed; the DOS bits now.
  Node listed;
  listed.kind = (entry.attributes & attr::Directory) ? kFolder : kFile;
  listed.mode = (entry.attributes & attr::ReadOnly) ? 0444 : 0644;
  return AttributesOf(node->dos, entry.name, listed) | (entry.attributes & attr::ReparsePoint);
}

std::error_code MemoryFileSystem::SetAttributes(const Folder& folder, std::string_view name,
                                                uint32_t attributes) {
  ++calls.setAttributes;
  ErrorOr<Named> named = Entry(folder, name);
  if (!named) return named.error();
  const NodePtr& node = named->node;
  if (node->kind == kLink) return Error(std::errc::too_many_symbolic_link_levels);
  if (node->kind == kSpecial) return Error(std::errc::invalid_argument);
  if (node->faults.setAttributes.Strikes()) return node->faults.setAttributes.error;
  if (node->kind == kFile) {
    if (attributes & attr::ReadOnly)
      node->mode &= ~0222;
    else if ((node->mode & 0222) == 0)
      node->mode |= 0200;
  }
  node->dos = attributes & kDosStoredBits;
  return {};
}

// The regular file name stands for in folder, a link followed: never a
// folder or special file.
ErrorOr<NodePtr> MemoryFileSystem::OpenFile(const NodePtr& folder, std::string_view name) const {
  if (const std::error_code error = CheckName(name)) return error;
  NodePtr node = Find(*folder, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  if (node->faults.open.Strikes()) return node->faults.open.error;
  if (node->kind == kLink) {
    ErrorOr<Place> place = LocateFrom(folder, node->target, true, 1);
    if (!place) return place.error();
    if (!place->node) return Error(std::errc::no_such_file_or_directory);
    node = place->node;
    if (node->faults.open.Strikes()) return node->faults.open.error;
  }
  if (node->IsFolder()) return Error(std::errc::is_a_directory);
  if (node->kind != kFile) return Error(std::errc::invalid_argument);
  return node;
}

// Whether a read of the whole file strikes its read fault.
std::error_code MemoryFileSystem::ReadWhole(Node& file) const {
  Faults& f = file.faults;
  if (f.read.error && f.read.times != 0 && file.Size() > f.readAt && f.read.Strikes())
    return f.read.error;
  return {};
}

// A file held for more names: the node itself.
class MemoryFileSystem::HeldNode : public HeldFile {
 public:
  explicit HeldNode(NodePtr node) : node(std::move(node)) { id_ = this->node->id; }
  NodePtr node;
};

ErrorOr<std::unique_ptr<HeldFile>> MemoryFileSystem::HoldFile(const Folder& folder, std::string_view name) {
  ErrorOr<Named> named = Entry(folder, name);
  if (!named) return named.error();
  const NodePtr& node = named->node;
  if (node->kind == kLink) return Error(std::errc::too_many_symbolic_link_levels);
  if (node->kind != kFile) return Error(node->IsFolder() ? std::errc::is_a_directory : std::errc::invalid_argument);
  return std::unique_ptr<HeldFile>(std::make_unique<MemoryFileSystem::HeldNode>(node));
}

std::error_code MemoryFileSystem::LinkFile(const HeldFile& file, const Folder& to, std::string_view targetName,
                                           bool replaceReadOnly) {
  ++calls.link;
  ErrorOr<NodePtr> dir = Held(to);
  if (!dir) return dir.error();
  if (const std::error_code error = CheckName(targetName)) return error;
  if ((*dir)->removed) return Error(std::errc::no_such_file_or_directory);
  const NodePtr& node = static_cast<const MemoryFileSystem::HeldNode&>(file).node;
  if (const NodePtr existing = Find(**dir, targetName)) {
    if (existing == node) return {};
    if (existing->IsFolder()) return Error(std::errc::is_a_directory);
    if (existing->kind == kSpecial) return Error(std::errc::invalid_argument);
    if (existing->kind == kFile && (existing->mode & 0222) == 0 && !replaceReadOnly)
      return Error(std::errc::permission_denied);
  }
  Put(*dir, targetName, node);
  return {};
}

// A copy built whole and unnamed; the source and the copy stay reachable as
// the open descriptors of the real backends keep them.
class MemoryFileSystem::Prepared : public PreparedCopy {
 public:
  Prepared(MemoryFileSystem& fs, NodePtr source, NodePtr copy, NodePtr dir, std::string targetName,
           bool replaceReadOnly)
      : fs_(fs), in_(std::move(source)), copy_(std::move(copy)), dir_(std::move(dir)),
        targetName_(std::move(targetName)), replaceReadOnly_(replaceReadOnly) {
    source_ = SourceState{in_->id, in_->Size(), in_->lastWrite};
  }
  // Counted with the opens for reading: they stand for the descriptors' reads.
  ErrorOr<std::unique_ptr<InputFile>> ReadSource() override {
    ++fs_.calls.openForRead;
    return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(in_));
  }
  ErrorOr<std::unique_ptr<InputFile>> ReadCopy() override {
    ++fs_.calls.openForRead;
    return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(copy_));
  }
  ErrorOr<bool> SourceUnchanged() override {
    return in_->Size() == source_.size && in_->lastWrite == source_.change;
  }
  ErrorOr<std::unique_ptr<HeldFile>> HoldCopy() override {
    return std::unique_ptr<HeldFile>(std::make_unique<HeldNode>(copy_));
  }
  ErrorOr<SourceState> SourceNow() override { return SourceState{in_->id, in_->Size(), in_->lastWrite}; }
  std::error_code Commit() override {
    if (dir_->removed) return Error(std::errc::no_such_file_or_directory);
    // A taken name is replaced only where the POSIX backend replaces it.
    if (const NodePtr existing = fs_.Find(*dir_, targetName_)) {
      if (existing->kind == kLink) {
        ErrorOr<Place> led = fs_.LocateFrom(dir_, existing->target, true, 1);
        if (led && led->node == in_) return Error(std::errc::file_exists);
      } else if (existing->IsFolder()) {
        return Error(std::errc::is_a_directory);
      } else if (existing->kind != kFile) {
        return Error(std::errc::invalid_argument);
      } else if (existing == in_) {
        return Error(std::errc::file_exists);
      } else if ((existing->mode & 0222) == 0 && !replaceReadOnly_) {
        return Error(std::errc::permission_denied);
      }
    }
    fs_.Put(dir_, targetName_, copy_);
    return {};
  }

 private:
  MemoryFileSystem& fs_;
  NodePtr in_, copy_, dir_;
  std::string targetName_;
  bool replaceReadOnly_;
};

ErrorOr<std::unique_ptr<PreparedCopy>> MemoryFileSystem::PrepareCopy(const Folder& from,
                                                                     std::string_view name,
                                                                     const Folder& to,
                                                                     std::string_view targetName,
                                                                     const CopyRequest& request) {
  ++calls.copy;
  const CopyAttributes& attributes = request.attributes;
  ErrorOr<NodePtr> source = Held(from);
  if (!source) return source.error();
  ErrorOr<NodePtr> target = Held(to);
  if (!target) return target.error();
  if (const std::error_code error = CheckName(targetName)) return error;
  ErrorOr<NodePtr> file = OpenFile(*source, name);
  if (!file) return file.error();
  const Node& in = **file;
  Node& dir = **target;
  // The copy is made whole, unnamed, before it takes a name: a failure
  // leaves neither a part nor a temporary file behind.
  if (const std::error_code error = ReadWhole(**file)) return error;
  if (dir.removed) return Error(std::errc::no_such_file_or_directory);
  if (NoRoom(dir, in.Size())) return dir.faults.write.error;
  // Told in steps of a mebibyte, as a backend tells its reads.
  if (request.progress) {
    const int64_t size = static_cast<int64_t>(in.Size());
    for (int64_t done = std::min<int64_t>(size, int64_t{1} << 20);; done = std::min<int64_t>(size, done + (int64_t{1} << 20))) {
      request.progress(done);
      if (done >= size) break;
    }
  }
  NodePtr copy = NewNode(kFile, dir);
  copy->bytes = in.bytes;
  copy->zeros = in.zeros;
  if (dir.faults.corruptCopies && !copy->bytes.empty()) copy->bytes[0] ^= 1;
  copy->mode = CopyMode(in.mode, attributes);
  if (request.keep.owner && mayChangeOwners) copy->owner = in.owner;
  if (request.keep.xattrs) copy->xattrs = in.xattrs;
  const uint32_t sourceBits =
      attributes.listed ? *attributes.listed : AttributesOf(in.dos, name, in);
  const uint32_t bits = attributes.For(sourceBits) & kDosStoredBits;
  if (bits != (AttributesOf(std::nullopt, targetName, *copy) & kDosStoredBits)) copy->dos = bits;
  copy->lastAccess = in.lastAccess;
  copy->lastWrite = in.lastWrite;
  return std::unique_ptr<PreparedCopy>(std::make_unique<Prepared>(
      *this, *file, std::move(copy), *target, std::string(targetName), request.replaceReadOnly));
}

std::error_code MemoryFileSystem::DeleteSource(const Folder& folder, std::string_view name,
                                               const SourceState* expected) {
  ++calls.deleteFile;
  ErrorOr<Named> named = Entry(folder, name);
  if (!named) return named.error();
  const NodePtr& node = named->node;
  if (node->kind == kLink) {
    // A link goes itself, while it still leads to the file copied.
    ErrorOr<Place> led = LocateFrom(named->folder, node->target, true, 1);
    if (expected && (!led || !led->node || led->node->id != expected->id)) return SourceChangedError();
    if (led && led->node && led->node->IsFolder()) return Error(std::errc::is_a_directory);
  } else if (node->kind != kFile) {
    return node->IsFolder() ? Error(std::errc::is_a_directory) : Error(std::errc::invalid_argument);
  } else if (expected && (node->id != expected->id || node->Size() != expected->size ||
                          node->lastWrite != expected->change)) {
    return SourceChangedError();
  }
  if (node->faults.remove.Strikes()) return node->faults.remove.error;
  Drop(*named->folder, name);
  return {};
}

std::error_code MemoryFileSystem::MoveFile(const Folder& from, std::string_view name,
                                           const Folder& to, std::string_view targetName) {
  ++calls.move;
  ErrorOr<NodePtr> source = Held(from);
  if (!source) return source.error();
  ErrorOr<NodePtr> target = Held(to);
  if (!target) return target.error();
  if (const std::error_code error = CheckName(name)) return error;
  if (const std::error_code error = CheckName(targetName)) return error;
  const NodePtr node = Find(**source, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  // A link is never renamed: the caller copies what it leads to.
  if (node->kind == kLink) return Error(std::errc::cross_device_link);
  if (node->IsFolder()) return Error(std::errc::is_a_directory);
  if (node->kind != kFile) return Error(std::errc::invalid_argument);
  if (node->id.device != to.Id().device || MountOf(**source) != MountOf(**target))
    return Error(std::errc::cross_device_link);
  // Nor a file with other names, as the POSIX backend refuses it.
  if (node->links > 1) return Error(std::errc::cross_device_link);
  if (node->faults.rename.Strikes()) return node->faults.rename.error;
  if ((*target)->removed) return Error(std::errc::no_such_file_or_directory);
  if (Find(**target, targetName)) return Error(std::errc::file_exists);
  Drop(**source, name);
  Put(*target, targetName, node);
  return {};
}

std::error_code MemoryFileSystem::DeleteFile(const Folder& folder, std::string_view name) {
  ++calls.deleteFile;
  ErrorOr<Named> named = Entry(folder, name);
  if (!named) return named.error();
  const NodePtr& node = named->node;
  if (node->kind == kLink) {
    // A link to a file goes itself; what it leads to stays.
    ErrorOr<Place> led = LocateFrom(named->folder, node->target, true, 1);
    if (led && led->node && led->node->IsFolder()) return Error(std::errc::is_a_directory);
  } else if (node->IsFolder()) {
    return Error(std::errc::is_a_directory);
  } else if (node->kind != kFile) {
    return Error(std::errc::invalid_argument);
  } else if ((node->mode & 0222) == 0) {
    // Read-only holds, also for root, as on Windows.
    return Error(std::errc::permission_denied);
  }
  if (node->faults.remove.Strikes()) return node->faults.remove.error;
  Drop(*named->folder, name);
  return {};
}

std::error_code MemoryFileSystem::RemoveEmptyFolder(const NodePtr& parent, std::string_view name) {
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(*parent, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  if (node->kind == kLink) return Error(std::errc::too_many_symbolic_link_levels);
  if (!node->IsFolder()) return Error(std::errc::not_a_directory);
  if (node->mountRoot) return Error(std::errc::device_or_resource_busy);
  if (!node->entries.empty()) return Error(std::errc::directory_not_empty);
  // As Windows refuses it: a walk closes a folder before it removes it.
  if (heldFoldersStay && IsHeld(*node)) return Error(std::errc::permission_denied);
  if (node->faults.remove.Strikes()) return node->faults.remove.error;
  Drop(*parent, name);
  MarkRemoved(*node);
  return {};
}

std::error_code MemoryFileSystem::RemoveFolder(const Folder& parent, std::string_view name) {
  ++calls.removeFolder;
  ErrorOr<NodePtr> held = Held(parent);
  if (!held) return held.error();
  return RemoveEmptyFolder(*held, name);
}

std::error_code MemoryFileSystem::RemoveLink(const Folder& parent, std::string_view name) {
  ++calls.removeLink;
  ErrorOr<NodePtr> held = Held(parent);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(**held, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  if (node->kind != kLink) return Error(std::errc::invalid_argument);
  if (node->faults.remove.Strikes()) return node->faults.remove.error;
  Drop(**held, name);
  return {};
}

ErrorOr<std::unique_ptr<InputFile>> MemoryFileSystem::OpenForRead(const Folder& folder,
                                                                  std::string_view name, Sharing) {
  ++calls.openForRead;
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  ErrorOr<NodePtr> file = OpenFile(*held, name);
  if (!file) return file.error();
  return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(*file));
}

ErrorOr<FileTimes> MemoryFileSystem::GetFileTimes(const Folder& folder, std::string_view name) {
  ++calls.fileTimes;
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  ErrorOr<NodePtr> file = OpenFile(*held, name);
  if (!file) return file.error();
  if ((*file)->faults.times.Strikes()) return (*file)->faults.times.error;
  FileTimes times;
  times.creation = (*file)->creation;
  times.lastAccess = (*file)->lastAccess;
  times.lastWrite = (*file)->lastWrite;
  return times;
}

}  // namespace vx::test
