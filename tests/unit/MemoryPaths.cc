// The memory file system: paths named by the user, resolved from a root or
// the current folder, links followed.
#include "tests/unit/MemoryFileSystem.h"

#include "tests/unit/MemoryNode.h"

namespace vx::test {

using namespace memory;

ErrorOr<Folder> MemoryFileSystem::OpenRoot(const std::string& path) {
  ++calls.openRoot;
  ErrorOr<Place> place = Locate(path, true);
  if (!place) return place.error();
  if (!place->node) return Error(std::errc::no_such_file_or_directory);
  if (!place->node->IsFolder()) return Error(std::errc::not_a_directory);
  if (place->node->faults.open.Strikes()) return place->node->faults.open.error;
  return Hold(place->node, Trimmed(path));
}

ErrorOr<Folder> MemoryFileSystem::CreateRoot(const std::string& path, const Folder* like,
                                             const KeepMetadata& keep) {
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
  ErrorOr<NodePtr> made = MakeFolderIn(place->folder, place->name, like, keep);
  if (!made) return made.error();
  return Hold(*made, trimmed);
}

ErrorOr<EntryInfo> MemoryFileSystem::LookPath(const std::string& path) {
  ErrorOr<Place> place = Locate(path, false);
  if (!place) return place.error();
  if (!place->node && place->folder && place->folder->faults.lookIn.Strikes())
    return place->folder->faults.lookIn.error;
  if (!place->node) return Error(std::errc::no_such_file_or_directory);
  const std::string trimmed = Trimmed(path);
  const std::string name = trimmed.substr(FolderPartLength(trimmed));
  ErrorOr<EntryInfo> info = Describe(place->folder ? place->folder : place->node, place->node, name);
  // A root named through a link is what the link leads to.
  if (info && info->kind == EntryKind::Folder && info->link) info->attributes &= ~attr::ReparsePoint;
  return info;
}

std::error_code MemoryFileSystem::CreateDirectories(const std::string& path) {
  if (path.empty()) return Error(std::errc::no_such_file_or_directory);
  const RootPart root = RootOf(path, CurrentDrive());
  NodePtr folder = current_;
  if (root.absolute) {
    const auto found = roots_.find(root.drive);
    if (found == roots_.end()) return Error(std::errc::no_such_file_or_directory);
    folder = found->second;
  }
  // One step at a time, links followed, the missing folders made.
  for (const std::string& part : Components(path, root.length)) {
    if (part == "." || part == "..") {
      if (part == ".." && folder->removed) return Error(std::errc::no_such_file_or_directory);
      if (NodePtr parent = part == ".." ? folder->parent.lock() : nullptr) folder = parent;
      continue;
    }
    NodePtr next = Find(*folder, part);
    if (next && next->kind == kLink) {
      ErrorOr<Place> led = LocateFrom(folder, next->target, true, 1);
      if (!led) return led.error();
      if (!led->node) return Error(std::errc::no_such_file_or_directory);
      next = led->node;
    }
    if (!next) {
      ErrorOr<NodePtr> made = MakeFolderIn(folder, part, nullptr);
      if (!made) return made.error();
      next = *made;
    }
    if (!next->IsFolder()) return Error(std::errc::not_a_directory);
    folder = next;
  }
  return {};
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
  return node->Whole();
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
      file->Whole().append(bytes, 0, static_cast<std::size_t>(node->faults.writeAt));
      file->lastWrite = Tick();
      return node->faults.write.error;
    }
  }
  file->Whole() += bytes;
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

}  // namespace vx::test

namespace vx::test {

std::error_code MemoryFileSystem::RewriteFile(
    const std::string& path, const std::function<std::string(const std::string&)>& rewrite) {
  // The log itself is never followed: a link in its place is refused.
  ErrorOr<Place> place = Locate(path, false);
  if (!place) return place.error();
  const NodePtr old = place->node;
  if (!old) return Error(std::errc::no_such_file_or_directory);
  if (old->kind == kLink) return Error(std::errc::too_many_symbolic_link_levels);
  if (old->kind != kFile) return Error(std::errc::invalid_argument);
  if (const std::error_code error = ReadWhole(*old)) return error;
  return ReplaceFile(path, rewrite(old->Whole()));
}

}  // namespace vx::test
