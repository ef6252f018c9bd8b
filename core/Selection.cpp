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

ErrorOr<FileDays> GetFileTimes(FileSystem& fs, const Folder& folder, std::string_view name) {
  ErrorOr<FileTimes> times = fs.GetFileTimes(folder, name);
  if (!times) return times.error();
  // The base bias only: daylight saving is never applied.
  const ErrorOr<int> zone = TimeZoneBiasMinutes();
  const int bias = zone ? *zone : 0;
  const int64_t stamps[3] = {times->creation, times->lastAccess, times->lastWrite};
  double days[3];
  // A time before 1601 does not convert.
  for (int i = 0; i < 3; ++i) {
    const ErrorOr<double> day = FileTimeToDayNumber(stamps[i], bias);
    days[i] = day ? *day : std::nan("");
  }
  return FileDays{days[0], days[1], days[2]};
}

std::optional<bool> ListedAsHidden(const ListedEntry& entry) {
  const bool hidden = (entry.attributes & (attr::Hidden | attr::System)) != 0;
  // A leading dot hides without a read; a link has no DOS bits of its own.
  if (hidden || entry.attributesRead || entry.link) return hidden;
  return std::nullopt;
}

const ListedEntry* SourceFile::Status() {
  if (entry_.statusRead) return &entry_;
  if (looked_) return nullptr;
  looked_ = true;
  ErrorOr<EntryInfo> info = fs_.Look(folder_, entry_.name);
  if (!info) {
    error_ = info.error();
    return nullptr;
  }
  if (info->kind != EntryKind::File) {
    // No longer the regular file it was listed as: not an entry any more.
    error_ = std::make_error_code(std::errc::no_such_file_or_directory);
    return nullptr;
  }
  entry_.size = info->size;
  entry_.lastWrite = info->lastWrite;
  entry_.fileIndex = info->link ? 0 : info->id.index;
  entry_.attributes = (entry_.attributes & ~attr::ReadOnly) | (info->attributes & attr::ReadOnly);
  entry_.statusRead = true;
  return &entry_;
}

const ErrorOr<FileDays>& SourceFile::Days() {
  if (!days_) days_ = GetFileTimes(fs_, folder_, entry_.name);
  return *days_;
}

