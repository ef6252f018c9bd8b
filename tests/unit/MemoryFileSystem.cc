#include "tests/unit/MemoryFileSystem.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>

namespace vx::test {

namespace {

enum Kind { kFile, kFolder, kLink, kSpecial };

constexpr uint32_t kDosStoredBits = attr::Hidden | attr::System | attr::Archive;
constexpr int kMaxLinkDepth = 40;
constexpr std::size_t kNameMax = 255;
// 1 January 2024, 00:00 UTC: an even second, so that two-second steps stay
// on the steps of packed DOS time.
constexpr int64_t kFirstUnixTime = 1704067200;

std::error_code Error(std::errc code) { return std::make_error_code(code); }

bool Windows() { return kPathSeparator == '\\'; }

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return CompareFileNames(a, b) < 0;
  }
};

// One name as the backends take it: a single component.
std::error_code CheckName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos ||
      std::any_of(name.begin(), name.end(), IsPathSeparator))
    return Error(std::errc::invalid_argument);
  if (name.size() > kNameMax) return Error(std::errc::filename_too_long);
  return {};
}

// Where a path starts: its root's length and drive ("" on Linux), or a
// relative path (absolute false). A path rooted without a drive on
// Windows is on the current folder's drive.
struct RootPart {
  bool absolute = false;
  std::size_t length = 0;
  std::string drive;
};

RootPart RootOf(const std::string& path, const std::string& currentDrive) {
  RootPart root;
  if (!Windows()) {
    root.absolute = !path.empty() && path[0] == '/';
    root.length = root.absolute ? 1 : 0;
  } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
             path[1] == ':') {
    root = {true, path.size() > 2 && IsPathSeparator(path[2]) ? 3u : 2u,
            std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) +
                ":"};
  } else if (!path.empty() && IsPathSeparator(path[0])) {
    root = {true, 1, currentDrive};
  }
  return root;
}

std::string RootText(const std::string& drive) { return drive + kPathSeparator; }

std::vector<std::string> Components(const std::string& path, std::size_t from) {
  std::vector<std::string> parts;
  std::size_t start = from;
  for (std::size_t i = from; i <= path.size(); ++i) {
    if (i == path.size() || IsPathSeparator(path[i])) {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

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

}  // namespace

bool Fault::Strikes() {
  if (!error || times == 0) return false;
  if (times > 0) --times;
  return true;
}

struct MemoryFileSystem::Node {
  int kind = kFile;
  FileId id;
  int mode = 0644;
  std::optional<uint32_t> dos;  // the DOS bits kept; none: a file's archive bit alone
  std::string bytes;            // a file's content
  std::string target;           // a link's
  int64_t creation = 0, lastAccess = 0, lastWrite = 0;
  bool mountRoot = false;
  std::weak_ptr<Node> parent;  // a folder's; none at a root
  bool removed = false;        // a folder no longer in the tree (held ones still act in it)
  std::string shortName;
  std::map<std::string, NodePtr, NameLess> entries;
  Faults faults;

  bool IsFolder() const { return kind == kFolder; }
};

// Where a path leads: the folder and name of its last component (no folder
// for a root, "." or ".."), and what is there (nullptr: nothing).
struct MemoryFileSystem::Place {
  NodePtr folder;
  std::string name;
  NodePtr node;
};

namespace {

using Node = MemoryFileSystem::Node;
using NodePtr = MemoryFileSystem::NodePtr;

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

// Whether what one operation writes into node finds no room.
bool NoRoom(Node& node, uint64_t bytes) {
  Faults& f = node.faults;
  if (!f.write.error || f.write.times == 0 || (f.writeAt > 0 && bytes <= f.writeAt)) return false;
  return f.write.Strikes();
}

void MarkRemoved(Node& node) {
  node.removed = true;
  for (auto& entry : node.entries)
    if (entry.second->IsFolder() && entry.second->parent.lock().get() == &node)
      MarkRemoved(*entry.second);
  node.entries.clear();
}

// A file open for reading: the node itself, as a descriptor holds its inode.
class MemoryInputFile : public InputFile {
 public:
  explicit MemoryInputFile(NodePtr node) : node_(std::move(node)) {}
  ErrorOr<int64_t> Size() override { return static_cast<int64_t>(node_->bytes.size()); }
  int64_t Position() override { return position_; }
  std::error_code Seek(int64_t position) override {
    if (position < 0) return Error(std::errc::invalid_argument);
    position_ = position;
    return {};
  }
  ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
    const uint64_t size = node_->bytes.size();
    const uint64_t at = static_cast<uint64_t>(position_);
    if (at >= size || count == 0) return std::size_t{0};
    std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(count, size - at));
    Faults& f = node_->faults;
    if (f.read.error && f.read.times != 0 && at + n > f.readAt) {
      if (at >= f.readAt && f.read.Strikes()) return f.read.error;
      if (at < f.readAt) n = static_cast<std::size_t>(f.readAt - at);
    }
    node_->bytes.copy(static_cast<char*>(buffer), n, static_cast<std::size_t>(at));
    position_ += static_cast<int64_t>(n);
    return n;
  }

 private:
  NodePtr node_;
  int64_t position_ = 0;
};

}  // namespace

