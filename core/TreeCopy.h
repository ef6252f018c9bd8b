// The tree copy: one source folder or mask into one destination root.
#pragma once

#include <cstdint>
#include <string>

#include "core/Session.h"

namespace vx {

// A root of a source and destination pair: opened at the start of the pair
// (or, for a destination, made by the copy that first needs it) and held to
// its end, so that the copy, the purge, the copy back and the removal of an
// emptied source all work on this very folder, whatever its path comes to
// name meanwhile.
struct HeldRoot {
  enum class State { Unknown, Open, Missing, Refused };
  std::string path;  // as the user's texts name it
  Folder folder;
  State state = State::Unknown;
  std::error_code error;  // why it is not open, when it is not
  bool madeHere = false;  // made by this pair: it holds only what the pair put there
  bool IsOpen() const { return state == State::Open; }
};

// Opens root.path where it exists (Open, Missing or Refused).
void OpenHeldRoot(FileSystem& fs, HeldRoot& root);

// What a source entry names: a folder, or a folder and a mask (a file name
// alone being a mask without wildcards).
struct TreeSource {
  std::string folderPath;  // with its separator, short under -N: where the relative part begins
  std::string mask;        // empty for a whole folder
  bool wasFolder = false;  // the entry names a folder
  HeldRoot* root = nullptr;  // the folder, held
};

// Resolves a source entry, opening its folder into root.
TreeSource OpenTreeSource(FileSystem& fs, const std::string& sourceEntry, bool shortNames, HeldRoot& root);

struct CopyResult {
  int32_t count = 0;
  // The walk ended with the (emptied) source folder to be removed (-X).
  bool removeSource = false;
};

// Copies, moves, lists or deletes the selected files of source into dest
// (whose path may be "NUL") and returns how many were done. Sets the
// session's status on a failure it does not pass over. Raises what
// SelectFile and WriteLog raise, and EFOpen when a file cannot be opened for
// its digest.
CopyResult CopyTree(Session& session, const TreeSource& source, HeldRoot& dest);

// The same for a pair of its own: the roots are opened here, and an emptied
// source root removed at the end.
int32_t CopyTree(Session& session, const std::string& sourceSpec, const std::string& destRoot);

}  // namespace vx
