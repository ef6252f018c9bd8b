// The mirror's purge: removes from the destination what the source lacks.
#pragma once

#include <string>

#include "core/Session.h"

namespace vx {

// Deletes below target every file and folder without a counterpart of the
// same name and kind under reference. Raises nothing; failed deletions stay.
void PurgeDestination(Session& session, const std::string& target, const std::string& reference);
// One spelling per path: full, single separators, case folded where names ignore case.
std::string PlacedKey(FileSystem& fs, const std::string& path);

}  // namespace vx