// ---- The tree ---------------------------------------------------------------------

std::string MemoryFileSystem::Root() { return Windows() ? "C:\\" : "/"; }

MemoryFileSystem::MemoryFileSystem() : clock_(FileTimeFromUnix(kFirstUnixTime, 0)) {
  auto root = std::make_shared<Node>();
  root->kind = kFolder;
  root->mode = 0755;
  root->id = {1, 1};
  root->creation = root->lastAccess = root->lastWrite = clock_;
  roots_[Windows() ? "C:" : ""] = root;
  current_ = root;
  currentPath_ = Root();
}

MemoryFileSystem::~MemoryFileSystem() = default;

NodePtr MemoryFileSystem::NewNode(int kind, const Node& folder) {
  auto node = std::make_shared<Node>();
  node->kind = kind;
  node->id = {folder.id.device, nextIndex_++};
  node->mode = kind == kFolder ? 0755 : kind == kLink ? 0777 : 0644;
  node->creation = node->lastAccess = node->lastWrite = Tick();
  return node;
}

NodePtr MemoryFileSystem::Find(const Node& folder, std::string_view name) const {
  const auto found = folder.entries.find(name);
  if (found != folder.entries.end()) return found->second;
  if (shortNames_ > 0) {
    for (const auto& entry : folder.entries)
      if (!entry.second->shortName.empty() && CompareFileNames(entry.second->shortName, name) == 0)
        return entry.second;
  }
  return nullptr;
}

void MemoryFileSystem::Put(const NodePtr& folder, std::string_view name, NodePtr node) {
  if (node->IsFolder()) node->parent = folder;
  const auto taken = folder->entries.find(name);
  if (taken != folder->entries.end()) folder->entries.erase(taken);
  folder->entries.emplace(std::string(name), std::move(node));
}

std::string MemoryFileSystem::CurrentDrive() const {
  return Windows() ? currentPath_.substr(0, 2) : std::string();
}

ErrorOr<MemoryFileSystem::Place> MemoryFileSystem::LocateFrom(const NodePtr& start,
                                                              const std::string& path,
                                                              bool followLast, int depth) const {
  if (depth > kMaxLinkDepth) return Error(std::errc::too_many_symbolic_link_levels);
  if (path.empty()) return Error(std::errc::no_such_file_or_directory);
  const RootPart root = RootOf(path, CurrentDrive());
  NodePtr folder = start;
  if (root.absolute) {
    const auto found = roots_.find(root.drive);
    if (found == roots_.end()) return Error(std::errc::no_such_file_or_directory);
    folder = found->second;
  }
  const std::vector<std::string> parts = Components(path, root.length);
  // A trailing separator names a folder, through a link too.
  const bool folderNamed = !parts.empty() && IsPathSeparator(path.back());
  if (folderNamed) followLast = true;
  Place place{nullptr, std::string(), folder};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    const bool last = i + 1 == parts.size();
    NodePtr next;
    if (part == "." || part == "..") {
      next = folder;
      if (part == "..") {
        if (folder->removed) return Error(std::errc::no_such_file_or_directory);
        if (NodePtr parent = folder->parent.lock()) next = parent;
      }
      place = Place{nullptr, std::string(), next};
    } else {
      next = Find(*folder, part);
      place = Place{folder, part, next};
      if (next && next->kind == kLink && (!last || followLast)) {
        ErrorOr<Place> led = LocateFrom(folder, next->target, true, depth + 1);
        if (!led) return led.error();
        if (last) {
          place = std::move(*led);
          break;
        }
        next = led->node;
      }
    }
    if (last) break;
    if (!next) return Error(std::errc::no_such_file_or_directory);
    if (!next->IsFolder()) return Error(std::errc::not_a_directory);
    folder = next;
  }
  if (folderNamed && place.node && !place.node->IsFolder()) return Error(std::errc::not_a_directory);
  return place;
}

