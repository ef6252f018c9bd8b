// The tree copy: walks one source folder (or mask), copies, moves, lists or
// deletes the selected files into one destination, and recurses. Each folder
// of either tree is held open while the walk works in it, and every file
// operation names a file relative to its held folder: a folder swapped for a
// link meanwhile is never followed. The texts (names shown, log lines) are
// built alongside, as the user's paths.
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "core/CommandLine.h"
#include "core/CopyAhead.h"
#include "core/Log.h"
#include "core/Selection.h"
#include "core/Text.h"
#include "core/TreeCopy.h"
#include "core/Walker.h"
#include "support/md5.h"

namespace vx {

namespace {

const std::string kCopyErrorText = "Erreur lors de la copie de ";

// Work ahead of the walk: files posted, and bytes of the copies prepared
// and not yet named, for each thread. A file larger than AheadFileBytes is
// copied by the walk itself: its temporary file would hold much, and it
// reports its progress as it goes (pieces of 16 MiB on Linux, 1 MiB on
// Windows and for digests: smaller files report only their start and end).
constexpr std::size_t kAheadFilesPerThread = 4;
constexpr int64_t kAheadBytes = int64_t{64} << 20;
int64_t AheadFileBytes(bool progress) { return (progress ? int64_t{1} : int64_t{16}) << 20; }

// What became of one file entry.
enum class FileOutcome { Skipped, Selected, Done, Leave };

// One source folder of the walk and its destination counterpart, which is
// opened, or created, only when a file or a rule needs it. Level 0 is the
// root, whose counterpart is the pair's held destination root.
struct Level {
  using Dest = HeldRoot::State;

  std::size_t index = 0;
  const Folder* source = nullptr;
  std::string destName;  // the counterpart's name in the parent's (short name under -N)
  Folder ownDest;        // below the root
  Folder* dest = nullptr;
  Dest destState = Dest::Unknown;
  std::error_code destError;   // why the counterpart is not open, where known
  bool destMadeHere = false;   // created by this walk: it holds only what the walk put there
  bool wasFolder = true;       // the source named a folder (the root may be a mask)
  bool abandoned = false;      // a failure or a cancellation left it mid-way
  int32_t done = 0;
  bool anySelected = false;
};

// A file of the source with several names (-HARDLINKS), met in this walk:
// its later names are linked to the copy of the first, never copied again.
// Kept while names of it may still come: dropped once as many were met as
// it had, so memory grows only with the multi-link files seen.
struct LinkGroup {
  std::unique_ptr<HeldFile> copy;  // the destination file the later names become
  // Under -X: the first copy, which holds the source open, and the status
  // its last deleted name left it in (each deletion changes it).
  std::unique_ptr<PreparedCopy> moved;
  SourceState source;
  uint32_t namesLeft = 0;
};

struct FileIdHash {
  std::size_t operator()(const FileId& id) const {
    return std::hash<uint64_t>()(id.index) ^ (std::hash<uint64_t>()(id.device) << 1);
  }
};

// What the walk has published, for the work ahead, of the folder it walks
// and of its destination counterpart.
struct AheadView {
  const Folder* source = nullptr;
  Level::Dest destState = Level::Dest::Unknown;
  const Folder* dest = nullptr;  // when Open
  std::error_code destError;
  bool destMadeHere = false;
  bool toNull = false;
};

class Target;

// One walk from a top source folder or mask into one destination root.
class TreeWalk {
 public:
  TreeWalk(Session& session, HeldRoot& dest)
      : s_(session), fs_(session.fs), o_(session.options), destRoot_(dest),
        toNull_(dest.path == "NUL") {
    // Where the process may not give owners, copies stay its own, as
    // without -OWNER: the run said so once at its start.
    keep_.owner = session.extras.keepOwner && fs_.MayChangeOwners();
    keep_.xattrs = session.extras.copyXattrs;
    // A listing, a tree-only run or a deletion towards NUL makes no copy to link to.
    linking_ = session.extras.hardLinks && !toNull_ && !o_.ListOnly && !o_.TreeOnly;
  }

  CopyResult Run(const TreeSource& source);

