// The file selection: whether one file found by the tree copy is copied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Session.h"
#include "core/Walker.h"

namespace vx {

// -1, 0 or 1 as a is below, equal to or above b. Sizes are compared whole.
int CompareInts(int64_t a, int64_t b);
// 0 when the two day numbers lie less than a millisecond apart.
int CompareTimes(double a, double b);
// 0 when the two day numbers fall on the same day.
int CompareDays(double a, double b);
// The three time stamps of a file as local day numbers (base bias only);
// NaN for a time that does not convert.
struct FileDays {
  double creation, access, lastWrite;
};
// The time stamps of the file name in folder, or why they could not be read.
ErrorOr<FileDays> GetFileTimes(FileSystem& fs, const Folder& folder, std::string_view name);

// The destination entry of one file, looked up at most once and only when a
// test asks for it: present, absent, or unknown when it could not be looked at.
class TargetLookup {
 public:
  virtual ~TargetLookup() = default;
  virtual const Lookup& Find() = 0;
};

// What a listed source file tells only at the cost of a look-up, asked once
// and only when something depends on it: its size, time and identity, and,
// without -H, whether it is hidden (the listing then leaves that open).
class SourceFile {
 public:
  SourceFile(FileSystem& fs, const Folder& folder, const ListedEntry& entry, bool hiddenShown)
      : fs_(fs), folder_(folder), entry_(entry), hiddenShown_(hiddenShown) {}
  // The entry, with what has been read of it so far.
  const ListedEntry& Entry() const { return entry_; }
  // The entry with its status read; nullptr when it could not be looked at
  // (error() says why: IsMissing when the file is gone since the listing).
  const ListedEntry* Status();
  // Whether the file is one the walk does not see: hidden or system without
  // -H, or gone since the listing.
  bool LeftOut();
  // Its time stamps, read once.
  const ErrorOr<FileDays>& Days();
  std::error_code error() const { return error_; }

 private:
  FileSystem& fs_;
  const Folder& folder_;
  ListedEntry entry_;
  const bool hiddenShown_;
  bool looked_ = false;
  std::error_code error_;
  std::optional<ErrorOr<FileDays>> days_;
};

// Whether a listed entry is hidden or system as far as its listing tells;
// nullopt when that needs its DOS bits read (FileSystem::ListedAttributes).
std::optional<bool> ListedAsHidden(const ListedEntry& entry);

// One file as the tree copy found it.
struct FileToSelect {
  const std::string& sourcePath;  // the texts of the log, the masks and the question
  const std::string& destPath;    // "NUL" for the null destination
  SourceFile& source;             // its listing entry, and what costs a look-up to tell
  const Folder& sourceFolder;     // where it lies, for its time stamps and identity
  TargetLookup& target;
};

enum class Selected {
  No,
  Yes,
  // What a test needed could not be read: the source's status or dates, or
  // the target (under -U, -P, the identical-file test and the two-way rule).
  // Nothing is judged on it: for the tree copy a failed copy.
  Failed,
};

// What SelectFile decides, with nothing done that a user could see: only
// look-ups, which file.source and file.target keep. Same: not copied, with
// the " = " line for the log; Ask: copied if the user agrees (-P). Reads the
// options and masks only, so that work ahead of the walk may judge a file
// on another thread. Raises what WildcardMatch raises.
enum class Verdict { No, Same, Yes, Ask, Failed };
Verdict JudgeFile(const Session& session, const CopyRec& options, const FileToSelect& file);

// Yes to copy. May log " = " lines, ask AskCreateFile, clear PromptCreate
// and set the status to cancelled. Nothing a user can see happens for a file
// that turns out to be hidden (without -H) or gone: No without a line.
// Failed, without a line, when something a test needed could not be read
// (file.source.error() or the target's Find() says why). Raises what
// WildcardMatch and WriteLog raise.
Selected SelectFile(Session& session, const FileToSelect& file);

}  // namespace vx
