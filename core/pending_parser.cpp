// Temporary: stands in until this group is built. Delete this file when it is.
#include "core/HolyCoreUnit.h"
#include "core/Error.h"
#include "support/md5.h"
#include "support/wildcard.h"

namespace vx {
bool FillCopyRecFrom(CopyRec&, const char*) { return false; }
}  // namespace vx
