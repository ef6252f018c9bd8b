// The mirror's purge: removes from the destination tree what has no
// same-named counterpart at the same place under the source. The tree
// walker goes through the destination; the source's counterpart of each
// folder is held beside it, so a folder swapped for a link meanwhile is
// never followed, and nothing is judged missing that could not be looked at.
#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

#include "core/Log.h"
#include "core/Purge.h"
#include "core/Selection.h"
#include "core/Text.h"
#include "core/Walker.h"

namespace vx {

namespace {

const std::string kListingFailed = "Impossible de lister le dossier ";

enum class Counterpart { None, File, Folder, Unknown };

// Every name of a folder, hidden ones included, unlooked at: in a source
// folder all of them are counterparts.
ListOptions WholeListing() {
  ListOptions options;
  options.includeHidden = true;
  options.withAttributes = false;
  options.withStatus = false;
  return options;
}

class Purge {
 public:
  explicit Purge(Session& session)
      : session_(session), fs_(session.fs), dryRun_(session.options.ListOnly != 0) {}

  // Empties dest (reached as destPath) of what source lacks; nothing when
  // source cannot be listed whole. Nothing that chain names is entered.
  void Mirror(const Folder& dest, const std::string& destPath, const Folder& source,
              std::vector<FileId> chain);

 private:
  // The source's counterpart of one destination folder.
  struct Side {
    Folder folder;
    const Folder* source = nullptr;  // nullptr: no counterpart, the whole folder goes
    ErrorOr<Listing> listing = std::error_code();
    std::size_t cursor = 0;
    bool kept = false;  // something in it stays: it cannot be removed
  };

  void Entry(TreeWalker& walker, bool folder);
  void Leave(TreeWalker& walker);
  // Deletes one file or link (under -L only names it).
  void Delete(const Folder& dest, const ListedEntry& entry, const std::string& path, bool link);
  // A deletion done (log mode 3) or, under -L, one the run would do.
  void Deleted(const std::string& path, bool folder);
  void DeletionFailed(const std::string& path, bool folder, std::error_code error);
  bool Enter(TreeWalker& walker);
  // Whether the entry is one the purge does not see: without -H, a hidden or
  // system entry (a link has no attribute of its own: only its name hides
  // it). One that cannot be looked at is not judged either.
  bool LeftOut(const Folder& folder, const ListedEntry& entry) {
    if (session_.options.CopyHidden) return false;
    if (const std::optional<bool> hidden = ListedAsHidden(entry)) return *hidden;
    ErrorOr<uint32_t> bits = fs_.ListedAttributes(folder, entry);
    return !bits || (*bits & (attr::Hidden | attr::System)) != 0;
  }
  Counterpart CounterpartOf(Side& side, const ListedEntry& entry);
  void ListingFailed(const std::string& path, std::error_code error);
  bool InSourceChain(const FileId& id) const {
    return std::find(chain_.begin(), chain_.end(), id) != chain_.end();
  }