 private:
  friend class Target;
  bool Follows() const {
    return o_.CopySubdirs || o_.CopyEmptySubdirs || o_.ListOnly || o_.TreeOnly;
  }
  // Whether a source folder or file that cannot be read is a failed copy:
  // not for a listing (-L) nor a copy to NUL.
  bool UnreadableFails() const { return !toNull_ && !o_.ListOnly; }
  // Whether an entry is left out as hidden or system (without -H).
  bool LeftOut(const Folder& folder, const ListedEntry& entry);
  std::string DestFor(const std::string& path) const;
  void SetDestFor(const std::string& path, std::string& dest) const;
  const Folder* OpenDest(std::size_t index);
  const Folder* EnsureDest(std::size_t index);
  void Opened(Level& level, ErrorOr<Folder>& opened, bool made);
  void Leave(TreeWalker& walker, CopyResult& result);
  // Work ahead of the walk (CopyAhead): what the walk publishes of the
  // folder it walks, the files it posts, and the work done for each.
  void Publish(const Level& level);
  AheadView View();
  void Refill(TreeWalker& walker, Level& level);
  void Retire();
  CopyAhead::Step WorkAhead(AheadFile& file);
  CopyRequest RequestFor(const CopyRec& options, const ListedEntry& entry) const;
  FileOutcome File(Level& level, const ListedEntry& entry, const std::string& sourcePath,
                   const std::string& destPath, AheadFile* ahead);
  // One name of a file with several (-HARDLINKS), as the walk meets it.
  struct LinkedName {
    FileId id;
    uint32_t links = 0;  // 0: not a file of several names
    EntryInfo info;
    LinkGroup* group = nullptr;  // its group, when an earlier name made one
  };
  FileOutcome CopyFile(Level& level, const ListedEntry& entry, const std::string& sourcePath,
                       const std::string& destPath, LinkedName& linked, AheadFile* ahead);
  void Anchor(Level& level, std::string_view destName, Target& target, const LinkedName& linked);
  FileOutcome CopyFailed(const std::string& sourcePath, const std::string& destPath,
                         std::error_code error);
  bool DigestsAgree(PreparedCopy& copy, const std::string& sourcePath, const std::string& destPath,
                    int64_t size, const std::pair<Md5Digest, Md5Digest>* known);
  FileOutcome DeleteSource(Level& level, const ListedEntry& entry, PreparedCopy* copy,
                           const std::string& sourcePath, const std::string& destPath,
                           const SourceState* expected = nullptr);
  void ShowName(const std::string& sourcePath, const std::string& destPath);
  void ShowError(const std::string& text);
  std::string_view NameFor(const ListedEntry& entry) const {
    return o_.ShortNames ? entry.ShortOrName() : entry.name;
  }

  Session& s_;
  FileSystem& fs_;
  const CopyRec& o_;
  HeldRoot& destRoot_;
  const bool toNull_;
  KeepMetadata keep_;  // what copies and new folders keep of their sources
  bool linking_ = false;  // -HARDLINKS
  std::unordered_map<FileId, LinkGroup, FileIdHash> groups_;
  std::string sourceRoot_;  // the top folder's path, where the relative part begins
  std::deque<Level> levels_;  // one per folder the walk holds, the root first

  // Work ahead: none when files go one at a time. The pool's threads read
  // options of their own (the walk may clear PromptCreate), and the view.
  CopyAhead* ahead_ = nullptr;
  CopyRec aheadOptions_{};
  std::mutex viewMutex_;
  AheadView view_;
  const Level* viewLevel_ = nullptr;  // the level view_ shows
  std::size_t nextAhead_ = 0;         // the listing position to post next
};

// The destination file of one source file, looked up once, when the
// selection asks.
class Target : public TargetLookup {
 public:
  Target(TreeWalk& walk, Level& level, std::string_view name)
      : walk_(walk), level_(level), name_(name) {}
  // A later name of a group of hard links: a file in the target's place
  // that is not the group's copy reads as none, so the name is linked
  // anew (a group whose names became separate files is mended).
  void LinkedTo(const FileId& copy) { groupCopy_ = copy; }
  // The answer a look-up ahead of the walk found.
  void Preset(const Lookup& found) {
    looked_ = true;
    answer_ = found;
    Grouped();
  }
  const Lookup& Find() override {
    if (!looked_) {
      looked_ = true;
      // A folder this walk has just made holds no earlier file of this name.
      if (walk_.toNull_ || level_.destMadeHere) return answer_;
      if (const Folder* dest = walk_.OpenDest(level_.index)) {
        answer_ = Lookup(walk_.fs_.Look(*dest, name_));
        Grouped();
      } else if (level_.destState == Level::Dest::Refused) {
        // A folder that is a link, or that could not be opened: nothing in
        // it can be told, which is not "nothing there".
        answer_ = Lookup(ErrorOr<EntryInfo>(level_.destError));
      }
    }
    return answer_;
  }

 private:
  TreeWalk& walk_;
  Level& level_;
  void Grouped() {
    if (groupCopy_ && answer_.IsFile() && !answer_.Info().link && answer_.Info().id != *groupCopy_)
      answer_ = Lookup();
  }

  std::string_view name_;
  std::optional<FileId> groupCopy_;
  bool looked_ = false;
  Lookup answer_;
};

// The destination file of one file ahead of the walk: looked up as Target
// does, from what the walk has published of the folder.
class AheadTarget : public TargetLookup {
 public:
  AheadTarget(FileSystem& fs, const AheadView& view, std::string_view name, std::optional<Lookup>& answer)
      : fs_(fs), view_(view), name_(name), answer_(answer) {}
  const Lookup& Find() override {
    if (!answer_) {
      if (view_.toNull || view_.destMadeHere || view_.destState == Level::Dest::Missing)
        answer_ = Lookup();
      else if (view_.destState == Level::Dest::Open)
        answer_ = Lookup(fs_.Look(*view_.dest, name_));
      else
        answer_ = Lookup(ErrorOr<EntryInfo>(view_.destError));
    }
    return *answer_;
  }

