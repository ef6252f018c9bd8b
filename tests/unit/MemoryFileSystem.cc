// The memory file system: its tree of nodes, the folders it holds, and
// what tests do to it by path.
#include "tests/unit/MemoryFileSystem.h"

#include <cctype>
#include <stdexcept>

#include "tests/unit/MemoryNode.h"

namespace vx::test {

using namespace memory;

namespace {

constexpr std::size_t kNameMax = 255;
// 1 January 2024, 00:00 UTC: an even second, so that two-second steps stay
// on the steps of packed DOS time.
constexpr int64_t kFirstUnixTime = 1704067200;

// The entry of a name: by its name as the file system compares names, else
// by its short name.
auto EntryIn(const Node& folder, std::string_view name, bool shortNames) {
  auto found = folder.entries.find(name);
  if (found == folder.entries.end() && shortNames) {
    found = std::find_if(folder.entries.begin(), folder.entries.end(), [&](const auto& entry) {
      return !entry.second->shortName.empty() &&
             CompareFileNames(entry.second->shortName, name) == 0;
    });
  }
  return found;
}

}  // namespace

namespace memory {

std::error_code CheckName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos ||
      std::any_of(name.begin(), name.end(), IsPathSeparator))
    return Error(std::errc::invalid_argument);
  if (name.size() > kNameMax) return Error(std::errc::filename_too_long);
  return {};
}

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

}  // namespace memory

bool Fault::Strikes() {
  if (!error || times == 0) return false;
  if (times > 0) --times;
  return true;
}

// ---- The tree ---------------------------------------------------------------------

std::string MemoryFileSystem::Root() { return Windows() ? "C:\\" : "/"; }

MemoryFileSystem::MemoryFileSystem() : clock_(*FileTimeFromUnix(kFirstUnixTime, 0)) {
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
  const auto found = EntryIn(folder, name, shortNames_ > 0);
  return found == folder.entries.end() ? nullptr : found->second;
}

// Takes the name away (the entry was found there).
void MemoryFileSystem::Drop(Node& folder, std::string_view name) {
  const auto entry = EntryIn(folder, name, shortNames_ > 0);
  if (entry != folder.entries.end()) --entry->second->links;
  folder.entries.erase(entry);
}

void MemoryFileSystem::Put(const NodePtr& folder, std::string_view name, NodePtr node) {
  if (node->IsFolder()) node->parent = folder;
  const auto taken = folder->entries.find(name);
  if (taken != folder->entries.end()) {
    --taken->second->links;
    folder->entries.erase(taken);
  }
  ++node->links;
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

ErrorOr<MemoryFileSystem::Named> MemoryFileSystem::Entry(const Folder& folder, std::string_view name) const {
  ErrorOr<NodePtr> held = Held(folder);
  if (!held) return held.error();
  if (const std::error_code error = CheckName(name)) return error;
  NodePtr node = Find(**held, name);
  if (!node) return Error(std::errc::no_such_file_or_directory);
  return Named{*held, std::move(node)};
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
  place.node->zeros = 0;
  place.node->lastWrite = place.node->lastAccess = Tick();
}

std::string MemoryFileSystem::Read(const std::string& path) const {
  ErrorOr<Place> place = Locate(path, true);
  std::error_code error = place ? std::error_code() : place.error();
  if (!error && !place->node) error = Error(std::errc::no_such_file_or_directory);
  if (!error && place->node->kind != kFile) error = Error(std::errc::is_a_directory);
  return error ? "<" + error.message() + ">" : place->node->Whole();
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
  Drop(*place.folder, place.name);
  if (place.node->IsFolder()) MarkRemoved(*place.node);
}

void MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  Place source = Must(from, false);
  Place target = Must(to, false);
  if (!source.node || !source.folder || !target.folder || CheckName(target.name))
    throw std::runtime_error(from + " -> " + to + ": cannot rename");
  Drop(*source.folder, source.name);
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

void MemoryFileSystem::Resize(const std::string& path, uint64_t size) {
  const NodePtr file = MustNode(path, true);
  if (file->kind != kFile) throw std::runtime_error(path + ": not a file");
  file->Whole();
  if (size < file->bytes.size()) file->bytes.resize(static_cast<std::size_t>(size));
  file->zeros = size - file->bytes.size();
  file->lastWrite = Tick();
}

int MemoryFileSystem::Mode(const std::string& path) const { return MustNode(path, true)->mode; }

void MemoryFileSystem::SetMode(const std::string& path, int mode) {
  MustNode(path, true)->mode = mode & 07777;
}

int MemoryFileSystem::Owner(const std::string& path) const { return MustNode(path, true)->owner; }

void MemoryFileSystem::SetOwner(const std::string& path, int owner) { MustNode(path, true)->owner = owner; }

std::map<std::string, std::string>& MemoryFileSystem::Xattrs(const std::string& path) {
  return MustNode(path, true)->xattrs;
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
