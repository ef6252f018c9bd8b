// Held folders' path text, listings and the file system's default
// operations: the same on every platform.
#include <algorithm>

#include "platform/Platform.h"

namespace vx {

// ---- Held folders and listings ------------------------------------------------------

std::string Folder::PathOf(std::string_view name) const {
  std::string path = path_;
  if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
  path.append(name.data(), name.size());
  return path;
}

namespace {
constexpr uint8_t kLinkFlag = 1;
constexpr uint8_t kAttributesReadFlag = 2;
}  // namespace

void Listing::Reserve(std::size_t entries, std::size_t nameBytes, std::size_t entriesWithStatus) {
  records_.reserve(entries);
  arena_.reserve(nameBytes);
  status_.reserve(entriesWithStatus);
}

void Listing::Add(std::string_view name, std::string_view shortName, const ListedEntry& data) {
  Record record;
  record.nameOffset = static_cast<uint32_t>(arena_.size());
  record.nameLength = static_cast<uint16_t>(std::min<std::size_t>(name.size(), 0xFFFF));
  record.shortLength = static_cast<uint8_t>(std::min<std::size_t>(shortName.size(), 0xFF));
  record.flags = static_cast<uint8_t>((data.link ? kLinkFlag : 0) |
                                      (data.attributesRead ? kAttributesReadFlag : 0));
  record.attributes = data.attributes;
  record.status = kNoStatus;
  if (data.statusRead) {
    record.status = static_cast<uint32_t>(status_.size());
    status_.push_back(Status{data.size, data.lastWrite, data.fileIndex});
  }
  arena_.append(name.data(), record.nameLength);
  arena_ += '\0';
  if (record.shortLength > 0) {
    arena_.append(shortName.data(), record.shortLength);
    arena_ += '\0';
  }
  records_.push_back(record);
  sortedByName_ = false;
  byName_.clear();
}

ListedEntry Listing::At(std::size_t i) const {
  const Record& r = records_[i];
  ListedEntry entry;
  entry.name = NameAt(r);
  if (r.shortLength > 0)
    entry.shortName = std::string_view(arena_.data() + r.nameOffset + r.nameLength + 1, r.shortLength);
  entry.attributes = r.attributes;
  entry.link = (r.flags & kLinkFlag) != 0;
  entry.attributesRead = (r.flags & kAttributesReadFlag) != 0;
  entry.statusRead = r.status != kNoStatus;
  if (entry.statusRead) {
    const Status& status = status_[r.status];
    entry.size = status.size;
    entry.lastWrite = status.lastWrite;
    entry.fileIndex = status.fileIndex;
  }
  return entry;
}

void Listing::SortByName() {
  std::sort(records_.begin(), records_.end(),
            [this](const Record& a, const Record& b) { return NameAt(a) < NameAt(b); });
  sortedByName_ = true;
  byName_.clear();
}

std::optional<ListedEntry> Listing::Find(std::string_view name) const {
  std::size_t cursor = 0;
  if (sortedByName_ && kFileNamesCaseSensitive) {
    // Byte order is the file system's own order where names keep their
    // case: the sorted records are searched as they are.
    const auto found = std::lower_bound(
        records_.begin(), records_.end(), name,
        [this](const Record& r, std::string_view wanted) { return NameAt(r) < wanted; });
    cursor = static_cast<std::size_t>(found - records_.begin());
    return FindNext(name, cursor);
  }
  if (byName_.size() != records_.size()) {
    byName_.resize(records_.size());
    for (uint32_t i = 0; i < byName_.size(); ++i) byName_[i] = i;
    std::sort(byName_.begin(), byName_.end(), [this](uint32_t a, uint32_t b) {
      return CompareFileNames(NameAt(records_[a]), NameAt(records_[b])) < 0;
    });
  }
  const auto found = std::lower_bound(
      byName_.begin(), byName_.end(), name, [this](uint32_t i, std::string_view wanted) {
        return CompareFileNames(NameAt(records_[i]), wanted) < 0;
      });
  if (found == byName_.end() || CompareFileNames(NameAt(records_[*found]), name) != 0)
    return std::nullopt;
  return At(*found);
}

std::optional<ListedEntry> Listing::FindNext(std::string_view name, std::size_t& cursor) const {
  if (!sortedByName_ || !kFileNamesCaseSensitive) return Find(name);
  while (cursor < records_.size() && NameAt(records_[cursor]) < name) ++cursor;
  if (cursor < records_.size() && NameAt(records_[cursor]) == name) return At(cursor);
  return std::nullopt;
}

std::size_t Listing::BytesUsed() const {
  return arena_.capacity() + records_.capacity() * sizeof(Record) +
         status_.capacity() * sizeof(Status) + byName_.capacity() * sizeof(uint32_t);
}

ErrorOr<uint32_t> FileSystem::ListedAttributes(const Folder& folder, const ListedEntry& entry) {
  if (entry.attributesRead || entry.link) return entry.attributes;
  return GetAttributes(folder, entry.name);
}

std::error_code FileSystem::CopyFile(const Folder& from, std::string_view name, const Folder& to,
                                     std::string_view targetName) {
  return CopyFile(from, name, to, targetName, CopyAttributes());
}

bool FileSystem::MayChangeOwners() { return true; }

ErrorOr<std::unique_ptr<HeldFile>> PreparedCopy::HoldCopy() {
  return std::make_error_code(std::errc::operation_not_supported);
}

ErrorOr<SourceState> PreparedCopy::SourceNow() {
  return std::make_error_code(std::errc::operation_not_supported);
}

ErrorOr<std::unique_ptr<HeldFile>> FileSystem::HoldFile(const Folder&, std::string_view) {
  return std::make_error_code(std::errc::operation_not_supported);
}

std::error_code FileSystem::LinkFile(const HeldFile&, const Folder&, std::string_view, bool) {
  return std::make_error_code(std::errc::operation_not_supported);
}

ErrorOr<FileId> FileSystem::MountTop(const Folder& folder) {
  ErrorOr<std::vector<FileId>> chain = FolderAndParents(folder);
  if (!chain) return chain.error();
  return chain->back();
}

std::error_code FileSystem::RemoveRoot(Folder& folder) {
  const std::string& path = folder.Path();
  const std::size_t part = FolderPartLength(path);
  const std::string name = path.substr(part);
  if (name.empty() || name == "." || name == "..")
    return std::make_error_code(std::errc::invalid_argument);
  ErrorOr<Folder> parent = OpenRoot(part == 0 ? std::string(".") : path.substr(0, part));
  if (!parent) return parent.error();
  // Held, the parent keeps this name where it is; the name must still lead
  // to the folder the run emptied.
  ErrorOr<EntryInfo> entry = Look(*parent, name);
  if (!entry) return entry.error();
  if (entry->kind != EntryKind::Folder || entry->link || entry->id != folder.Id())
    return std::make_error_code(std::errc::no_such_file_or_directory);
  folder.Close();
  return RemoveFolder(*parent, name);
}
std::error_code FileSystem::CopyFile(const Folder& from, std::string_view name, const Folder& to,
                                     std::string_view targetName, const CopyAttributes& attributes) {
  CopyRequest request;
  request.attributes = attributes;
  ErrorOr<std::unique_ptr<PreparedCopy>> prepared = PrepareCopy(from, name, to, targetName, request);
  if (!prepared) return prepared.error();
  return (*prepared)->Commit();
}

bool IsSourceChanged(std::error_code error) { return error && error == SourceChangedError(); }

}  // namespace vx
