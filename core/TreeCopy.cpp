// The tree copy: walks one source folder (or mask), copies, moves, lists or
// deletes the selected files into one destination, and recurses. Each folder
// of either tree is held open while the walk works in it, and every file
// operation names a file relative to its held folder: a folder swapped for a
// link meanwhile is never followed. The texts (names shown, log lines) are
// built alongside, as the user's paths.
#include <optional>

#include "core/CommandLine.h"
#include "core/Log.h"
#include "core/Selection.h"
#include "core/Text.h"
#include "core/TreeCopy.h"
#include "support/md5.h"

namespace vx {

namespace {

const std::string kCopyErrorText = "Erreur lors de la copie de ";

// What became of one file entry.
enum class FileOutcome { Skipped, Selected, Done, Leave };

// One source folder of the walk and its destination counterpart, which is
// opened, or created, only when a file or a rule needs it.
struct Level {
  enum class Dest { Unknown, Open, Missing, Refused };

  Level* parent = nullptr;  // nullptr at the top
  const Folder* source = nullptr;
  std::string destName;  // the counterpart's name in the parent's (short name under -N)
  Folder dest;
  Dest destState = Dest::Unknown;
  bool destMadeHere = false;  // created by this walk: it holds only what the walk put there
};

// How one folder's walk ended.
struct WalkResult {
  int32_t count = 0;
  // Its closing steps ask for the (emptied) source folder to go; never when
  // a failure or a cancellation ended it before them.
  bool removeSource = false;
};

// One walk from a top source folder or mask into one destination root.
class TreeWalk {
 public:
  TreeWalk(Session& session, const std::string& destRoot)
      : s_(session), fs_(session.fs), o_(session.options), destRoot_(destRoot),
        toNull_(destRoot == "NUL") {}

  int32_t Run(const std::string& sourceSpec);

 private:
  friend class Target;
  WalkResult Walk(Level& level, const std::string& folderPath, const ListOptions& options,
                  bool wasFolder);
  bool Follows() const {
    return o_.CopySubdirs || o_.CopyEmptySubdirs || o_.ListOnly || o_.TreeOnly;
  }
  // Whether a source folder or file that cannot be read is a failed copy:
  // not for a listing (-L) nor a copy to NUL.
  bool UnreadableFails() const { return !toNull_ && !o_.ListOnly; }
  std::string DestFor(const std::string& path) const;
  void SetDestFor(const std::string& path, std::string& dest) const;
  const Folder* OpenDest(Level& level);
  const Folder* EnsureDest(Level& level);
  void NoteDestRoot(const Folder& folder) { destRootId_ = folder.Id(); }
  FileOutcome File(Level& level, const ListedEntry& entry, const std::string& sourcePath,
                   const std::string& destPath);
  FileOutcome CopyFailed(const std::string& sourcePath, const std::string& destPath);
  bool DigestsAgree(PreparedCopy& copy, const std::string& sourcePath, const std::string& destPath);
  FileOutcome DeleteSource(Level& level, const ListedEntry& entry, PreparedCopy* copy,
                           const std::string& sourcePath, const std::string& destPath);
  void ShowName(const std::string& sourcePath, const std::string& destPath);
  void ShowError(const std::string& text);
  std::string_view NameFor(const ListedEntry& entry) const {
    return o_.ShortNames ? entry.ShortOrName() : entry.name;
  }

  Session& s_;
  FileSystem& fs_;
  const CopyRec& o_;
  const std::string destRoot_;
  const bool toNull_;
  std::string sourceRoot_;  // the top folder's path, where the relative part begins
  std::optional<FileId> destRootId_;  // once the destination root is known to exist
};

// The destination file of one source file, looked up once, when the
// selection asks.
class Target : public TargetLookup {
 public:
  Target(TreeWalk& walk, Level& level, std::string_view name)
      : walk_(walk), level_(level), name_(name) {}
  const EntryInfo* Find() override {
    if (!looked_) {
      looked_ = true;
      // A folder this walk has just made holds no earlier file of this name.
      const Folder* dest = walk_.toNull_ || level_.destMadeHere ? nullptr : walk_.OpenDest(level_);
      if (dest) {
        ErrorOr<EntryInfo> found = walk_.fs_.Look(*dest, name_);
        if (found) info_ = *found;
      }
    }
    return info_ ? &*info_ : nullptr;
  }

