// Temporary: engine groups not built yet. Each group replaces its part.
#include "core/HolyCoreUnit.h"
#include "core/Error.h"
#include "support/md5.h"
#include "support/wildcard.h"

namespace vx {
int32_t ErrorCount = 0;
static void Pending() { VX_RAISE("EPending", "pas encore construit"); }
void SplitEntryList(std::string, char, EntryList&) { Pending(); }
void AddListEntry(const std::string&, EntryList&) { Pending(); }
EntryList& ExclusionList() { static EntryList l; return l; }
EntryList& InclusionList() { static EntryList l; return l; }
std::string UpperAscii(std::string t) { return t; }
bool FillCopyRecFrom(CopyRec&, const char*) { return false; }
std::vector<std::string> CutArguments(const std::string&) { return {}; }
bool CommandLineHasSwitch(const std::string&, const std::vector<std::string>&) { return false; }
std::string DateTimeText() { return {}; }
void WriteLog(const CopyRec&, const std::string&, bool, bool) { Pending(); }
void TrimLog(const CopyRec&) { Pending(); }
void Session::SignalCancel() const {}
int CompareInts(int32_t, int32_t) { return 0; }
int CompareTimes(double, double) { return 0; }
int CompareDays(double, double) { return 0; }
bool GetFileTimes(FileSystem&, const std::string&, double&, double&, double&) { return false; }
bool SelectFile(Session&, const std::string&, const std::string&) { return false; }
int32_t CopyTree(Session&, const std::string&, const std::string&, std::string) { return 0; }
void PurgeDestination(Session&, const std::string&, const std::string&) {}
int32_t RunSession(const CopyRec&, const Callbacks&, FileSystem&) { Pending(); return 0; }
bool WildcardMatch(const std::string&, const std::string&, std::size_t) { Pending(); return false; }
}  // namespace vx