ErrorOr<MemoryFileSystem::Place> MemoryFileSystem::Locate(const std::string& path,
                                                          bool followLast) const {
  return LocateFrom(current_, path, followLast, 0);
}

MemoryFileSystem::Place MemoryFileSystem::Must(const std::string& path, bool followLast) const {
  ErrorOr<Place> place = Locate(path, followLast);
  if (!place) throw std::runtime_error(path + ": " + place.error().message());
  return std::move(*place);
}

NodePtr MemoryFileSystem::MustNode(const std::string& path, bool followLast) const {
  Place place = Must(path, followLast);
  if (!place.node) throw std::runtime_error(path + ": no such entry");
  return place.node;
}

// ---- Held folders -------------------------------------------------------------------

Folder MemoryFileSystem::Hold(const NodePtr& node, std::string path) {
  const std::intptr_t handle = nextHandle_++;
  held_[handle] = node;
  return Folder(handle, std::move(path), node->id, *this);
}

void MemoryFileSystem::ReleaseFolder(std::intptr_t handle) { held_.erase(handle); }

ErrorOr<NodePtr> MemoryFileSystem::Held(const Folder& folder) const {
  const auto found = held_.find(folder.NativeHandle());
  if (found == held_.end()) return Error(std::errc::bad_file_descriptor);
  return found->second;
}

bool MemoryFileSystem::IsHeld(const Node& node) const {
  return std::any_of(held_.begin(), held_.end(),
                     [&](const auto& held) { return held.second.get() == &node; });
}

// The path text of a held folder: as named, without trailing separators
// but a root's.
std::string MemoryFileSystem::Trimmed(const std::string& path) const {
  const std::size_t root = RootOf(path, CurrentDrive()).length;
  std::string trimmed = path;
  while (trimmed.size() > std::max<std::size_t>(root, 1) && IsPathSeparator(trimmed.back()))
    trimmed.pop_back();
  return trimmed;
}

ErrorOr<Folder> MemoryFileSystem::OpenRoot(const std::string& path) {
  ++calls.openRoot;
  ErrorOr<Place> place = Locate(path, true);
  if (!place) return place.error();
  if (!place->node) return Error(std::errc::no_such_file_or_directory);
  if (!place->node->IsFolder()) return Error(std::errc::not_a_directory);
  if (place->node->faults.open.Strikes()) return place->node->faults.open.error;
  return Hold(place->node, Trimmed(path));
}

ErrorOr<NodePtr> MemoryFileSystem::MakeFolderIn(const NodePtr& parent, std::string_view name,
                                                const Folder* like) {
  if (const std::error_code error = CheckName(name)) return error;
  if (parent->removed) return Error(std::errc::no_such_file_or_directory);
  if (Find(*parent, name)) return Error(std::errc::file_exists);
  if (NoRoom(*parent, 0)) return parent->faults.write.error;
  NodePtr made = NewNode(kFolder, *parent);
  if (like) {
    if (ErrorOr<NodePtr> model = Held(*like)) made->mode = (*model)->mode;
  }
  Put(parent, name, made);
  return made;
}

