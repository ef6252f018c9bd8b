// The mirror's purge: removes from the destination what the source lacks.
#pragma once

#include <string>

#include "core/Session.h"

namespace vx {

// Deletes below target every file and folder without a counterpart of the
// same name and kind under reference. Raises nothing; failed deletions stay.
// Deletes nothing in or below a folder whose source cannot be listed whole,
// nothing when the source is the destination or lies inside it, and nothing
// under -X, where the run itself empties the source.
void PurgeDestination(Session& session, const std::string& target, const std::string& reference);

}  // namespace vx
