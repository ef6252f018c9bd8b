// The mirror's purge: removes from the destination tree what has no
// same-named counterpart at the same place under the source.
#include "core/CommandLine.h"
#include "core/Purge.h"
#include "core/Text.h"

namespace vx {

namespace {

using PathKind = FileSystem::PathKind;

bool SamePath(const std::string& a, const std::string& b) {
  return kFileNamesCaseSensitive ? a == b : UpperAscii(a) == UpperAscii(b);
}

class Purge {
 public:
  Purge(Session& session, const std::string& sourceRoot)
      : session_(session), fs_(session.fs), sourceRoot_(WithoutSeparator(sourceRoot)) {}

  // Empties target of what reference lacks. Returns without judging when the
  // reference cannot be read: an unreadable source is not an empty one.
  // True when a file the session moved there was spared.
  bool Folder(const std::string& target, const std::string& reference) {
    if (fs_.Probe(reference) == PathKind::Folder && !fs_.CanListFolder(reference)) return false;
    const std::string folder = WithSeparator(target);
    const std::string ref = WithSeparator(reference);
    std::vector<DirEntry> entries;
    if (!fs_.FindFiles(folder + "*.*", session_.options.CopyHidden != 0, entries)) return false;
    bool spared = false;
    for (const DirEntry& entry : entries) {
      if (entry.name == "." || entry.name == "..") continue;
      const std::string path = folder + entry.name;
      const PathKind counterpart = fs_.Probe(ref + entry.name);
      if (counterpart == PathKind::Unknown) continue;
      if (!(entry.attributes & attr::Directory)) {
        if (counterpart == PathKind::File) continue;
        if (session_.placed.count(PlacedKey(fs_, path)) != 0) {
          spared = true;
        } else {
          fs_.DeleteFile(path);
        }
      } else if (entry.attributes & attr::ReparsePoint) {
        // A link to a folder is never entered: only the link itself may go.
        if (counterpart != PathKind::Folder) fs_.RemoveLink(path);
      } else if (!SamePath(WithoutSeparator(fs_.FullPath(path)), sourceRoot_)) {
        spared = Subfolder(path, ref + entry.name, counterpart) || spared;
      }
    }
    return spared;
  }

 private:
  bool Subfolder(const std::string& path, const std::string& reference, PathKind counterpart) {
    const bool spared = Folder(path, reference);
    // A folder that keeps moved files is meant to stay: no notice for it.
    if (spared || counterpart == PathKind::Folder || !fs_.DirectoryExists(path)) return spared;
    if (!fs_.RemoveDirectory(path)) ShowNotice(fs_.FullPath(path));
    return false;
  }

  Session& session_;
  FileSystem& fs_;
  std::string sourceRoot_;  // never purged, even when it lies inside the destination
};

}  // namespace

void PurgeDestination(Session& session, const std::string& target, const std::string& reference) {
  FileSystem& fs = session.fs;
  // Only a folder mirrors a folder: a file or mask source, or one that is
  // missing or unreadable, would otherwise read as "delete everything".
  if (fs.Probe(reference) != PathKind::Folder || !fs.CanListFolder(reference)) return;
  // The destination itself is never removed, only what lies below it.
  if (fs.Probe(target) != PathKind::Folder) return;
  Purge(session, reference).Folder(target, reference);
}

}  // namespace vx