ErrorOr<Folder> MemoryFileSystem::CreateRoot(const std::string& path, const Folder* like) {
  ErrorOr<Folder> existing = OpenRoot(path);
  if (existing || !IsMissing(existing.error())) return existing;
  const std::string trimmed = Trimmed(path);
  const std::size_t parent = FolderPartLength(trimmed);
  if (parent > RootOf(trimmed, CurrentDrive()).length) {
    if (const std::error_code error = CreateDirectories(trimmed.substr(0, parent))) return error;
  }
  ErrorOr<Place> place = Locate(trimmed, false);
  if (!place) return place.error();
  if (!place->folder) return Error(std::errc::invalid_argument);
  ErrorOr<NodePtr> made = MakeFolderIn(place->folder, place->name, like);
  if (!made) return made.error();
  return Hold(*made, trimmed);
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
                                               const Folder* like) {
  ++calls.createFolder;
  ErrorOr<NodePtr> folder = Held(parent);
  if (!folder) return folder.error();
  ErrorOr<Folder> existing = OpenBelow(parent, *folder, name);
  if (existing || existing.error() != std::errc::no_such_file_or_directory) return existing;
  ErrorOr<NodePtr> made = MakeFolderIn(*folder, name, like);
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

// ---- Looking at names ------------------------------------------------------------------

// What node (named name, in folder) stands for, a link followed once: the
// POSIX backend's answer.
ErrorOr<EntryInfo> MemoryFileSystem::Describe(const NodePtr& folder, const NodePtr& node,
                                              std::string_view name) const {
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
  if (led->kind == kFile) info.size = led->bytes.size();
  info.attributes = AttributesOf(std::nullopt, name, *led);
  if (led->IsFolder() && (info.link || led->mountRoot)) info.attributes |= attr::ReparsePoint;
  info.lastWrite = led->lastWrite;
  info.id = led->id;
  return info;
}

ErrorOr<EntryInfo> MemoryFileSystem::Look(const Folder& folder, std::string_view name) {
  ++calls.look;
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(**held, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  return Describe(*held, node, name);
}

ErrorOr<EntryInfo> MemoryFileSystem::LookPath(const std::string& path) {
  ErrorOr<Place> place = Locate(path, false);
  if (!place) return place.error();
  if (!place->node) return Error(std::errc::no_such_file_or_directory);
  const std::string trimmed = Trimmed(path);
  const std::string name = trimmed.substr(FolderPartLength(trimmed));
  ErrorOr<EntryInfo> info = Describe(place->folder ? place->folder : place->node, place->node, name);
  // A root named through a link is what the link leads to.
  if (info && info->kind == EntryKind::Folder && info->link) info->attributes &= ~attr::ReparsePoint;
  return info;
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
      if (!info) return info.error();
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
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(**held, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
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
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(entry.name)) return error;
  const NodePtr node = Find(**held, entry.name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
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
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(**held, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
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

// ---- Files ----------------------------------------------------------------------------------

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
  if (f.read.error && f.read.times != 0 && file.bytes.size() > f.readAt && f.read.Strikes())
    return f.read.error;
  return {};
}

std::error_code MemoryFileSystem::CopyFile(const Folder& from, std::string_view name,
                                           const Folder& to, std::string_view targetName) {
  return CopyFile(from, name, to, targetName, CopyAttributes());
}

std::error_code MemoryFileSystem::CopyFile(const Folder& from, std::string_view name,
                                           const Folder& to, std::string_view targetName,
                                           const CopyAttributes& attributes) {
  ++calls.copy;
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
  if (NoRoom(dir, in.bytes.size())) return dir.faults.write.error;
  NodePtr copy = NewNode(kFile, dir);
  copy->bytes = in.bytes;
  copy->mode = CopyMode(in.mode, attributes);
  const uint32_t sourceBits =
      attributes.listed ? *attributes.listed : AttributesOf(in.dos, name, in);
  const uint32_t bits = attributes.For(sourceBits) & kDosStoredBits;
  if (bits != (AttributesOf(std::nullopt, targetName, *copy) & kDosStoredBits)) copy->dos = bits;
  copy->lastAccess = in.lastAccess;
  copy->lastWrite = in.lastWrite;
  // A taken name is replaced only where the POSIX backend replaces it.
  if (const NodePtr existing = Find(dir, targetName)) {
    if (existing->kind == kLink) {
      ErrorOr<Place> led = LocateFrom(*target, existing->target, true, 1);
      if (led && led->node == *file) return Error(std::errc::file_exists);
    } else if (existing->IsFolder()) {
      return Error(std::errc::is_a_directory);
    } else if (existing->kind != kFile) {
      return Error(std::errc::invalid_argument);
    } else if (existing == *file) {
      return Error(std::errc::file_exists);
    } else if ((existing->mode & 0222) == 0) {
      return Error(std::errc::permission_denied);
    }
  }
  Put(*target, targetName, copy);
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
  if (node->id.device != to.Id().device) return Error(std::errc::cross_device_link);
  if (node->faults.rename.Strikes()) return node->faults.rename.error;
  if ((*target)->removed) return Error(std::errc::no_such_file_or_directory);
  if (Find(**target, targetName)) return Error(std::errc::file_exists);
  (*source)->entries.erase((*source)->entries.find(name));
  Put(*target, targetName, node);
  return {};
}

std::error_code MemoryFileSystem::DeleteFile(const Folder& folder, std::string_view name) {
  ++calls.deleteFile;
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  const NodePtr node = Find(**held, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  if (node->kind == kLink) {
    // A link to a file goes itself; what it leads to stays.
    ErrorOr<Place> led = LocateFrom(*held, node->target, true, 1);
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
  (*held)->entries.erase((*held)->entries.find(name));
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
  parent->entries.erase(parent->entries.find(name));
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
  (*held)->entries.erase((*held)->entries.find(name));
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

// ---- Paths named by the user ---------------------------------------------------------------

std::error_code MemoryFileSystem::CreateDirectories(const std::string& path) {
  ErrorOr<Place> place = Locate(path, true);
  if (place && place->node)
    return place->node->IsFolder() ? std::error_code() : Error(std::errc::not_a_directory);
  if (!place && place.error() != std::errc::no_such_file_or_directory) return place.error();
  const std::string trimmed = Trimmed(path);
  const std::size_t parent = FolderPartLength(trimmed);
  if (parent > RootOf(trimmed, CurrentDrive()).length) {
    if (const std::error_code error = CreateDirectories(trimmed.substr(0, parent - 1))) return error;
  }
  place = Locate(trimmed, false);
  if (!place) return place.error();
  if (!place->folder) return Error(std::errc::no_such_file_or_directory);
  if (place->node) {
    return place->node->IsFolder() ? std::error_code() : Error(std::errc::not_a_directory);
  }
  ErrorOr<NodePtr> made = MakeFolderIn(place->folder, place->name, nullptr);
  return made ? std::error_code() : made.error();
}

std::error_code MemoryFileSystem::RemoveFolderPath(const std::string& path) {
  ErrorOr<Place> place = Locate(Trimmed(path), false);
  if (!place) return place.error();
  if (!place->folder) return Error(std::errc::invalid_argument);
  return RemoveEmptyFolder(place->folder, place->name);
}

ErrorOr<std::string> MemoryFileSystem::ReadWholeFile(const std::string& path) {
  ++calls.readWholeFile;
  ErrorOr<Place> place = Locate(path, true);
  if (!place) return place.error();
  const NodePtr node = place->node;
  if (!node) return Error(std::errc::no_such_file_or_directory);
  if (node->faults.open.Strikes()) return node->faults.open.error;
  if (node->IsFolder()) return Error(std::errc::is_a_directory);
  if (node->kind != kFile) return Error(std::errc::invalid_argument);
  if (const std::error_code error = ReadWhole(*node)) return error;
  return node->bytes;
}

std::error_code MemoryFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  ++calls.append;
  ErrorOr<Place> place = Locate(path, true);
  if (!place) return place.error();
  NodePtr file = place->node;
  if (!file) {
    // Made here, as an open that creates makes it (through a dangling link too).
    if (!place->folder) return Error(std::errc::no_such_file_or_directory);
    if (const std::error_code error = CheckName(place->name)) return error;
    if (place->folder->removed) return Error(std::errc::no_such_file_or_directory);
    if (NoRoom(*place->folder, 0)) return place->folder->faults.write.error;
    file = NewNode(kFile, *place->folder);
    Put(place->folder, place->name, file);
  } else if (file->IsFolder()) {
    return Error(std::errc::is_a_directory);
  } else if (file->kind != kFile) {
    return Error(std::errc::invalid_argument);
  } else if ((file->mode & 0222) == 0) {
    return Error(std::errc::permission_denied);
  }
  // A full disk takes what fits.
  for (Node* node : {file.get(), place->folder.get()}) {
    if (node && NoRoom(*node, bytes.size())) {
      file->bytes.append(bytes, 0, static_cast<std::size_t>(node->faults.writeAt));
      file->lastWrite = Tick();
      return node->faults.write.error;
    }
  }
  file->bytes += bytes;
  file->lastWrite = Tick();
  return {};
}

std::error_code MemoryFileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  ++calls.replace;
  const std::string trimmed = Trimmed(path);
  const std::size_t folderLength = FolderPartLength(trimmed);
  const std::string name = trimmed.substr(folderLength);
  if (const std::error_code error = CheckName(name)) return error;
  ErrorOr<Place> place = Locate(folderLength == 0 ? std::string(".") : trimmed.substr(0, folderLength), true);
  if (!place) return place.error();
  const NodePtr dir = place->node;
  if (!dir) return Error(std::errc::no_such_file_or_directory);
  if (!dir->IsFolder()) return Error(std::errc::not_a_directory);
  const NodePtr old = Find(*dir, name);
  if (old && old->IsFolder()) return Error(std::errc::is_a_directory);
  // The bytes go to a new file that takes the old one's place whole.
  if (dir->removed) return Error(std::errc::no_such_file_or_directory);
  if (NoRoom(*dir, bytes.size())) return dir->faults.write.error;
  NodePtr file = NewNode(kFile, *dir);
  file->bytes = bytes;
  if (old && old->kind == kFile) file->mode = old->mode;
  Put(dir, name, file);
  return {};
}

ErrorOr<std::string> MemoryFileSystem::FullPath(const std::string& path) {
  if (path.empty()) return std::string();
  const RootPart root = RootOf(path, CurrentDrive());
  std::string joined = path;
  if (!root.absolute)
    joined = currentPath_ + kPathSeparator + path;
  else if (Windows() && root.length == 1)
    joined = root.drive + path;
  const RootPart full = RootOf(joined, CurrentDrive());
  // "." and ".." folded lexically; links not resolved.
  std::vector<std::string> parts;
  for (const std::string& part : Components(joined, full.length)) {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (part != ".") {
      parts.push_back(part);
    }
  }
  std::string result = RootText(full.drive);
  for (std::size_t i = 0; i < parts.size(); ++i) result += (i ? std::string(1, kPathSeparator) : "") + parts[i];
  // A trailing separator names the same folder; kept as typed.
  if (IsPathSeparator(joined.back()) && !parts.empty()) result += kPathSeparator;
  return result;
}

ErrorOr<std::string> MemoryFileSystem::CurrentDirectory() {
  if (current_->removed) return Error(std::errc::no_such_file_or_directory);
  return currentPath_;
}

ErrorOr<std::string> MemoryFileSystem::ShortPath(const std::string& path) {
  // Each component that has a short name takes it; the path itself where
  // none has one, as on a volume without short names.
  const RootPart root = RootOf(path, CurrentDrive());
  NodePtr folder = current_;
  if (root.absolute) {
    const auto found = roots_.find(root.drive);
    if (found == roots_.end()) return Error(std::errc::no_such_file_or_directory);
    folder = found->second;
  }
  std::string result = path.substr(0, root.length);
  const std::vector<std::string> parts = Components(path, root.length);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) result += kPathSeparator;
    NodePtr node = parts[i] == "." || parts[i] == ".." ? nullptr : (folder ? Find(*folder, parts[i]) : nullptr);
    if (!node) return path;
    result += node->shortName.empty() ? parts[i] : node->shortName;
    folder = node->IsFolder() ? node : nullptr;
  }
  if (!parts.empty() && IsPathSeparator(path.back())) result += kPathSeparator;
  return result;
}

// ---- For tests --------------------------------------------------------------------------------

void MemoryFileSystem::Write(const std::string& path, const std::string& bytes) {
  const std::size_t folder = FolderPartLength(path);
  if (folder > 0) MakeFolder(path.substr(0, folder));
  Place place = Must(path, true);
  if (!place.node) {
    if (!place.folder || CheckName(place.name)) throw std::runtime_error(path + ": no name to write");
    place.node = NewNode(kFile, *place.folder);
    Put(place.folder, place.name, place.node);
  }
  if (place.node->kind != kFile) throw std::runtime_error(path + ": not a file");
  place.node->bytes = bytes;
  place.node->lastWrite = place.node->lastAccess = Tick();
}

std::string MemoryFileSystem::Read(const std::string& path) const {
  ErrorOr<Place> place = Locate(path, true);
  std::error_code error = place ? std::error_code() : place.error();
  if (!error && !place->node) error = Error(std::errc::no_such_file_or_directory);
  if (!error && place->node->kind != kFile) error = Error(std::errc::is_a_directory);
  return error ? "<" + error.message() + ">" : place->node->bytes;
}

void MemoryFileSystem::MakeFolder(const std::string& path) {
  if (const std::error_code error = CreateDirectories(path))
    throw std::runtime_error(path + ": " + error.message());
}

MemoryFileSystem::Place MemoryFileSystem::MustBeFree(const std::string& path) {
  const std::size_t folder = FolderPartLength(path);
  if (folder > 0) MakeFolder(path.substr(0, folder));
  Place place = Must(path, false);
  if (place.node || !place.folder || CheckName(place.name))
    throw std::runtime_error(path + ": taken or no name");
  return place;
}

void MemoryFileSystem::Link(const std::string& path, const std::string& target) {
  Place place = MustBeFree(path);
  NodePtr link = NewNode(kLink, *place.folder);
  link->target = target;
  Put(place.folder, place.name, link);
}

void MemoryFileSystem::HardLink(const std::string& path, const std::string& existing) {
  const NodePtr file = MustNode(existing, false);
  if (file->kind != kFile) throw std::runtime_error(existing + ": not a file");
  Place place = MustBeFree(path);
  Put(place.folder, place.name, file);
}

void MemoryFileSystem::MakeSpecial(const std::string& path) {
  Place place = MustBeFree(path);
  Put(place.folder, place.name, NewNode(kSpecial, *place.folder));
}

void MemoryFileSystem::Mount(const std::string& path, bool bind) {
  Place place = MustBeFree(path);
  NodePtr root = NewNode(kFolder, *place.folder);
  if (!bind) root->id.device = nextDevice_++;
  root->mountRoot = true;
  Put(place.folder, place.name, root);
}

void MemoryFileSystem::Remove(const std::string& path) {
  Place place = Must(path, false);
  if (!place.node || !place.folder) throw std::runtime_error(path + ": nothing to remove");
  place.folder->entries.erase(place.folder->entries.find(place.name));
  if (place.node->IsFolder()) MarkRemoved(*place.node);
}

void MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  Place source = Must(from, false);
  Place target = Must(to, false);
  if (!source.node || !source.folder || !target.folder || CheckName(target.name))
    throw std::runtime_error(from + " -> " + to + ": cannot rename");
  source.folder->entries.erase(source.folder->entries.find(source.name));
  if (target.node && target.node->IsFolder()) MarkRemoved(*target.node);
  Put(target.folder, target.name, source.node);
}

bool MemoryFileSystem::Exists(const std::string& path) const {
  ErrorOr<Place> place = Locate(path, false);
  return place && place->node;
}

bool MemoryFileSystem::IsFolder(const std::string& path) const {
  ErrorOr<Place> place = Locate(path, false);
  return place && place->node && place->node->IsFolder();
}

bool MemoryFileSystem::IsLink(const std::string& path) const {
  ErrorOr<Place> place = Locate(path, false);
  return place && place->node && place->node->kind == kLink;
}

std::vector<std::string> MemoryFileSystem::Names(const std::string& folder) const {
  std::vector<std::string> names;
  for (const auto& entry : MustNode(folder, true)->entries) names.push_back(entry.first);
  return names;
}

int MemoryFileSystem::Mode(const std::string& path) const { return MustNode(path, true)->mode; }

void MemoryFileSystem::SetMode(const std::string& path, int mode) {
  MustNode(path, true)->mode = mode & 07777;
}

int64_t MemoryFileSystem::WriteTime(const std::string& path) const {
  return MustNode(path, true)->lastWrite;
}

void MemoryFileSystem::SetWriteTime(const std::string& path, int64_t fileTime) {
  MustNode(path, true)->lastWrite = fileTime;
}

FileId MemoryFileSystem::Id(const std::string& path) const { return MustNode(path, true)->id; }

void MemoryFileSystem::SetShortName(const std::string& path, const std::string& shortName) {
  MustNode(path, false)->shortName = shortName;
  ++shortNames_;
}

void MemoryFileSystem::SetCurrentDirectory(const std::string& path) {
  const NodePtr folder = MustNode(path, true);
  if (!folder->IsFolder()) throw std::runtime_error(path + ": not a folder");
  ErrorOr<std::string> full = FullPath(path);
  current_ = folder;
  currentPath_ = Trimmed(*full);
}

Faults& MemoryFileSystem::FaultsOf(const std::string& path) {
  return MustNode(path, false)->faults;
}

MemoryDir::MemoryDir(MemoryFileSystem& fs) : fs_(fs), path_(MemoryFileSystem::Root() + "mem") {
  fs_.MakeFolder(path_);
}

std::string MemoryDir::operator/(const std::string& relative) const {
  std::string result = path_ + kPathSeparator + relative;
  for (char& c : result)
    if (c == '/') c = kPathSeparator;
  return result;
}

}  // namespace vx::test
