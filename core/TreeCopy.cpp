// The tree copy: walks one source folder (or mask), copies, moves, lists or
// deletes the selected files into one destination, and recurses.
#include "core/CommandLine.h"
#include "core/Log.h"
#include "core/Purge.h"
#include "core/Selection.h"
#include "core/Text.h"
#include "core/TreeCopy.h"
#include "support/md5.h"

namespace vx {

namespace {

const std::string kCopyErrorText = "Erreur lors de la copie de ";

// What became of one file entry.
enum class FileOutcome { Skipped, Selected, Done, Leave };

// One walk from a top source folder or mask into one destination root. The
// recursion keeps its frames small: a tree 1,000 folders deep is walked.
class TreeWalk {
 public:
  TreeWalk(Session& session, const std::string& destRoot)
      : s_(session), fs_(session.fs), o_(session.options), destRoot_(destRoot),
        toNull_(destRoot == "NUL") {}

  int32_t Folder(const std::string& sourceSpec, std::string sourceRoot) {
    return Walk(sourceSpec, std::move(sourceRoot), false);
  }

 private:
  int32_t Walk(const std::string& sourceSpec, std::string sourceRoot, bool throughLink);
  bool LeadsOutside(const std::string& destFolder) const;
  bool Follows() const { return o_.CopySubdirs || o_.CopyEmptySubdirs || o_.ListOnly || o_.TreeOnly; }
  bool ShouldDescend(const std::string& path, const DirEntry& entry);
  std::string DestFor(const std::string& path, const std::string& sourceRoot) const;
  FileOutcome File(const std::string& sourcePath, const std::string& destPath,
                   uint32_t attributes, bool throughLink);
  FileOutcome CopyFailed(const std::string& sourcePath, const std::string& destPath);
  bool DigestsAgree(const std::string& sourcePath, const std::string& destPath);
  FileOutcome DeleteSource(const std::string& sourcePath, const std::string& destPath);
  void ShowName(const std::string& sourcePath, const std::string& destPath);
  void ShowError(const std::string& text);