 private:
  FileSystem& fs_;
  const AheadView& view_;
  std::string_view name_;
  std::optional<Lookup>& answer_;
};

// The destination path of a source path: the destination root followed by
// the part relative to the source root, starting at the root's separator.
std::string TreeWalk::DestFor(const std::string& path) const {
  std::string dest;
  SetDestFor(path, dest);
  return dest;
}

// The same into a buffer the walk reuses from file to file.
void TreeWalk::SetDestFor(const std::string& path, std::string& dest) const {
  const std::size_t from = std::min(sourceRoot_.empty() ? 0 : sourceRoot_.size() - 1, path.size());
  dest.assign(destRoot_.path);
  dest.append(path, from, std::string::npos);
}

bool TreeWalk::LeftOut(const Folder& folder, const ListedEntry& entry) {
  if (o_.CopyHidden) return false;
  const std::optional<bool> hidden = ListedAsHidden(entry);
  if (hidden) return *hidden;
  return SourceFile(fs_, folder, entry, false).LeftOut();
}

void TreeWalk::Opened(Level& level, ErrorOr<Folder>& opened, bool made) {
  if (opened) {
    *level.dest = std::move(*opened);
    level.destState = Level::Dest::Open;
    level.destMadeHere = made;
    if (level.index == 0) destRoot_.madeHere = made;
    // The files waiting for this folder may be prepared now.
    if (ahead_ && viewLevel_ == &level) {
      Publish(level);
      ahead_->Resume();
    }
  } else {
    // Why a creation failed too: the reason of the failed copies it causes.
    level.destError = opened.error();
    if (!made)
      level.destState = IsMissing(opened.error()) ? Level::Dest::Missing : Level::Dest::Refused;
  }
  if (level.index == 0) {
    destRoot_.state = level.destState;
    destRoot_.error = level.destError;
  }
}

// The destination folder of a level if it exists, without creating it. A
// link or mount point in its place (or above it) is refused, never entered.
// Levels are opened from the top down, without recursion: a tree may be deep.
const Folder* TreeWalk::OpenDest(std::size_t index) {
  std::size_t known = index;
  while (known > 0 && levels_[known].destState == Level::Dest::Unknown) --known;
  if (levels_[known].destState == Level::Dest::Unknown) {
    // Only the root: the pair opens it before the walk.
    OpenHeldRoot(fs_, destRoot_);
    levels_[0].destState = destRoot_.state;
    levels_[0].destError = destRoot_.error;
  }
  for (std::size_t i = known + 1; i <= index; ++i) {
    Level& parent = levels_[i - 1];
    Level& level = levels_[i];
    if (parent.destState != Level::Dest::Open) {
      level.destState = parent.destState;
      level.destError = parent.destError;
      continue;
    }
    ErrorOr<Folder> opened = fs_.OpenFolder(*parent.dest, level.destName);
    Opened(level, opened, false);
  }
  const Level& level = levels_[index];
  return level.destState == Level::Dest::Open ? level.dest : nullptr;
}

// The destination folder of a level, created with its missing parents, each
// with the permission bits of its source folder. nullptr when it cannot be.
const Folder* TreeWalk::EnsureDest(std::size_t index) {
  if (const Folder* open = OpenDest(index)) return open;
  if (levels_[index].destState == Level::Dest::Refused) return nullptr;
  std::size_t first = index;
  while (first > 0 && levels_[first - 1].destState != Level::Dest::Open) --first;
  for (std::size_t i = first; i <= index; ++i) {
    Level& level = levels_[i];
    ErrorOr<Folder> made = i == 0 ? fs_.CreateRoot(destRoot_.path, level.source, keep_)
                                  : fs_.CreateFolder(*levels_[i - 1].dest, level.destName,
                                                     level.source, keep_);
    Opened(level, made, true);
    if (!made) return nullptr;
  }
  return levels_[index].dest;
}

CopyResult TreeWalk::Run(const TreeSource& source) {
  sourceRoot_ = source.folderPath;
  CopyResult result;
  if (!source.root || !source.root->IsOpen()) {
    // A folder that cannot be opened is a failed copy, not an empty folder.
    if (source.wasFolder && UnreadableFails())
      CopyFailed(source.folderPath, DestFor(source.folderPath), source.root ? source.root->error
                                                                             : std::error_code());
    return result;
  }
  // Known from the start where it exists, so that the walk never enters it.
  if (!toNull_ && destRoot_.state == HeldRoot::State::Unknown) OpenHeldRoot(fs_, destRoot_);
  // Hidden entries are listed too, and left out here: where telling one
  // costs a read per entry (Linux), a file is asked only once something
  // depends on it (SourceFile::LeftOut). The DOS bits are read with the
  // listing only where a test needs them; the copy reads its own. Sizes and
  // times only when the selection needs them.
  WalkOptions options;
  options.list.includeHidden = true;
  options.list.withAttributes = o_.ArchiveOnly || o_.ArchiveClear || o_.OverwriteReadOnly;
  options.list.withStatus = false;
  options.list.mask = source.mask;
  options.descend = Follows();
  options.shortNames = o_.ShortNames != 0;
  TreeWalker walker(fs_, source.root->folder, source.folderPath, options);
  // Declared after the walker: dropped, its work waited for, before the
  // listings and folders that work reads.
  std::unique_ptr<CopyAhead> ahead;
  if (s_.pool && s_.poolThreads > 1) {
    aheadOptions_ = o_;
    ahead = std::make_unique<CopyAhead>(*s_.pool, kAheadFilesPerThread * static_cast<std::size_t>(s_.poolThreads),
                                        kAheadBytes, [this](AheadFile& file) { return WorkAhead(file); });
    ahead_ = ahead.get();
  }
  // One buffer for the entries' destination paths.
  std::string destPath = toNull_ ? std::string("NUL") : std::string();
  while (walker.Next()) {
    switch (walker.Event()) {
      case WalkEvent::EnterFolder: {
        Retire();
        if (const Folder* parent = walker.Parent()) {
          if (LeftOut(*parent, walker.Entry())) {
            walker.Skip();
            break;
          }
          // A destination inside the source is not walked again as source,
          // so a copy never copies its own output.
          if (!toNull_ && destRoot_.IsOpen() && walker.Held().Id() == destRoot_.folder.Id()) {
            walker.Skip();
            break;
          }
        }
        Level& level = levels_.emplace_back();
        level.index = levels_.size() - 1;
        level.source = &walker.Held();
        if (level.index == 0) {
          level.dest = &destRoot_.folder;
          level.destState = destRoot_.state;
          level.destError = destRoot_.error;
          level.destMadeHere = destRoot_.madeHere;
          level.wasFolder = source.wasFolder;
        } else {
          level.dest = &level.ownDest;
          level.destName = std::string(NameFor(walker.Entry()));
        }
        break;
      }
      case WalkEvent::Unlistable: {
        Level& level = levels_.back();
        if (walker.ListingFailed()) {
          // A folder that cannot be listed, or whose listing fails part-way,
          // is a failed copy: never an empty or a complete folder. A mask
          // lists what it matches.
          if (!level.wasFolder || !UnreadableFails()) break;
        } else if (LeftOut(walker.Held(), walker.Entry()) || !UnreadableFails()) {
          // A subfolder that could not be opened (swapped for a link,
          // unreadable, too deep): the same, unless it is hidden.
          break;
        }
        if (CopyFailed(walker.Path(), DestFor(walker.Path()), walker.Error()) ==
            FileOutcome::Leave) {
          level.abandoned = true;
          walker.Cut();
        }
        break;
      }
      case WalkEvent::File: {
        Level& level = levels_.back();
        const ListedEntry& entry = walker.Entry();
        std::unique_ptr<AheadFile> prepared;
        Session::AheadGate& gate = s_.aheadGate;
        if (ahead_ && gate.open) {
          prepared = ahead_->Take(walker.AheadFrom() - 1);
          if (prepared && prepared->unusable) prepared.reset();
          Refill(walker, level);
        }
        if (!o_.CopyHidden && ListedAsHidden(entry).value_or(false)) break;
        if (!toNull_) SetDestFor(walker.Path(), destPath);
        using Clock = std::chrono::steady_clock;
        const bool timed = ahead_ && !gate.decided;
        const Clock::time_point start = timed ? Clock::now() : Clock::time_point();
        const FileOutcome outcome = File(level, entry, walker.Path(), destPath, prepared.get());
        if (timed) gate.Time(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
        if (outcome == FileOutcome::Leave) {
          level.abandoned = true;
          walker.Cut();
          // What was prepared after this file never becomes visible.
          Retire();
        }
        if (outcome == FileOutcome::Done) ++level.done;
        if (outcome != FileOutcome::Skipped) level.anySelected = true;
        break;
      }
      case WalkEvent::Link:
        break;
      case WalkEvent::LeaveFolder:
        Retire();
        Leave(walker, result);
        break;
    }
    if (!s_.Running()) walker.Cut();
  }
  return result;
}

// The closing steps of a folder: its count, the destination folder a copy
// (or -E, or -T) asks for, and the removal of an emptied source folder (-X).
void TreeWalk::Leave(TreeWalker& walker, CopyResult& result) {
  Level& level = levels_.back();
  bool remove = false;
  if (!level.abandoned) {
    result.count += level.done;
    const bool holdsCopies = level.done > 0 || (o_.TreeOnly && level.anySelected);
    if (!toNull_ && !o_.ListOnly && s_.Running() &&
        (o_.CopyEmptySubdirs || ((o_.CopySubdirs || o_.TreeOnly) && holdsCopies)) &&
        !EnsureDest(level.index) && level.destError) {
      // Not a failed copy, as before; but the user learns which and why.
      s_.TellFailure(Utf8ToAnsi("Impossible de créer le dossier ") +
                           Quoted(WithoutTrailingSeparators(DestFor(walker.Path()))) + ".",
                       level.destError, false);
    }
    // Only an emptied folder goes; a listing or a tree-only run changes no source.
    remove = o_.DeleteSource && level.wasFolder && !o_.KeepSourceDirs && !o_.ListOnly &&
             !o_.TreeOnly;
  }
  const bool root = level.index == 0;
  // The destination folder is closed before the source folder may go.
  levels_.pop_back();
  if (!remove) return;
  if (root)
    result.removeSource = walker.Complete();
  else
    (void)walker.RemoveFolder();
}

void TreeWalk::Publish(const Level& level) {
  const std::lock_guard<std::mutex> lock(viewMutex_);
  view_.source = level.source;
  view_.destState = level.destState;
  view_.dest = level.destState == Level::Dest::Open ? level.dest : nullptr;
  view_.destError = level.destError;
  view_.destMadeHere = level.destMadeHere;
  view_.toNull = toNull_;
  viewLevel_ = &level;
}

AheadView TreeWalk::View() {
  const std::lock_guard<std::mutex> lock(viewMutex_);
  return view_;
}

// Posts the files that come next in the folder, up to the first subfolder
// the walk will enter: the work ahead never outlives the folder it is in.
void TreeWalk::Refill(TreeWalker& walker, Level& level) {
  if (viewLevel_ != &level) {
    // Opened now rather than at its first look-up: the work ahead looks in it.
    if (!toNull_) OpenDest(level.index);
    Publish(level);
  }
  std::size_t at = std::max(nextAhead_, walker.AheadFrom());
  const std::size_t count = walker.ListedCount();
  for (; at < count && ahead_->HasRoom(); ++at) {
    const ListedEntry entry = walker.Listed(at);
    if (walker.Enters(entry)) break;
    if (entry.IsFolder() || (!o_.CopyHidden && ListedAsHidden(entry).value_or(false))) continue;
    auto file = std::make_unique<AheadFile>();
    file->position = at;
    file->entry = entry;
    file->sourcePath = walker.PathOf(entry);
    file->destPath = toNull_ ? std::string("NUL") : DestFor(file->sourcePath);
    ahead_->Post(std::move(file));
  }
  nextAhead_ = at;
}

// Drops the work ahead: the walk leaves the folder, or stops.
void TreeWalk::Retire() {
  if (!ahead_) return;
  ahead_->Drain();
  nextAhead_ = 0;
  const std::lock_guard<std::mutex> lock(viewMutex_);
  viewLevel_ = nullptr;
}

// On a thread of the pool: the look-ups of the selection, and, for a file
// that will be copied where nothing but the walk's naming is left, the copy.
CopyAhead::Step TreeWalk::WorkAhead(AheadFile& file) {
  const AheadView view = View();
  const CopyRec& o = aheadOptions_;
  if (!file.source) file.source.emplace(fs_, *view.source, file.entry, o.CopyHidden != 0);
  const std::string_view destName = o.ShortNames ? file.entry.ShortOrName() : file.entry.name;
  AheadTarget target(fs_, view, destName, file.target);
  const Verdict verdict =
      JudgeFile(s_, o, FileToSelect{file.sourcePath, file.destPath, *file.source, *view.source, target});
  if (verdict != Verdict::Yes || toNull_ || o.ListOnly || o.TreeOnly) return CopyAhead::Step::Done;
  // Its folder is made by the walk, when it comes to the first copy in it.
  if (view.destState == Level::Dest::Missing) return CopyAhead::Step::Park;
  if (view.destState != Level::Dest::Open) return CopyAhead::Step::Done;
  const ListedEntry& entry = file.source->Entry();
  // A move on one volume is a rename, and a file of several names
  // (-HARDLINKS) may become a link: the walk does both.
  if (o.DeleteSource && !entry.link && view.dest->Id().device == view.source->Id().device &&
      target.Find().Absent())
    return CopyAhead::Step::Done;
  if (linking_ && !entry.link) {
    const ErrorOr<EntryInfo> info = fs_.Look(*view.source, entry.name);
    if (!info || info->links > 1) return CopyAhead::Step::Done;
  }
  const ListedEntry* status = file.source->Status();
  if (!status) return CopyAhead::Step::Done;
  const auto size = static_cast<int64_t>(status->size);
  if (size > AheadFileBytes(s_.callbacks.showProgress != nullptr) || !ahead_->Reserve(size))
    return CopyAhead::Step::Done;
  file.bytes = size;
  file.prepared = true;
  ErrorOr<std::unique_ptr<PreparedCopy>> prepared =
      fs_.PrepareCopy(*view.source, entry.name, *view.dest, destName, RequestFor(o, entry));
  if (!prepared) {
    file.copyError = prepared.error();
    return CopyAhead::Step::Done;
  }
  file.copy = std::move(*prepared);
  if (o.Verify) {
    const std::unique_ptr<InputFile> copyFile = OpenForDigest(file.copy->ReadCopy(), file.destPath);
    const std::unique_ptr<InputFile> sourceFile = OpenForDigest(file.copy->ReadSource(), file.sourcePath);
    Md5Digest ofCopy, ofSource;
    StreamDigests(*copyFile, *sourceFile, ofCopy, ofSource, {});
    file.digests.emplace(ofCopy, ofSource);
  }
  return CopyAhead::Step::Done;
}

// The copy keeps the source's attributes but these; it takes the DOS bits
// from the listing where the listing read them (a link has its defaults).
CopyRequest TreeWalk::RequestFor(const CopyRec& o, const ListedEntry& entry) const {
  CopyRequest request;
  request.attributes.drop = (o.KeepAttributes ? 0 : attr::ReadOnly) | (o.ArchiveClear ? attr::Archive : 0);
  if (entry.attributesRead || entry.link) request.attributes.listed = entry.attributes;
  request.keep = keep_;
  // -R: a read-only file in the target's place is replaced as it is, its
  // mode untouched (a hard link would carry a change outside the trees).
  request.replaceReadOnly = o.OverwriteReadOnly != 0;
  return request;
}

FileOutcome TreeWalk::File(Level& level, const ListedEntry& listed, const std::string& sourcePath,
                           const std::string& destPath, AheadFile* ahead) {
  LinkedName linked;
  // A link to a file is copied as content, as without -HARDLINKS: never grouped.
  if (linking_ && !listed.link) {
    ErrorOr<EntryInfo> info = fs_.Look(*level.source, listed.name);
    // A name of a group met before may have a single link left: under -X
    // the names moved before it are gone from the source.
    const auto found = info ? groups_.find(info->id) : groups_.end();
    if (info && info->kind == EntryKind::File && !info->link &&
        (info->links > 1 || found != groups_.end())) {
      linked.id = info->id;
      linked.links = info->links;
      linked.info = *info;
      if (found != groups_.end()) linked.group = &found->second;
    }
  }
  const FileOutcome outcome = CopyFile(level, listed, sourcePath, destPath, linked, ahead);
  // Met, whatever became of it: the group goes with its last name.
  if (linked.group && --linked.group->namesLeft == 0) groups_.erase(linked.id);
  return outcome;
}

// The first name met of a file of several names that needs no copy (the
// copy of an earlier run is there, the same size and time): that copy is
// what later names are linked to.
void TreeWalk::Anchor(Level& level, std::string_view destName, Target& target, const LinkedName& linked) {
  const Lookup& found = target.Find();
  if (!found.IsFile() || found.Info().link || found.Info().size != linked.info.size ||
      found.Info().lastWrite != linked.info.lastWrite || !level.dest || level.destState != Level::Dest::Open)
    return;
  ErrorOr<std::unique_ptr<HeldFile>> held = fs_.HoldFile(*level.dest, destName);
  if (!held || (*held)->Id() != found.Info().id) return;
  LinkGroup& group = groups_[linked.id];
  group.copy = std::move(*held);
  group.namesLeft = linked.links - 1;
}

FileOutcome TreeWalk::CopyFile(Level& level, const ListedEntry& listed, const std::string& sourcePath,
                               const std::string& destPath, LinkedName& linked, AheadFile* ahead) {
  const std::string_view destName = NameFor(listed);
  Target target(*this, level, destName);
  if (linked.group) target.LinkedTo(linked.group->copy->Id());
  // Judged again here on what the work ahead looked up, with what a user sees.
  if (ahead && ahead->target) target.Preset(*ahead->target);
  SourceFile source = ahead && ahead->source ? *ahead->source
                                             : SourceFile(fs_, *level.source, listed, o_.CopyHidden != 0);
  switch (SelectFile(s_, FileToSelect{sourcePath, destPath, source, *level.source, target})) {
    case Selected::Yes: break;
    case Selected::No:
      if (linked.links > 1 && !linked.group) Anchor(level, destName, target, linked);
      return FileOutcome::Skipped;
    // A source, or a target, that could not be looked at is a failed copy,
    // as a folder that cannot be listed: nothing is judged on it.
    case Selected::Failed: {
      if (!UnreadableFails()) return FileOutcome::Skipped;
      std::error_code why = source.error();
      if (!why) why = target.Find().Error();
      return CopyFailed(sourcePath, destPath, why);
    }
  }
  // With what the selection has read of it: its DOS bits, without -H.
  const ListedEntry& entry = source.Entry();
  if (o_.TreeOnly && !o_.ListOnly) {
    // The folder a copy would create, and no file.
    if (!toNull_) EnsureDest(level.index);
    return FileOutcome::Selected;
  }
  ShowName(sourcePath, destPath);
  if (o_.ListOnly) return FileOutcome::Done;
  const Folder* dest = nullptr;
  if (!toNull_) {
    // A destination folder that is a link or mount point is never written through.
    dest = EnsureDest(level.index);
    if (!dest) {
      // Why its folder, or the first of its parents, could not be made or opened.
      std::error_code why;
      for (std::size_t i = level.index + 1; i-- > 0 && !why;) why = levels_[i].destError;
      return CopyFailed(sourcePath, destPath, why);
    }
  }

  CopyRequest request = RequestFor(o_, entry);
  const CopyAttributes& attributes = request.attributes;

  // The size is read for a host that follows the progress only: without a
  // filter the listing leaves it unread.
  const ListedEntry* status = dest && s_.callbacks.showProgress ? source.Status() : nullptr;
  const int64_t size = status ? static_cast<int64_t>(status->size) : -1;
  bool moved = false;
  bool madeLink = false;  // a later name of a group, linked to the group's copy
  LinkGroup* madeGroup = nullptr;  // the group this name's copy begins
  // The copy stays open until the file is done: -V reads it and its source
  // through the descriptors that wrote and read them, and -X deletes the
  // source only while it is still what was copied.
  std::unique_ptr<PreparedCopy> copy;
  // Closed by the pool, where there is one, once the file is done.
  struct Closing {
    CopyAhead* ahead;
    std::unique_ptr<PreparedCopy>& copy;
    ~Closing() {
      if (ahead && copy) ahead->Dispose(std::move(copy));
    }
  } closing{ahead_ && s_.aheadGate.open ? ahead_ : nullptr, copy};
  const std::pair<Md5Digest, Md5Digest>* digests = nullptr;  // read ahead with the copy
  if (dest && s_.callbacks.showProgress)
    request.progress = [&](int64_t done) {
      // Between the phase's start and its end, which are told anyway.
      if (done > 0 && done < size) s_.ShowProgress(sourcePath, done, size, ProgressCopy);
    };
  if (dest) {
    s_.ShowProgress(sourcePath, 0, size, ProgressCopy);
    const auto copyFile = [&]() -> std::error_code {
      if (ahead && ahead->prepared) {
        if (!ahead->copy) return ahead->copyError;
        copy = std::move(ahead->copy);
        if (ahead->digests) digests = &*ahead->digests;
      } else {
        ErrorOr<std::unique_ptr<PreparedCopy>> prepared =
            fs_.PrepareCopy(*level.source, entry.name, *dest, destName, request);
        if (!prepared) return prepared.error();
        copy = std::move(*prepared);
      }
      return copy->Commit();
    };
    std::error_code error;
    if (linked.group) {
      // A later name of a group: one more name of the group's copy. Where
      // the file system has no hard links, a copy as without -HARDLINKS.
      error = fs_.LinkFile(*linked.group->copy, *dest, destName, request.replaceReadOnly);
      madeLink = !error;
      if (error == std::errc::operation_not_supported) error = copyFile();
    } else if (o_.DeleteSource && !entry.link && dest->Id().device == level.source->Id().device &&
               target.Find().Absent()) {
      // A move renames on one volume when nothing has the target's name; a
      // link is never renamed, and a rename the system refuses across devices
      // (bind mounts) or for a hard-linked file becomes copy then delete.
      error = fs_.MoveFile(*level.source, entry.name, *dest, destName);
      moved = !error;
      if (error && MoveNeedsCopy(error)) error = copyFile();
    } else {
      error = copyFile();
    }
    if (error) return CopyFailed(sourcePath, destPath, error);
    s_.ShowProgress(sourcePath, size, size, ProgressCopy);
    // The first name of a group copied: later names become this copy.
    if (linked.links > 1 && !linked.group && copy) {
      if (ErrorOr<std::unique_ptr<HeldFile>> held = copy->HoldCopy()) {
        // This name is counted in namesLeft already.
        madeGroup = &groups_[linked.id];
        madeGroup->copy = std::move(*held);
        madeGroup->namesLeft = linked.links - 1;
      }
    }
  }
  if (o_.LogMode == 2 || o_.LogMode == 3)
    s_.Log(Quoted(LogName(sourcePath)) + " -> " + Quoted(LogName(destPath)) + ".", true,
             false);
  if (dest) {
    // A renamed file keeps what it had: it gets the attributes a copy would.
    if (moved && attributes.drop) {
      ErrorOr<uint32_t> had = fs_.GetAttributes(*dest, destName);
      if (had && attributes.For(*had) != *had) (void)fs_.SetAttributes(*dest, destName, attributes.For(*had));
    }
    if (o_.Verify && copy) {
      s_.ShowProgress(sourcePath, 0, size, ProgressVerify);
      const bool agree = DigestsAgree(*copy, sourcePath, destPath, size, digests);
      s_.ShowProgress(sourcePath, size, size, ProgressVerify);
      if (!agree && !o_.IgnoreErrors) {
        ShowError(kCopyErrorText + sourcePath);
        s_.status = ResultDigestDiffers;
        return FileOutcome::Leave;
      }
      // The source may be the only good copy: it is never deleted now.
      if (!agree) return FileOutcome::Done;
    }
  }
  if (o_.DeleteSource && madeLink) {
    // Under -X a group moves name by name: each source name goes once its
    // own destination name is there, while the file is still what the first
    // copy read; where that cannot be told (the first name was not copied
    // by this run), the names stay in the source.
    LinkGroup& group = *linked.group;
    if (!group.moved) return FileOutcome::Done;
    const FileOutcome outcome = DeleteSource(level, entry, nullptr, sourcePath, destPath, &group.source);
    if (ErrorOr<SourceState> after = group.moved->SourceNow()) group.source = *after;
    return outcome;
  }
  if (o_.DeleteSource && !moved) {
    const FileOutcome outcome = DeleteSource(level, entry, copy.get(), sourcePath, destPath);
    if (madeGroup && outcome == FileOutcome::Done && copy) {
      // Its later names are deleted against the status this deletion left.
      if (ErrorOr<SourceState> after = copy->SourceNow()) {
        madeGroup->source = *after;
        madeGroup->moved = std::move(copy);
      }
    }
    return outcome;
  }
  return toNull_ ? FileOutcome::Selected : FileOutcome::Done;
}

FileOutcome TreeWalk::CopyFailed(const std::string& sourcePath, const std::string& destPath,
                                 std::error_code error) {
  s_.LogFailure(kCopyErrorText + Quoted(LogName(sourcePath)) + ".",
                kCopyErrorText + Quoted(LogName(sourcePath)) + " vers " + Quoted(LogName(destPath)) + ".",
                error);
  const bool shown = !o_.IgnoreErrors && !o_.Silent;
  if (!o_.IgnoreErrors) ShowError(kCopyErrorText + Quoted(sourcePath) + ".");
  s_.TellFailure(kCopyErrorText + Quoted(sourcePath) + " vers " + Quoted(destPath) + ".", error,
                   shown);
  if (o_.IgnoreErrors) return FileOutcome::Selected;
  s_.status = ResultCopyFailed;
  return FileOutcome::Leave;
}

bool TreeWalk::DigestsAgree(PreparedCopy& copy, const std::string& sourcePath,
                            const std::string& destPath, int64_t size,
                            const std::pair<Md5Digest, Md5Digest>* known) {
  Md5Digest dest, source;
  if (known) {
    dest = known->first;
    source = known->second;
  } else {
    // Read through the descriptors that wrote and read them: a file put in
    // the copy's place meanwhile is never digested. The copy first, so that
    // the same failure surfaces; then both at once where they are large.
    const std::unique_ptr<InputFile> destFile = OpenForDigest(copy.ReadCopy(), destPath);
    const std::unique_ptr<InputFile> sourceFile = OpenForDigest(copy.ReadSource(), sourcePath);
    std::function<void(int64_t)> progress;
    if (s_.callbacks.showProgress)
      progress = [&](int64_t done) {
        if (done > 0 && done < size) s_.ShowProgress(sourcePath, done, size, ProgressVerify);
      };
    StreamDigests(*destFile, *sourceFile, dest, source, progress);
  }
  if (DigestsEqual(source, dest)) return true;
  s_.Log(
           "MD5(" + LogName(sourcePath) + ") <> MD5(" + LogName(destPath) + ") - " +
               DigestToHex(source) + " <> " + DigestToHex(dest),
           true, true);
  return false;
}

// Deletes the source of a move (copy: what was copied) or, towards NUL, the
// selected file.
FileOutcome TreeWalk::DeleteSource(Level& level, const ListedEntry& entry, PreparedCopy* copy,
                                   const std::string& sourcePath, const std::string& destPath,
                                   const SourceState* expected) {
  // expected without a copy: a later name of a group of hard links, deleted
  // only while it is the file the first copy read, as the last deletion left it.
  if (copy) {
    expected = &copy->Source();
    // Appended to or rewritten while it was copied: the copy lacks what
    // was written since, and the source is all there is of it.
    ErrorOr<bool> unchanged = copy->SourceUnchanged();
    if (!unchanged || !*unchanged)
      return CopyFailed(sourcePath, destPath, unchanged ? SourceChangedError() : unchanged.error());
  }
  const AskUserProc ask = s_.callbacks.askUser;
  for (;;) {
    const std::error_code error = fs_.DeleteSource(*level.source, entry.name, expected);
    // Gone already: there is nothing left to delete.
    if (!error || IsMissing(error)) break;
    // Saved anew under its name meanwhile: the move of that file failed.
    if (IsSourceChanged(error)) return CopyFailed(sourcePath, destPath, error);
    s_.TellFailure("Impossible de supprimer le fichier " + Quoted(sourcePath) + ".", error, false);
    if (o_.Silent || !ask) {
      s_.Log(WithLoggedReason(o_,
                              "Impossible de supprimer le fichier " + Quoted(LogName(sourcePath)) +
                                  ".",
                              error),
               true, true);
      break;
    }
    const int32_t answer = ask(AskDeleteFailed, destPath.c_str());
    if (answer == AnswerCancel) {
      s_.SignalCancel();
      s_.status = ResultCancelled;
      return FileOutcome::Leave;
    }
    if (answer == AnswerIgnore) break;
  }
  return FileOutcome::Done;
}

void TreeWalk::ShowName(const std::string& sourcePath, const std::string& destPath) {
  if (o_.Quiet || !s_.callbacks.showFile) return;
  if (!o_.ShowBothNames) return s_.callbacks.showFile(sourcePath.c_str());
  const std::string text = sourcePath + " -> " + destPath;
  s_.callbacks.showFile(text.c_str());
}

void TreeWalk::ShowError(const std::string& text) {
  if (!o_.Silent && s_.callbacks.showError) s_.callbacks.showError(text.c_str());
}

}  // namespace

void OpenHeldRoot(FileSystem& fs, HeldRoot& root) {
  ErrorOr<Folder> opened = fs.OpenRoot(root.path);
  if (opened) {
    root.folder = std::move(*opened);
    root.state = HeldRoot::State::Open;
  } else {
    root.state = IsMissing(opened.error()) ? HeldRoot::State::Missing : HeldRoot::State::Refused;
    root.error = opened.error();
  }
}

TreeSource OpenTreeSource(FileSystem& fs, const std::string& sourceEntry, bool shortNames, HeldRoot& root) {
  // The source names a folder, or a folder and a mask (a file name alone
  // being a mask without wildcards).
  TreeSource source;
  source.root = &root;
  ErrorOr<EntryInfo> named = fs.LookPath(sourceEntry);
  source.wasFolder = named && named->kind == EntryKind::Folder;
  if (source.wasFolder) {
    source.folderPath = WithSeparator(sourceEntry);
    root.path = sourceEntry;
  } else {
    source.folderPath = sourceEntry.substr(0, FolderPartLength(sourceEntry));
    source.mask = sourceEntry.substr(source.folderPath.size());
    root.path = source.folderPath;
    if (source.folderPath.empty()) {
      ErrorOr<std::string> current = fs.CurrentDirectory();
      source.folderPath = WithSeparator(current ? *current : std::string("."));
      root.path = ".";
    }
  }
  OpenHeldRoot(fs, root);
  // Under -N the paths are short from the root down: the root's own short
  // form is where the relative part begins.
  if (shortNames) {
    ErrorOr<std::string> shortPath = fs.ShortPath(WithoutTrailingSeparators(source.folderPath));
    if (shortPath) source.folderPath = WithSeparator(*shortPath);
  }
  return source;
}

CopyResult CopyTree(Session& session, const TreeSource& source, HeldRoot& dest) {
  return TreeWalk(session, dest).Run(source);
}

int32_t CopyTree(Session& session, const std::string& sourceSpec, const std::string& destRoot) {
  HeldRoot sourceRoot, dest;
  dest.path = destRoot;
  const TreeSource source = OpenTreeSource(session.fs, sourceSpec, session.options.ShortNames != 0,
                                           sourceRoot);
  const CopyResult result = CopyTree(session, source, dest);
  if (result.removeSource && sourceRoot.IsOpen()) (void)session.fs.RemoveRoot(sourceRoot.folder);
  return result.count;
}

}  // namespace vx
