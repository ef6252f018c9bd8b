// Temporary: stands in until this group is built. Delete this file when it is.
#include "core/HolyCoreUnit.h"
#include "core/Error.h"
#include "support/md5.h"
#include "support/wildcard.h"

namespace vx {
static void Pending() { VX_RAISE("EPending", "pas encore construit"); }
void SplitEntryList(std::string, char, EntryList&) { Pending(); }
void AddListEntry(const std::string&, EntryList&) { Pending(); }
EntryList& ExclusionList() { static EntryList l; return l; }
EntryList& InclusionList() { static EntryList l; return l; }
std::string UpperAscii(std::string t) { return t; }
}  // namespace vx