  Session& s_;
  FileSystem& fs_;
  const CopyRec& o_;
  const std::string destRoot_;
  const bool toNull_;
};

// The destination path of a source path: the destination root followed by
// the part relative to the source root, starting at the root's separator.
std::string TreeWalk::DestFor(const std::string& path, const std::string& sourceRoot) const {
  const std::size_t from = sourceRoot.empty() ? 0 : sourceRoot.size() - 1;
  return destRoot_ + path.substr(std::min(from, path.size()));
}

bool TreeWalk::ShouldDescend(const std::string& path, const DirEntry& entry) {
  if (!Follows()) return false;
  // Links to folders and reparse points are never entered: no loop can form.
  if (entry.attributes & attr::ReparsePoint) return false;
  // A destination inside the source is not walked again as source, so a
  // copy never copies its own output.
  return toNull_ || !fs_.SameFile(path, destRoot_);
}

// A link or mount point met below the destination root leads out of the
// destination the user named: nothing is written through it.
bool TreeWalk::LeadsOutside(const std::string& destFolder) const {
  const uint32_t attributes = fs_.GetAttributes(WithoutSeparator(destFolder));
  return attributes != attr::Invalid && (attributes & attr::ReparsePoint) != 0;
}

int32_t TreeWalk::Walk(const std::string& sourceSpec, std::string sourceRoot, bool throughLink) {
  // A subfolder was enumerated as one, even where its path is too long to reach.
  const bool wasFolder = !sourceRoot.empty() || fs_.DirectoryExists(sourceSpec);
  std::string folderPath, pattern;
  if (wasFolder) {
    folderPath = WithSeparator(sourceSpec);
    pattern = folderPath + "*.*";
  } else {
    pattern = sourceSpec;
    folderPath = sourceSpec.substr(0, FolderPartLength(sourceSpec));
    if (folderPath.empty()) folderPath = WithSeparator(fs_.CurrentDirectory());
  }
  if (sourceRoot.empty()) {
    // Under -N the paths are cut in short form: so is the root they are cut at,
    // or the relative part would start at the wrong character.
    sourceRoot = o_.ShortNames ? WithSeparator(fs_.ShortPath(WithoutSeparator(folderPath)))
                               : folderPath;
  } else if (!throughLink && !toNull_) {
    throughLink = LeadsOutside(DestFor(folderPath, sourceRoot));
  }

  std::vector<DirEntry> entries;
  // A folder that cannot be listed is a failure, not an empty folder.
  if (!fs_.FindFiles(pattern, o_.CopyHidden != 0, entries) && wasFolder && !toNull_ &&
      !o_.ListOnly && !fs_.CanListFolder(folderPath) &&
      CopyFailed(folderPath, DestFor(folderPath, sourceRoot)) == FileOutcome::Leave)
    return 0;
  int32_t count = 0, done = 0;
  bool anySelected = false;
  // One buffer for the entries' paths: only the name part changes.
  std::string path = folderPath, shortPath;
  for (const DirEntry& entry : entries) {
    if (!s_.Running()) break;
    path.resize(folderPath.size());
    path += entry.name;
    if (entry.attributes & attr::Directory) {
      if (ShouldDescend(path, entry)) count += Walk(path, sourceRoot, throughLink);
      continue;
    }
    if (o_.ShortNames) shortPath = fs_.ShortPath(path);
    const std::string& sourcePath = o_.ShortNames ? shortPath : path;
    const std::string destPath = toNull_ ? std::string("NUL") : DestFor(sourcePath, sourceRoot);
    const FileOutcome outcome = File(sourcePath, destPath, entry.attributes, throughLink);
    if (outcome == FileOutcome::Leave) return count;
    if (outcome == FileOutcome::Done) ++done;
    if (outcome != FileOutcome::Skipped) anySelected = true;
  }
  count += done;

  const bool holdsCopies = done > 0 || (o_.TreeOnly && anySelected);
  if (!toNull_ && !o_.ListOnly && !throughLink && s_.Running() &&
      (o_.CopyEmptySubdirs || ((o_.CopySubdirs || o_.TreeOnly) && holdsCopies)))
    fs_.CreateDirectories(DestFor(folderPath, sourceRoot));
  // Only an emptied folder goes; a listing or a tree-only run changes no source.
  if (o_.DeleteSource && wasFolder && !o_.KeepSourceDirs && !o_.ListOnly && !o_.TreeOnly)
    fs_.RemoveDirectory(WithoutSeparator(folderPath));
  return count;
}

FileOutcome TreeWalk::File(const std::string& sourcePath, const std::string& destPath,
                           uint32_t attributes, bool throughLink) {
  if (!SelectFile(s_, sourcePath, destPath)) return FileOutcome::Skipped;
  const std::string destFolder = destPath.substr(0, FolderPartLength(destPath));
  if (o_.TreeOnly && !o_.ListOnly) {
    // The folder a copy would create, and no file.
    if (!toNull_ && !throughLink) fs_.CreateDirectories(destFolder);
    return FileOutcome::Selected;
  }
  ShowName(sourcePath, destPath);
  if (o_.ListOnly) return FileOutcome::Done;
  if (throughLink) return CopyFailed(sourcePath, destPath);
  if (!toNull_) fs_.CreateDirectories(destFolder);

  // The enumeration has just read the source's attributes: not read again.
  uint32_t word = attributes;
  if (word != attr::Invalid) {
    if (!o_.KeepAttributes) word &= ~attr::ReadOnly;
    if (o_.ArchiveClear) word &= ~attr::Archive;
    if (word == 0) word = attr::Normal;
  }
  if (!toNull_ && o_.OverwriteReadOnly) {
    const uint32_t writable = word == attr::Invalid ? attr::Normal : word & ~attr::ReadOnly;
    fs_.SetAttributes(destPath, writable == 0 ? attr::Normal : writable);
  }

  if (!toNull_) {
    const bool rename =
        o_.DeleteSource && fs_.SameVolume(sourcePath, destPath) && !fs_.FileExists(destPath);
    const bool ok = rename ? fs_.MoveFile(sourcePath, destPath) : fs_.CopyFile(sourcePath, destPath);
    if (!ok) return CopyFailed(sourcePath, destPath);
    // Once moved, the file has no counterpart in the source: the mirror's
    // purge must not take it for a stale one.
    if (o_.DeleteSource && o_.SyncMode == 1) s_.placed.insert(PlacedKey(fs_, destPath));
  }
  if (o_.LogMode == 2)
    WriteLog(o_, Quoted(sourcePath) + " -> " + Quoted(destPath) + ".", true, false);
  if (!toNull_) {
    fs_.SetAttributes(destPath, word);
    if (o_.Verify && fs_.FileExists(sourcePath) && !DigestsAgree(sourcePath, destPath)) {
      if (!o_.IgnoreErrors) {
        ShowError(kCopyErrorText + sourcePath);
        s_.status = ResultDigestDiffers;
        return FileOutcome::Leave;
      }
      // The source may be the only good copy: it is never deleted now.
      return FileOutcome::Done;
    }
  }
  if (o_.DeleteSource && fs_.FileExists(sourcePath)) return DeleteSource(sourcePath, destPath);
  return toNull_ ? FileOutcome::Selected : FileOutcome::Done;
}

FileOutcome TreeWalk::CopyFailed(const std::string& sourcePath, const std::string& destPath) {
  if (o_.LogMode == 1) {
    WriteLog(o_, kCopyErrorText + Quoted(sourcePath) + ".", true, true);
  } else if (o_.LogMode == 2) {
    WriteLog(o_, kCopyErrorText + Quoted(sourcePath) + " vers " + Quoted(destPath) + ".", true, true);
  }
  if (o_.IgnoreErrors) return FileOutcome::Selected;
  ShowError(kCopyErrorText + Quoted(sourcePath) + ".");
  s_.status = ResultCopyFailed;
  return FileOutcome::Leave;
}

bool TreeWalk::DigestsAgree(const std::string& sourcePath, const std::string& destPath) {
  const Md5Digest dest = FileDigest(fs_, destPath);
  const Md5Digest source = FileDigest(fs_, sourcePath);
  if (DigestsEqual(source, dest)) return true;
  WriteLog(o_,
           "MD5(" + sourcePath + ") <> MD5(" + destPath + ") - " + DigestToHex(source) + " <> " +
               DigestToHex(dest),
           true, true);
  return false;
}

FileOutcome TreeWalk::DeleteSource(const std::string& sourcePath, const std::string& destPath) {
  // Never the only copy: a source that is its own target stays.
  if (!toNull_ && fs_.SameFile(sourcePath, destPath)) return FileOutcome::Done;
  fs_.SetAttributes(sourcePath, attr::Normal);
  const AskUserProc ask = s_.callbacks.askUser;
  while (!fs_.DeleteFile(sourcePath)) {
    if (o_.Silent || !ask) {
      WriteLog(o_, "Impossible de supprimer le fichier " + Quoted(sourcePath) + ".", true, true);
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
  const std::string text = o_.ShowBothNames ? sourcePath + " -> " + destPath : sourcePath;
  s_.callbacks.showFile(text.c_str());
}

void TreeWalk::ShowError(const std::string& text) {
  if (!o_.Silent && s_.callbacks.showError) s_.callbacks.showError(text.c_str());
}

}  // namespace

std::string PlacedKey(FileSystem& fs, const std::string& path) {
  const std::string full = fs.FullPath(path);
  std::string key;
  for (std::size_t i = 0; i < full.size(); ++i) {
    // A leading double separator (a network share) stays as it is.
    if (i > 1 && IsPathSeparator(full[i]) && IsPathSeparator(key.back())) continue;
    key += IsPathSeparator(full[i]) ? kPathSeparator : full[i];
  }
  return kFileNamesCaseSensitive ? key : UpperAscii(key);
}

int32_t CopyTree(Session& session, const std::string& sourceSpec, const std::string& destRoot,
                 std::string sourceRoot) {
  return TreeWalk(session, destRoot).Folder(sourceSpec, std::move(sourceRoot));
}

}  // namespace vx
