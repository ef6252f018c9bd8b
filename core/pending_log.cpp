// Temporary: stands in until this group is built. Delete this file when it is.
#include "core/HolyCoreUnit.h"
#include "core/Error.h"
#include "support/md5.h"
#include "support/wildcard.h"

namespace vx {
static void Pending() { VX_RAISE("EPending", "pas encore construit"); }
int32_t ErrorCount = 0;
std::string DateTimeText() { return {}; }
void WriteLog(const CopyRec&, const std::string&, bool, bool) { Pending(); }
void TrimLog(const CopyRec&) { Pending(); }
}  // namespace vx
