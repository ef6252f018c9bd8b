// The engine's operations: entry lists, parser, log, selection, tree copy,
// purge and session. Each group lives in its own source file.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/CopyRec.h"
#include "core/VeltrixApi.h"
#include "platform/Platform.h"

namespace vx {

// The text of a fixed field of the record, up to its NUL (at most 2048 characters).
inline std::string FieldText(const char* field) {
  std::size_t length = 0;
  while (length < kMaxTextLength && field[length] != '\0') ++length;
  return std::string(field, length);
}

// Paths with and without their trailing separator ("/" alone stays).
inline std::string WithSeparator(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back()) ? path : path + kPathSeparator;
}
inline std::string WithoutSeparator(std::string path) {
  while (path.size() > 1 && IsPathSeparator(path.back())) path.pop_back();
  return path;
}
inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// ---- Entry lists (EntryList.cpp) ---------------------------------------------

using EntryList = std::vector<std::string>;

// Cuts text at separator into trimmed entries, reading "file:" list files.
// target must be empty.
void SplitEntryList(std::string text, char separator, EntryList& target);
void AddListEntry(const std::string& entry, EntryList& target);

// The library-wide mask lists, alive from load to unload, never emptied.
EntryList& ExclusionList();
EntryList& InclusionList();

// Upper-cases the letters a to z only.
std::string UpperAscii(std::string text);

// ---- Parser (Parser.cpp) -------------------------------------------------------

bool FillCopyRecFrom(CopyRec& options, const char* arguments);
// Cuts a command line into arguments by the program's rule (blanks and
// control characters separate, double quotes group and are dropped).
std::vector<std::string> CutArguments(const std::string& commandLine);
// Whether the process's own arguments (program name excluded) hold a switch
// whose rest equals one of names in any letter case.
bool CommandLineHasSwitch(const std::string& commandLine, const std::vector<std::string>& names);

// ---- Log (Log.cpp) -------------------------------------------------------------

// Library-wide count of stamped error lines.
extern int32_t ErrorCount;

std::string DateTimeText();
// The same text for a given moment: date, then the time unless it is 00:00:00.
std::string DateTimeText(const LocalDateTime& moment);
void WriteLog(const CopyRec& options, const std::string& text, bool stamped, bool countsAsError);
void TrimLog(const CopyRec& options);

// ---- Session state ------------------------------------------------------------

struct Callbacks {
  ShowErrorProc showError = nullptr;
  SignalStateProc signalState = nullptr;
  ShowFileProc showFile = nullptr;
  AskUserProc askUser = nullptr;
  ShowTotalProc showTotal = nullptr;
};

// What the selection, the tree copy and the purge share for one session.
struct Session {
  CopyRec options{};
  int32_t status = -1;  // SessionStatus: -1 none, 1 cancelled, 2 copy failed, 3 digest differs
  Callbacks callbacks;
  FileSystem& fs;
  // Files a mirroring move put in a destination (keys of PlacedKey): the
  // purge never deletes them, though their sources are gone.
  std::set<std::string> placed;

  explicit Session(FileSystem& files) : fs(files) {}
  bool Running() const { return status == -1; }
  // Tells the host that the user cancelled, unless silent.
  void SignalCancel() const;
};

// ---- Selection (Selection.cpp) ------------------------------------------------

// Sizes are compared whole, so the operands are 64-bit.
int CompareInts(int64_t a, int64_t b);
int CompareTimes(double a, double b);
int CompareDays(double a, double b);
bool GetFileTimes(FileSystem& fs, const std::string& path, double& creation, double& access,
                  double& lastWrite);
bool SelectFile(Session& session, const std::string& sourcePath, const std::string& destPath);

// ---- Tree copy (TreeCopy.cpp) ---------------------------------------------------

int32_t CopyTree(Session& session, const std::string& sourceSpec, const std::string& destRoot,
                 std::string sourceRoot);

// ---- Purge (Purge.cpp) ----------------------------------------------------------

void PurgeDestination(Session& session, const std::string& target, const std::string& reference);
// One spelling per path: full, single separators, case folded where names ignore case.
std::string PlacedKey(FileSystem& fs, const std::string& path);

// ---- Session (Session.cpp) ------------------------------------------------------

int32_t RunSession(const CopyRec& options, const Callbacks& callbacks, FileSystem& fs);

}  // namespace vx
