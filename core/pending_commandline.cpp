// Temporary: stands in until this group is built. Delete this file when it is.
#include "core/HolyCoreUnit.h"
#include "core/Error.h"
#include "support/md5.h"
#include "support/wildcard.h"

namespace vx {
std::vector<std::string> CutArguments(const std::string&) { return {}; }
bool CommandLineHasSwitch(const std::string&, const std::vector<std::string>&) { return false; }
}  // namespace vx
