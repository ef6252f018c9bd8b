// The file selection: whether one file found by the tree copy is copied.
#include <cmath>

#include "core/CommandLine.h"
#include "core/EntryList.h"
#include "core/Log.h"
#include "core/Selection.h"
#include "core/Text.h"
#include "support/wildcard.h"

namespace vx {

int CompareInts(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareTimes(double a, double b) {
  constexpr long double kOneMillisecond = 1.0L / 86400000.0L;
  const long double difference = std::fabs(static_cast<long double>(a) - b);
  if (difference < kOneMillisecond) return 0;
  return a > b ? 1 : -1;
}

int CompareDays(double a, double b) {
  if (std::trunc(a) == std::trunc(b)) return 0;
  return a > b ? 1 : -1;
}

bool GetFileTimes(FileSystem& fs, const std::string& path, double& creation, double& access,
                  double& lastWrite) {
  int64_t times[3];
  if (!fs.GetFileTimes(path, times)) return false;
  // The base bias only: daylight saving is never applied.
  const int bias = TimeZoneBiasMinutes();
  double* outputs[3] = {&creation, &access, &lastWrite};
  for (int i = 0; i < 3; ++i) {
    double day = 0;
    if (FileTimeToDayNumber(times[i], bias, day)) *outputs[i] = day;
  }
  return true;
}

namespace {

// The name the masks see: after the last separator, letters a to z upper-cased.
std::string MaskedName(const std::string& sourcePath) {
  return UpperAscii(sourcePath.substr(FolderPartLength(sourcePath)));
}

// Every mask is tried, without an early stop, so that an empty one always
// surfaces as the failure it is.
bool AnyMaskMatches(const EntryList& masks, const std::string& name) {
  bool matched = false;
  for (const std::string& mask : masks) {
    if (WildcardMatch(mask, name, 1)) matched = true;
  }
  return matched;
}

bool PassesNameMasks(const CopyRec& options, const std::string& name) {
  if (options.HasExclude && AnyMaskMatches(ExclusionList(), name)) return false;
  if (options.HasInclude && !AnyMaskMatches(InclusionList(), name)) return false;
  return true;
}

// A source whose times cannot be read, or whose last-write time does not
// convert, fails the date test: the walk goes on without copying a file
// whose date is unknown.
bool PassesDate(Session& session, const std::string& sourcePath) {
  const CopyRec& o = session.options;
  const double unknown = std::nan("");
  double creation = unknown, access = unknown, lastWrite = unknown;
  if (!GetFileTimes(session.fs, sourcePath, creation, access, lastWrite) || std::isnan(lastWrite))
    return false;
  switch (CompareDays(lastWrite, o.FilterDate)) {
    case -1: return o.DateBefore != 0;
    case 0: return o.DateEqual != 0;
    default: return o.DateAfter != 0;
  }
}

// One file's look-ups during its selection: each path is searched at most
// once, in the order the tests ask, and the answer shared by the tests that
// follow (a found target is also an existing one).
class Lookups {
 public:
  Lookups(FileSystem& fs, const std::string& sourcePath, const std::string& destPath)
      : fs_(fs), sourcePath_(sourcePath), destPath_(destPath) {}
  const DirEntry* Source() { return Find(sourcePath_, source_, sourceState_); }
  const DirEntry* Dest() { return Find(destPath_, dest_, destState_); }

 private:
  enum class State { Unknown, Found, Missing };
  const DirEntry* Find(const std::string& path, DirEntry& entry, State& state) {
    if (state == State::Unknown) state = fs_.FindFile(path, entry) ? State::Found : State::Missing;
    return state == State::Found ? &entry : nullptr;
  }

  FileSystem& fs_;
  const std::string& sourcePath_;
  const std::string& destPath_;
  DirEntry source_, dest_;
  State sourceState_ = State::Unknown, destState_ = State::Unknown;
};

// The size test does not reject by itself; its verdict goes on. The whole
// 64-bit size takes part.
bool SizeVerdict(Session& session, Lookups& lookups, bool verdict) {
  const CopyRec& o = session.options;
  const DirEntry* entry = lookups.Source();
  if (!entry) return verdict;
  switch (CompareInts(static_cast<int64_t>(entry->size), o.FilterSize)) {
    case -1: return o.SizeBelow != 0;
    case 0: return o.SizeEqual != 0;
    default: return o.SizeAbove != 0;
  }
}

// The identical-target test on size and packed time (two-second steps), and
// under BISYNCHRONIZE the rule that an older file never replaces a newer one.
bool SameFileVerdict(Session& session, Lookups& lookups, bool verdict) {
  const DirEntry* source = lookups.Source();
  const DirEntry* dest = source ? lookups.Dest() : nullptr;
  if (!dest) return verdict;
  const int times = CompareTimes(FileTimeToPackedLocal(source->lastWrite),
                                 FileTimeToPackedLocal(dest->lastWrite));
  if (source->size == dest->size && times == 0) return false;
  if (session.options.SyncMode == 2 && times == -1) return false;
  return verdict;
}

bool ConfirmCreation(Session& session, const std::string& destPath) {
  const AskUserProc ask = session.callbacks.askUser;
  // Without a way to ask, nobody can refuse.
  if (!ask) return true;
  switch (ask(AskCreateFile, destPath.c_str())) {
    case AnswerNo:
      return false;
    case AnswerAll:
      session.options.PromptCreate = 0;
      return true;
    case AnswerCancel:
      session.SignalCancel();
      session.status = ResultCancelled;
      return true;  // the file asked about is still copied
    default:
      return true;
  }
}

}  // namespace

bool SelectFile(Session& session, const std::string& sourcePath, const std::string& destPath) {
  CopyRec& o = session.options;
  FileSystem& fs = session.fs;
  if (!PassesNameMasks(o, MaskedName(sourcePath))) return false;
  const bool toNull = destPath == "NUL";
  Lookups lookups(fs, sourcePath, destPath);
  // A target is an existing file exactly when the file search finds it.
  if (o.ExistingOnly && (toNull ? !fs.FileExists(destPath) : !lookups.Dest())) return false;
  if ((o.ArchiveOnly || o.ArchiveClear) && !(fs.GetAttributes(sourcePath) & attr::Archive))
    return false;
  if (!o.NoDateFilter && !PassesDate(session, sourcePath)) return false;

  bool verdict = true;
  if (!o.NoSizeFilter) verdict = SizeVerdict(session, lookups, verdict);
  const bool destExists = !toNull && lookups.Dest();
  if (destExists && !o.Force) verdict = SameFileVerdict(session, lookups, verdict);
  // A target that is the source itself (a folder given twice, a link, a hard
  // link) is never copied onto itself, even under FORCE.
  if (destExists && verdict && fs.SameFile(sourcePath, destPath)) verdict = false;
  if (!verdict) {
    WriteLog(o, sourcePath + " = " + destPath, true, false);
    return false;
  }
  if (o.PromptCreate && !destExists) return ConfirmCreation(session, destPath);
  return true;
}

}  // namespace vx
