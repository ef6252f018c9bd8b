// The mirror's purge: removes from the destination tree what has no
// same-named counterpart at the same place under the source. Both trees are
// walked as held folders, so a folder swapped for a link meanwhile is never
// followed, and nothing is judged missing that could not be looked at.
#include <algorithm>
#include <optional>
#include <vector>

#include "core/Purge.h"
#include "core/Selection.h"
#include "core/Text.h"

namespace vx {

namespace {

enum class Counterpart { None, File, Folder, Unknown };

class Purge {
 public:
  Purge(Session& session, std::vector<FileId> sourceChain)
      : session_(session), fs_(session.fs), sourceChain_(std::move(sourceChain)) {}

  // Empties dest (reached as destPath) of what source lacks; nothing when
  // source cannot be listed whole.
  void Mirror(const Folder& dest, const std::string& destPath, const Folder& source) {
    ErrorOr<Listing> sourceList = ListWhole(source);
    if (sourceList) Clean(dest, destPath, &source, &*sourceList);
  }

  bool InSourceChain(const FileId& id) const {
    return std::find(sourceChain_.begin(), sourceChain_.end(), id) != sourceChain_.end();
  }

 private:
  // Empties dest (reached as destPath) of what source lacks; without a
  // source, the whole folder goes. sourceList is source's complete listing.
  void Clean(const Folder& dest, const std::string& destPath, const Folder* source,
             const Listing* sourceList) {
    // Whether an entry is hidden is asked only of those the purge would act on.
    ErrorOr<Listing> entries = ListWhole(dest);
    // A destination that cannot be listed whole is left as it is.
    if (!entries) return;
    // Both listings are in name order: one pass through each.
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < entries->Count(); ++i) {
      const ListedEntry entry = entries->At(i);
      std::optional<ListedEntry> listed;
      if (source) listed = sourceList->FindNext(entry.name, cursor);
      // A file with a file of its name in the source stays, hidden or not.
      if (!entry.IsFolder() && listed && !listed->IsFolder()) continue;
      // Another run's copy in progress into this folder: never ours to take.
      if (!entry.IsFolder() && IsTemporaryName(entry.name)) continue;
      if (LeftOut(dest, entry)) continue;
      const Counterpart counterpart = CounterpartOf(source, listed, entry.name);
      if (counterpart == Counterpart::Unknown) continue;
      if (!entry.IsFolder()) {
        if (counterpart != Counterpart::File) (void)fs_.DeleteFile(dest, entry.name);
      } else if (entry.attributes & attr::ReparsePoint) {
        // A link to a folder or a mount point is never entered: only a link itself may go.
        if (counterpart != Counterpart::Folder) (void)fs_.RemoveLink(dest, entry.name);
      } else {
        Subfolder(dest, WithSeparator(destPath) + std::string(entry.name), entry.name, source,
                  counterpart);
      }
    }
  }

  // Every name of a folder, hidden ones included, unlooked at: in a source
  // folder all of them are counterparts.
  ErrorOr<Listing> ListWhole(const Folder& folder) {
    ListOptions options;
    options.includeHidden = true;
    options.withAttributes = false;
    options.withStatus = false;
    return fs_.List(folder, options);
  }

  // Whether the entry is one the purge does not see: without -H, a hidden or
  // system entry (a link has no attribute of its own: only its name hides
  // it). One that cannot be looked at is not judged either.
  bool LeftOut(const Folder& folder, const ListedEntry& entry) {
    if (session_.options.CopyHidden) return false;
    if (const std::optional<bool> hidden = ListedAsHidden(entry)) return *hidden;
    ErrorOr<uint32_t> bits = fs_.ListedAttributes(folder, entry);
    return !bits || (*bits & (attr::Hidden | attr::System)) != 0;
  }

  // What the source holds under name, listed there or not. A name missing
  // from the listing is looked up once more before it counts as missing:
  // the listing leaves out what it cannot show (special files, dangling links).
  Counterpart CounterpartOf(const Folder* source, const std::optional<ListedEntry>& listed,
                            std::string_view name) {
    if (!source) return Counterpart::None;
    if (listed) return listed->IsFolder() ? Counterpart::Folder : Counterpart::File;
    ErrorOr<EntryInfo> info = fs_.Look(*source, name);
    if (!info) return IsMissing(info.error()) ? Counterpart::None : Counterpart::Unknown;
    switch (info->kind) {
      case EntryKind::File: return Counterpart::File;
      case EntryKind::Folder: return Counterpart::Folder;
      default: return Counterpart::Unknown;  // a dangling link or special file: not judged
    }
  }

  void Subfolder(const Folder& parent, const std::string& path, std::string_view name,
                 const Folder* source, Counterpart counterpart) {
    {
      ErrorOr<Folder> dest = fs_.OpenFolder(parent, name);
      // Swapped for a link, gone or unreadable: nothing is judged below it.
      // The source itself, or a folder holding it, is never purged.
      if (!dest || InSourceChain(dest->Id())) return;
      if (counterpart == Counterpart::Folder) {
        ErrorOr<Folder> sourceSub = fs_.OpenFolder(*source, name);
        if (sourceSub) Mirror(*dest, path, *sourceSub);
        return;
      }
      Clean(*dest, path, nullptr, nullptr);
    }
    // Closed first: a held folder cannot be removed on every platform.
    const std::error_code error = fs_.RemoveFolder(parent, name);
    if (error && !IsMissing(error)) {
      ErrorOr<std::string> full = fs_.FullPath(path);
      ShowNotice(full ? *full : path);
    }
  }

  Session& session_;
  FileSystem& fs_;
  std::vector<FileId> sourceChain_;  // the source root and every folder above it
};

}  // namespace

void PurgeDestination(Session& session, const std::string& target, const std::string& reference) {
  // Under -X the run empties the source itself: "missing from the source"
  // no longer means "removed by the user", and the moved files would go.
  if (session.options.DeleteSource) return;
  FileSystem& fs = session.fs;
  // Only a folder mirrors a folder: a file or mask source, or one that is
  // missing or unreadable, would otherwise read as "delete everything".
  ErrorOr<Folder> source = fs.OpenRoot(reference);
  if (!source) return;
  ErrorOr<std::vector<FileId>> chain = fs.FolderAndParents(*source);
  if (!chain) return;
  // The destination itself is never removed, only what lies below it; and
  // a source that is the destination or lies inside it purges nothing.
  Purge purge(session, std::move(*chain));
  ErrorOr<Folder> dest = fs.OpenRoot(target);
  if (!dest || purge.InSourceChain(dest->Id())) return;
  purge.Mirror(*dest, WithoutSeparator(target), *source);
}

}  // namespace vx