  Session& session_;
  FileSystem& fs_;
  const bool dryRun_;          // -L: the deletions are named, none is made
  std::vector<FileId> chain_;  // the source root and every folder above it
  std::deque<Side> sides_;     // one per destination folder the walk holds
};

void Purge::Mirror(const Folder& dest, const std::string& destPath, const Folder& source,
                   std::vector<FileId> chain) {
  chain_ = std::move(chain);
  Side& top = sides_.emplace_back();
  top.source = &source;
  top.listing = fs_.List(source, WholeListing());
  if (!top.listing) return;
  WalkOptions options;
  // Whether an entry is hidden is asked only of those the purge would act on.
  options.list = WholeListing();
  TreeWalker walker(fs_, dest, WithSeparator(destPath), options);
  while (walker.Next()) {
    switch (walker.Event()) {
      case WalkEvent::EnterFolder:
        if (walker.Parent() && !Enter(walker)) {
          sides_.back().kept = true;
          walker.Skip();
        }
        break;
      case WalkEvent::File:
        Entry(walker, false);
        break;
      case WalkEvent::Link:
        Entry(walker, true);
        break;
      case WalkEvent::Unlistable:
        // A destination folder that cannot be opened or listed whole keeps
        // all it holds: the purge of it is cut short, a failure. One the
        // purge would not have entered is no failure.
        if (walker.ListingFailed() ||
            (!LeftOut(walker.Held(), walker.Entry()) &&
             CounterpartOf(sides_.back(), walker.Entry()) != Counterpart::Unknown))
          ListingFailed(walker.Path(), walker.Error());
        break;
      case WalkEvent::LeaveFolder:
        Leave(walker);
        break;
    }
  }
}

void Purge::Leave(TreeWalker& walker) {
  const bool goes = sides_.back().source == nullptr;
  const bool kept = sides_.back().kept;
  sides_.pop_back();
  if (!walker.Parent()) return;
  // A folder with one inside that could not be listed is not empty:
  // that failure is reported once, not again for each folder above it.
  bool removed = false;
  if (goes && walker.Complete()) {
    const std::string path = WithoutTrailingSeparators(walker.Path());
    if (dryRun_) {
      // What the run would remove: a folder it would have emptied.
      if (!kept) Deleted(path, true);
      removed = !kept;
    } else {
      const std::error_code error = walker.RemoveFolder();
      removed = !error || IsMissing(error);
      if (!error) {
        Deleted(path, true);
      } else if (!IsMissing(error)) {
        DeletionFailed(path, true, error);
        ErrorOr<std::string> full = fs_.FullPath(path);
        ShowNotice(full ? *full : path);
      }
    }
  }
  if (!removed) sides_.back().kept = true;
}

void Purge::Delete(const Folder& dest, const ListedEntry& entry, const std::string& path,
                   bool link) {
  if (dryRun_) return Deleted(path, false);
  const std::error_code error =
      link ? fs_.RemoveLink(dest, entry.name) : fs_.DeleteFile(dest, entry.name);
  if (!error) return Deleted(path, false);
  if (IsMissing(error)) return;
  sides_.back().kept = true;
  DeletionFailed(path, false, error);
}

void Purge::Deleted(const std::string& path, bool folder) {
  const CopyRec& o = session_.options;
  if (dryRun_) {
    if (!o.Quiet)
      session_.Report(ReportPurgeListed, Utf8ToAnsi(folder ? "Dossier à supprimer : "
                                                           : "À supprimer : ") + Quoted(path));
    return;
  }
  if (o.LogMode == 3)
    session_.Log(Utf8ToAnsi(folder ? "Dossier supprimé : " : "Supprimé : ") +
                     Quoted(LogName(path)) + ".",
                 true, false);
}

// A deletion that failed: named with its reason, and logged under mode 3 (not
// counted, so that exit codes stay those of runs that did not log it).
void Purge::DeletionFailed(const std::string& path, bool folder, std::error_code error) {
  const std::string text = std::string(folder ? "Impossible de supprimer le dossier "
                                              : "Impossible de supprimer le fichier ");
  const CopyRec& o = session_.options;
  if (o.LogMode == 3)
    session_.Log(WithLoggedReason(o, text + Quoted(LogName(path)) + ".", error), true, false);
  session_.TellFailure(text + Quoted(path) + ".", error, false);
}

// A file, or a link to a folder, of a destination folder.
void Purge::Entry(TreeWalker& walker, bool link) {
  Side& side = sides_.back();
  const ListedEntry& entry = walker.Entry();
  const Folder& dest = walker.Held();
  std::optional<ListedEntry> listed;
  if (side.source) listed = side.listing->FindNext(entry.name, side.cursor);
  if (!link) {
    // A file with a file of its name in the source stays, hidden or not.
    if (listed && !listed->IsFolder()) return;
    // Another run's copy in progress into this folder: never ours to take.
    if (IsTemporaryName(entry.name)) {
      side.kept = true;
      return;
    }
  }
  if (LeftOut(dest, entry)) {
    side.kept = true;
    return;
  }
  const Counterpart counterpart = listed ? (listed->IsFolder() ? Counterpart::Folder
                                                               : Counterpart::File)
                                         : CounterpartOf(side, entry);
  if (counterpart == Counterpart::Unknown) {
    side.kept = true;
    return;
  }
  if (!link) {
    if (counterpart != Counterpart::File) Delete(dest, entry, walker.Path(), false);
  } else if (counterpart != Counterpart::Folder) {
    // A link to a folder or a mount point is never entered: only a link itself may go.
    Delete(dest, entry, walker.Path(), true);
  }
}

// Whether a destination subfolder is walked, with its source counterpart
// held beside it; nothing is judged below one that is not.
bool Purge::Enter(TreeWalker& walker) {
  Side& parent = sides_.back();
  const ListedEntry& entry = walker.Entry();
  if (LeftOut(*walker.Parent(), entry)) return false;
  const Counterpart counterpart = CounterpartOf(parent, entry);
  // The source itself, or a folder holding it, is never purged.
  if (counterpart == Counterpart::Unknown || InSourceChain(walker.Held().Id())) return false;
  Side side;
  if (counterpart == Counterpart::Folder) {
    ErrorOr<Folder> source = fs_.OpenFolder(*parent.source, entry.name);
    if (!source) return false;
    side.folder = std::move(*source);
    side.listing = fs_.List(side.folder, WholeListing());
    // A source folder that cannot be listed whole: nothing is judged below it.
    if (!side.listing) return false;
  }
  Side& pushed = sides_.emplace_back(std::move(side));
  if (counterpart == Counterpart::Folder) pushed.source = &pushed.folder;
  return true;
}

// What the source holds under a name, listed there or not. A name missing
// from the listing is looked up once more before it counts as missing: the
// listing leaves out what it cannot show (special files, dangling links).
Counterpart Purge::CounterpartOf(Side& side, const ListedEntry& entry) {
  if (!side.source) return Counterpart::None;
  if (std::optional<ListedEntry> listed = side.listing->Find(entry.name))
    return listed->IsFolder() ? Counterpart::Folder : Counterpart::File;
  const Lookup found(fs_.Look(*side.source, entry.name));
  if (found.Absent()) return Counterpart::None;
  if (found.Unknown()) return Counterpart::Unknown;
  switch (found.Info().kind) {
    case EntryKind::File: return Counterpart::File;
    case EntryKind::Folder: return Counterpart::Folder;
    default: return Counterpart::Unknown;  // a dangling link or special file: not judged
  }
}

void Purge::ListingFailed(const std::string& path, std::error_code error) {
  const std::string folder = WithoutTrailingSeparators(path);
  // A listing (-L) changes no exit code: the folder is only named.
  if (dryRun_) return session_.TellFailure(kListingFailed + Quoted(folder) + ".", error, false);
  const std::string line = kListingFailed + Quoted(LogName(folder)) + ".";
  session_.Log(WithLoggedReason(session_.options, line, error), true, true);
  const std::string text = kListingFailed + Quoted(folder) + ".";
  const bool shown = !session_.options.Silent && session_.callbacks.showError;
  if (shown) session_.callbacks.showError(text.c_str());
  session_.TellFailure(text, error, shown);
}

// Whether the source may lie inside the destination where climbing from the
// source cannot tell: both on one file system, reached through different
// mounts of it (a bind mount), ".." stops at the top of the source's mount.
// The destination is then searched for the source, or a folder above it
// below that top. In doubt, true.
bool SourceHidesInside(FileSystem& fs, const Folder& dest, const Folder& source,
                       const std::vector<FileId>& chain) {
  if (dest.Id().device != source.Id().device) return false;
  ErrorOr<FileId> sourceTop = fs.MountTop(source);
  ErrorOr<FileId> destTop = fs.MountTop(dest);
  if (!sourceTop || !destTop) return true;
  if (*sourceTop == *destTop) return false;
  std::vector<FileId> above;
  for (const FileId& id : chain) {
    above.push_back(id);
    if (id == *sourceTop) break;
  }
  WalkOptions options;
  options.list = WholeListing();
  TreeWalker walker(fs, dest, dest.Path(), options);
  while (walker.Next()) {
    if (walker.Event() == WalkEvent::Unlistable) return true;
    if (walker.Event() == WalkEvent::EnterFolder &&
        std::find(above.begin(), above.end(), walker.Held().Id()) != above.end())
      return true;
  }
  return false;
}

}  // namespace

void PurgeDestination(Session& session, const Folder& dest, const std::string& destPath,
                      const Folder& source) {
  // Under -X the run empties the source itself: "missing from the source"
  // no longer means "removed by the user", and the moved files would go.
  if (session.options.DeleteSource) return;
  ErrorOr<std::vector<FileId>> chain = session.fs.FolderAndParents(source);
  if (!chain) return;
  // The destination itself is never removed, only what lies below it; and
  // a source that is the destination or lies inside it purges nothing.
  if (std::find(chain->begin(), chain->end(), dest.Id()) != chain->end()) return;
  if (SourceHidesInside(session.fs, dest, source, *chain)) return;
  Purge(session).Mirror(dest, WithoutTrailingSeparators(destPath), source, std::move(*chain));
}

void PurgeDestination(Session& session, const std::string& target, const std::string& reference) {
  // Only a folder mirrors a folder: a file or mask source, or one that is
  // missing or unreadable, would otherwise read as "delete everything".
  ErrorOr<Folder> source = session.fs.OpenRoot(reference);
  if (!source) return;
  ErrorOr<Folder> dest = session.fs.OpenRoot(target);
  if (dest) PurgeDestination(session, *dest, target, *source);
}

}  // namespace vx