bool SourceFile::LeftOut() {
  if (hiddenShown_) return false;
  if (const std::optional<bool> hidden = ListedAsHidden(entry_)) return *hidden;
  ErrorOr<uint32_t> bits = fs_.ListedAttributes(folder_, entry_);
  if (!bits) {
    // Gone since the listing: not an entry any more. Unreadable bits read
    // as none, as where the file system keeps none.
    if (IsMissing(bits.error())) return true;
    bits = entry_.attributes;
  }
  entry_.attributes = *bits;
  entry_.attributesRead = true;
  return (entry_.attributes & (attr::Hidden | attr::System)) != 0;
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

bool PassesNameMasks(const Session& session, const CopyRec& options, const std::string& sourcePath) {
  if (!options.HasExclude && !options.HasInclude) return true;
  const std::string name = MaskedName(sourcePath);
  if (options.HasExclude && AnyMaskMatches(session.masks.exclusions, name)) return false;
  if (options.HasInclude && !AnyMaskMatches(session.masks.inclusions, name)) return false;
  return true;
}

// A source whose last-write time does not convert fails the date test: the
// walk goes on without copying a file whose date is unknown. One whose
// times cannot be read at all is a failed copy, as an unreadable size is;
// one gone since the listing is no entry any more.
Selected PassesDate(const CopyRec& o, const FileToSelect& file) {
  const ErrorOr<FileDays>& days = file.source.Days();
  if (!days) return IsMissing(days.error()) ? Selected::No : Selected::Failed;
  if (std::isnan(days->lastWrite)) return Selected::No;
  bool passes;
  switch (CompareDays(days->lastWrite, o.FilterDate)) {
    case -1: passes = o.DateBefore != 0; break;
    case 0: passes = o.DateEqual != 0; break;
    default: passes = o.DateAfter != 0; break;
  }
  return passes ? Selected::Yes : Selected::No;
}

// The size test does not reject by itself; its verdict goes on. The whole
// 64-bit size takes part.
bool SizeVerdict(const CopyRec& o, const ListedEntry& source) {
  switch (CompareInts(static_cast<int64_t>(source.size), o.FilterSize)) {
    case -1: return o.SizeBelow != 0;
    case 0: return o.SizeEqual != 0;
    default: return o.SizeAbove != 0;
  }
}

// The identical-target test on size and packed time (two-second steps), and
// under BISYNCHRONIZE the rule that an older file never replaces a newer one.
bool SameFileVerdict(const CopyRec& options, const ListedEntry& source, const EntryInfo& dest,
                     bool verdict) {
  // A time outside the packed range compares as -1.
  const ErrorOr<int32_t> sourceTime = FileTimeToPackedLocal(source.lastWrite);
  const ErrorOr<int32_t> destTime = FileTimeToPackedLocal(dest.lastWrite);
  const int times = CompareTimes(sourceTime ? *sourceTime : -1, destTime ? *destTime : -1);
  if (source.size == dest.size && times == 0) return false;
  if (options.SyncMode == 2 && times == -1) return false;
  return verdict;
}

// Whether the target is the source itself (a folder given twice, a link, a
// hard link), by identity. A source that is a link is looked at for it.
bool IsTheSource(FileSystem& fs, const FileToSelect& file, const ListedEntry& source,
                 const EntryInfo& dest) {
  if (source.fileIndex != 0)
    return dest.id == FileId{file.sourceFolder.Id().device, source.fileIndex};
  ErrorOr<EntryInfo> looked = fs.Look(file.sourceFolder, source.name);
  return looked && looked->id == dest.id;
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

Verdict JudgeFile(const Session& session, const CopyRec& o, const FileToSelect& file) {
  // A hidden file is never tested: whether it is one is asked before
  // anything a user could see (a mask's failure, a file opened for its
  // dates, a log line, a question, the copy), and only then.
  SourceFile& source = file.source;
  if ((o.HasExclude || o.HasInclude) && source.LeftOut()) return Verdict::No;
  if (!PassesNameMasks(session, o, file.sourcePath)) return Verdict::No;
  // A target that could not be looked at is never taken for a missing one.
  if (o.ExistingOnly) {
    const Lookup& target = file.target.Find();
    if (target.Unknown()) return source.LeftOut() ? Verdict::No : Verdict::Failed;
    if (!target.IsFile()) return Verdict::No;
  }
  if ((o.ArchiveOnly || o.ArchiveClear) &&
      (source.LeftOut() || !(source.Entry().attributes & attr::Archive)))
    return Verdict::No;
  if (!o.NoDateFilter) {
    if (source.LeftOut()) return Verdict::No;
    const Selected date = PassesDate(o, file);
    if (date != Selected::Yes) return date == Selected::No ? Verdict::No : Verdict::Failed;
  }

  bool verdict = true;
  const Lookup& target = file.target.Find();
  // The identical-file test, the two-way rule and the -P question read the
  // target: unknown, none of them can be answered. FORCE alone reads none.
  if (target.Unknown() && (!o.Force || o.PromptCreate))
    return source.LeftOut() ? Verdict::No : Verdict::Failed;
  const EntryInfo* dest = target.IsFile() ? &target.Info() : nullptr;
  // The source's size and time take part only in these tests.
  const ListedEntry* status = nullptr;
  if (!o.NoSizeFilter || dest) {
    status = source.Status();
    if (!status) return IsMissing(source.error()) ? Verdict::No : Verdict::Failed;
  }
  if (!o.NoSizeFilter) verdict = SizeVerdict(o, *status);
  if (dest && !o.Force) verdict = SameFileVerdict(o, *status, *dest, verdict);
  // A target that is the source itself is never copied onto itself, even under FORCE.
  if (dest && verdict && IsTheSource(session.fs, file, *status, *dest)) verdict = false;
  if (!verdict) {
    // Without a log the line changes nothing: a skipped file is not asked
    // whether it is hidden.
    return LogNamed(o) && !source.LeftOut() ? Verdict::Same : Verdict::No;
  }
  if (source.LeftOut()) return Verdict::No;
  return o.PromptCreate && !dest ? Verdict::Ask : Verdict::Yes;
}

Selected SelectFile(Session& session, const FileToSelect& file) {
  switch (JudgeFile(session, session.options, file)) {
    case Verdict::Yes: return Selected::Yes;
    case Verdict::Failed: return Selected::Failed;
    case Verdict::No: return Selected::No;
    case Verdict::Same:
      session.Log(LogName(file.sourcePath) + " = " + LogName(file.destPath), true, false);
      return Selected::No;
    case Verdict::Ask: break;
  }
  return ConfirmCreation(session, file.destPath) ? Selected::Yes : Selected::No;
}

}  // namespace vx
