// The mirror's purge: removes from the destination what the source lacks.
#pragma once

#include <string>

#include "core/Session.h"

namespace vx {

// Deletes below dest every file and folder without a counterpart of the
// same name and kind under source (both held by the caller). Failed
// deletions stay. Deletes nothing in or below a folder whose source cannot
// be listed whole, nothing when the source is the destination or lies inside
// it (bind mounts included), and nothing under -X, where the run itself
// empties the source. A destination folder that cannot be listed whole keeps
// what it holds, and is logged as an error. Under -L nothing is deleted: each
// deletion the run would make is named to the host instead (ShowReport).
// Under log mode 3 every deletion, and every failed one with its reason, is
// logged. Raises what WriteLog raises.
void PurgeDestination(Session& session, const Folder& dest, const std::string& destPath,
                      const Folder& source);
// The same for two folders named by path, opened here.
void PurgeDestination(Session& session, const std::string& target, const std::string& reference);

}  // namespace vx
