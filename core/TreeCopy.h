// The tree copy: one source folder or mask into one destination root.
#pragma once

#include <cstdint>
#include <string>

#include "core/Session.h"

namespace vx {

// Copies, moves, lists or deletes the selected files of sourceSpec into
// destRoot (or "NUL") and returns how many were done. Sets the session's
// status on a failure it does not pass over. Raises what SelectFile and
// WriteLog raise, and EFOpen when a file cannot be opened for its digest.
int32_t CopyTree(Session& session, const std::string& sourceSpec, const std::string& destRoot);

}  // namespace vx