 private:
  TreeWalk& walk_;
  Level& level_;
  std::string_view name_;
  bool looked_ = false;
  std::optional<EntryInfo> info_;
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
  dest.assign(destRoot_);
  dest.append(path, from, std::string::npos);
}

// The destination folder of a level if it exists, without creating it. A
// link or mount point in its place (or above it) is refused, never entered.
const Folder* TreeWalk::OpenDest(Level& level) {
  if (level.destState == Level::Dest::Unknown) {
    ErrorOr<Folder> opened = std::error_code();
    if (!level.parent) {
      opened = fs_.OpenRoot(destRoot_);
    } else if (const Folder* parent = OpenDest(*level.parent)) {
      opened = fs_.OpenFolder(*parent, level.destName);
    } else {
      level.destState = level.parent->destState;
      return nullptr;
    }
    if (opened) {
      level.dest = std::move(*opened);
      level.destState = Level::Dest::Open;
      if (!level.parent) NoteDestRoot(level.dest);
    } else {
      level.destState = IsMissing(opened.error()) ? Level::Dest::Missing : Level::Dest::Refused;
    }
  }
  return level.destState == Level::Dest::Open ? &level.dest : nullptr;
}

// The destination folder of a level, created with its missing parents, each
// with the permission bits of its source folder. nullptr when it cannot be.
const Folder* TreeWalk::EnsureDest(Level& level) {
  if (const Folder* open = OpenDest(level)) return open;
  if (level.destState == Level::Dest::Refused) return nullptr;
  ErrorOr<Folder> made = std::error_code();
  if (!level.parent) {
    made = fs_.CreateRoot(destRoot_, level.source);
  } else if (const Folder* parent = EnsureDest(*level.parent)) {
    made = fs_.CreateFolder(*parent, level.destName, level.source);
  } else {
    return nullptr;
  }
  if (!made) return nullptr;
  level.dest = std::move(*made);
  level.destState = Level::Dest::Open;
  level.destMadeHere = true;
  if (!level.parent) NoteDestRoot(level.dest);
  return &level.dest;
}

int32_t TreeWalk::Run(const std::string& sourceSpec) {
  // The source names a folder, or a folder and a mask (a file name alone
  // being a mask without wildcards).
  ErrorOr<EntryInfo> named = fs_.LookPath(sourceSpec);
  const bool wasFolder = named && named->kind == EntryKind::Folder;
  std::string folderPath;
  // Hidden entries are listed too, and left out here: where telling one
  // costs a read per entry (Linux), a file is asked only once something
  // depends on it (SourceFile::LeftOut). The DOS bits are read with the
  // listing only where a test needs them; the copy reads its own. Sizes and
  // times only when the selection needs them.
  ListOptions options;
  options.includeHidden = true;
  options.withAttributes = o_.ArchiveOnly || o_.ArchiveClear || o_.OverwriteReadOnly;
  options.withStatus = false;
  ErrorOr<Folder> root = std::error_code();
  if (wasFolder) {
    folderPath = WithSeparator(sourceSpec);
    root = fs_.OpenRoot(sourceSpec);
  } else {
    folderPath = sourceSpec.substr(0, FolderPartLength(sourceSpec));
    options.mask = sourceSpec.substr(folderPath.size());
    if (folderPath.empty()) {
      ErrorOr<std::string> current = fs_.CurrentDirectory();
      folderPath = WithSeparator(current ? *current : std::string("."));
      root = fs_.OpenRoot(".");
    } else {
      root = fs_.OpenRoot(folderPath);
    }
  }
  // Under -N the paths are short from the root down: the root's own short
  // form is where the relative part begins.
  if (o_.ShortNames) {
    ErrorOr<std::string> shortPath = fs_.ShortPath(WithoutSeparator(folderPath));
    if (shortPath) folderPath = WithSeparator(*shortPath);
  }
  sourceRoot_ = folderPath;

  Level top;
  WalkResult result;
  if (root) {
    top.source = &*root;
    // Known from the start where it exists, so that the walk never enters it.
    if (!toNull_) OpenDest(top);
    result = Walk(top, folderPath, options, wasFolder);
  } else if (wasFolder && UnreadableFails()) {
    // A folder that cannot be opened is a failed copy, not an empty folder.
    CopyFailed(folderPath, DestFor(folderPath));
  }
  top.dest.Close();
  if (root) root->Close();
  if (result.removeSource) (void)fs_.RemoveFolderPath(WithoutSeparator(folderPath));
  return result.count;
}

WalkResult TreeWalk::Walk(Level& level, const std::string& folderPath, const ListOptions& options,
                          bool wasFolder) {
  WalkResult result;
  ErrorOr<Listing> listing = fs_.List(*level.source, options);
  // A folder that cannot be listed, or whose listing fails part-way, is a
  // failed copy: never an empty or a complete folder.
  if (!listing && wasFolder && UnreadableFails() &&
      CopyFailed(folderPath, DestFor(folderPath)) == FileOutcome::Leave) {
    return result;
  }
  int32_t done = 0;
  bool anySelected = false;
  // One buffer for the entries' paths: only the name part changes.
  std::string path = folderPath;
  std::string destPath = toNull_ ? std::string("NUL") : std::string();
  const std::size_t count = listing ? listing->Count() : 0;
  for (std::size_t i = 0; i < count && s_.Running(); ++i) {
    const ListedEntry entry = listing->At(i);
    const std::optional<bool> hidden = o_.CopyHidden ? false : ListedAsHidden(entry);
    if (hidden.value_or(false)) continue;
    path.resize(folderPath.size());
    path.append(NameFor(entry));
    if (entry.IsFolder()) {
      // Links to folders and mount points are never entered: no loop can form.
      if (!Follows() || (entry.attributes & attr::ReparsePoint)) continue;
      if (!hidden) {
        SourceFile folder(fs_, *level.source, entry, false);
        if (folder.LeftOut()) continue;
      }
      const std::string subPath = WithSeparator(path);
      ErrorOr<Folder> sub = fs_.OpenFolder(*level.source, entry.name);
      if (!sub) {
        // Gone since the listing: nothing to copy. Anything else (swapped
        // for a link, unreadable) is a folder that cannot be listed.
        if (IsMissing(sub.error()) || !UnreadableFails()) continue;
        if (CopyFailed(subPath, DestFor(subPath)) == FileOutcome::Leave) {
          return result;
        }
        continue;
      }
      // A destination inside the source is not walked again as source, so a
      // copy never copies its own output.
      if (!toNull_ && destRootId_ && sub->Id() == *destRootId_) continue;
      Level child;
      child.parent = &level;
      child.source = &*sub;
      child.destName = std::string(NameFor(entry));
      ListOptions childOptions = options;
      childOptions.mask.clear();
      const WalkResult below = Walk(child, subPath, childOptions, true);
      result.count += below.count;
      // Both closed before the source folder may go: a held folder cannot
      // be removed on every platform.
      child.dest.Close();
      sub->Close();
      if (below.removeSource) (void)fs_.RemoveFolder(*level.source, entry.name);
      continue;
    }
    if (!toNull_) SetDestFor(path, destPath);
    const FileOutcome outcome = File(level, entry, path, destPath);
    if (outcome == FileOutcome::Leave) {
      return result;
    }
    if (outcome == FileOutcome::Done) ++done;
    if (outcome != FileOutcome::Skipped) anySelected = true;
  }
  result.count += done;

  const bool holdsCopies = done > 0 || (o_.TreeOnly && anySelected);
  if (!toNull_ && !o_.ListOnly && s_.Running() &&
      (o_.CopyEmptySubdirs || ((o_.CopySubdirs || o_.TreeOnly) && holdsCopies)))
    EnsureDest(level);
  // Only an emptied folder goes; a listing or a tree-only run changes no source.
  result.removeSource =
      o_.DeleteSource && wasFolder && !o_.KeepSourceDirs && !o_.ListOnly && !o_.TreeOnly;
  return result;
}

FileOutcome TreeWalk::File(Level& level, const ListedEntry& listed, const std::string& sourcePath,
                           const std::string& destPath) {
  const std::string_view destName = NameFor(listed);
  Target target(*this, level, destName);
  SourceFile source(fs_, *level.source, listed, o_.CopyHidden != 0);
  if (!SelectFile(s_, FileToSelect{sourcePath, destPath, source, *level.source, target})) {
    // A file gone since the listing is no entry any more; one that could not
    // be looked at is a failed copy, as a folder that cannot be listed.
    const std::error_code error = source.error();
    if (error && !IsMissing(error) && UnreadableFails())
      return CopyFailed(sourcePath, destPath);
    return FileOutcome::Skipped;
  }
  // With what the selection has read of it: its DOS bits, without -H.
  const ListedEntry& entry = source.Entry();
  if (o_.TreeOnly && !o_.ListOnly) {
    // The folder a copy would create, and no file.
    if (!toNull_) EnsureDest(level);
    return FileOutcome::Selected;
  }
  ShowName(sourcePath, destPath);
  if (o_.ListOnly) return FileOutcome::Done;
  const Folder* dest = nullptr;
  if (!toNull_) {
    // A destination folder that is a link or mount point is never written through.
    dest = EnsureDest(level);
    if (!dest) return CopyFailed(sourcePath, destPath);
  }

  // The copy keeps the source's attributes but these; it takes the DOS bits
  // from the listing where the listing read them (a link has its defaults).
  CopyAttributes attributes;
  attributes.drop = (o_.KeepAttributes ? 0 : attr::ReadOnly) | (o_.ArchiveClear ? attr::Archive : 0);
  if (entry.attributesRead || entry.link) attributes.listed = entry.attributes;
  CopyRequest request;
  request.attributes = attributes;
  // -R: a read-only file in the target's place is replaced as it is, its
  // mode untouched (a hard link would carry a change outside the trees).
  request.replaceReadOnly = o_.OverwriteReadOnly != 0;

  bool moved = false;
  // The copy stays open until the file is done: -V reads it and its source
  // through the descriptors that wrote and read them, and -X deletes the
  // source only while it is still what was copied.
  std::unique_ptr<PreparedCopy> copy;
  if (dest) {
    const auto copyFile = [&]() -> std::error_code {
      ErrorOr<std::unique_ptr<PreparedCopy>> prepared =
          fs_.PrepareCopy(*level.source, entry.name, *dest, destName, request);
      if (!prepared) return prepared.error();
      copy = std::move(*prepared);
      return copy->Commit();
    };
    std::error_code error;
    // A move renames on one volume when nothing has the target's name; a
    // link is never renamed, and a rename the system refuses across devices
    // (bind mounts) or for a hard-linked file becomes copy then delete.
    if (o_.DeleteSource && !entry.link && dest->Id().device == level.source->Id().device &&
        !target.Find()) {
      error = fs_.MoveFile(*level.source, entry.name, *dest, destName);
      moved = !error;
      if (error && MoveNeedsCopy(error)) error = copyFile();
    } else {
      error = copyFile();
    }
    if (error) return CopyFailed(sourcePath, destPath);
  }
  if (o_.LogMode == 2)
    WriteLog(fs_, o_, Quoted(LogName(sourcePath)) + " -> " + Quoted(LogName(destPath)) + ".", true,
             false);
  if (dest) {
    // A renamed file keeps what it had: it gets the attributes a copy would.
    if (moved && attributes.drop) {
      ErrorOr<uint32_t> had = fs_.GetAttributes(*dest, destName);
      if (had && attributes.For(*had) != *had) (void)fs_.SetAttributes(*dest, destName, attributes.For(*had));
    }
    if (o_.Verify && copy && !DigestsAgree(*copy, sourcePath, destPath)) {
      if (!o_.IgnoreErrors) {
        ShowError(kCopyErrorText + sourcePath);
        s_.status = ResultDigestDiffers;
        return FileOutcome::Leave;
      }
      // The source may be the only good copy: it is never deleted now.
      return FileOutcome::Done;
    }
  }
  if (o_.DeleteSource && !moved) return DeleteSource(level, entry, copy.get(), sourcePath, destPath);
  return toNull_ ? FileOutcome::Selected : FileOutcome::Done;
}

FileOutcome TreeWalk::CopyFailed(const std::string& sourcePath, const std::string& destPath) {
  if (o_.LogMode == 1) {
    WriteLog(fs_, o_, kCopyErrorText + Quoted(LogName(sourcePath)) + ".", true, true);
  } else if (o_.LogMode == 2) {
    WriteLog(fs_, o_,
             kCopyErrorText + Quoted(LogName(sourcePath)) + " vers " + Quoted(LogName(destPath)) +
                 ".",
             true, true);
  }
  if (o_.IgnoreErrors) return FileOutcome::Selected;
  ShowError(kCopyErrorText + Quoted(sourcePath) + ".");
  s_.status = ResultCopyFailed;
  return FileOutcome::Leave;
}

bool TreeWalk::DigestsAgree(PreparedCopy& copy, const std::string& sourcePath,
                            const std::string& destPath) {
  // Read through the descriptors that wrote and read them: a file put in
  // the copy's place meanwhile is never digested. The copy first, so that
  // the same failure surfaces; then both at once where they are large.
  const std::unique_ptr<InputFile> destFile = OpenForDigest(copy.ReadCopy(), destPath);
  const std::unique_ptr<InputFile> sourceFile = OpenForDigest(copy.ReadSource(), sourcePath);
  Md5Digest dest, source;
  StreamDigests(*destFile, *sourceFile, dest, source);
  if (DigestsEqual(source, dest)) return true;
  WriteLog(fs_, o_,
           "MD5(" + LogName(sourcePath) + ") <> MD5(" + LogName(destPath) + ") - " +
               DigestToHex(source) + " <> " + DigestToHex(dest),
           true, true);
  return false;
}

// Deletes the source of a move (copy: what was copied) or, towards NUL, the
// selected file.
FileOutcome TreeWalk::DeleteSource(Level& level, const ListedEntry& entry, PreparedCopy* copy,
                                   const std::string& sourcePath, const std::string& destPath) {
  if (copy) {
    // Appended to or rewritten while it was copied: the copy lacks what
    // was written since, and the source is all there is of it.
    ErrorOr<bool> unchanged = copy->SourceUnchanged();
    if (!unchanged || !*unchanged) return CopyFailed(sourcePath, destPath);
  } else {
    // Refused on a link, which goes itself without any change to what it leads to.
    (void)fs_.SetAttributes(*level.source, entry.name, attr::Normal);
  }
  const AskUserProc ask = s_.callbacks.askUser;
  for (;;) {
    const std::error_code error = copy ? fs_.DeleteMovedSource(*level.source, entry.name, copy->Source())
                                       : fs_.DeleteFile(*level.source, entry.name);
    // Gone already: there is nothing left to delete.
    if (!error || IsMissing(error)) break;
    // Saved anew under its name meanwhile: the move of that file failed.
    if (IsSourceChanged(error)) return CopyFailed(sourcePath, destPath);
    if (o_.Silent || !ask) {
      WriteLog(fs_, o_, "Impossible de supprimer le fichier " + Quoted(LogName(sourcePath)) + ".",
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

int32_t CopyTree(Session& session, const std::string& sourceSpec, const std::string& destRoot) {
  return TreeWalk(session, destRoot).Run(sourceSpec);
}

}  // namespace vx
