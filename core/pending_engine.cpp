// Temporary: stands in until this group is built. Delete this file when it is.
#include "core/HolyCoreUnit.h"
#include "core/Error.h"
#include "support/md5.h"
#include "support/wildcard.h"

namespace vx {
int CompareInts(int32_t, int32_t) { return 0; }
int CompareTimes(double, double) { return 0; }
int CompareDays(double, double) { return 0; }
bool GetFileTimes(FileSystem&, const std::string&, double&, double&, double&) { return false; }
bool SelectFile(Session&, const std::string&, const std::string&) { return false; }
int32_t CopyTree(Session&, const std::string&, const std::string&, std::string) { return 0; }
}  // namespace vx
