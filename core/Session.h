// The copy session: its state, shared by the selection, the tree copy and
// the purge, and the run of every source against every destination.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

#include "core/CopyRec.h"
#include "core/EntryList.h"
#include "core/ExtraOptions.h"
#include "core/VeltrixApi.h"
#include "core/WorkPool.h"
#include "platform/Platform.h"

namespace vx {

struct Callbacks {
  ShowErrorProc showError = nullptr;
  SignalStateProc signalState = nullptr;
  ShowFileProc showFile = nullptr;
  AskUserProc askUser = nullptr;
  ShowTotalProc showTotal = nullptr;
  // A host of TryProcessCmdLine may follow each file's progress.
  ShowProgressProc showProgress = nullptr;
  void* progressContext = nullptr;  // handed back to ShowProgress and ShowReport
  // Reasons of failures, notices and the purge's listing, for a host that asks.
  ShowReportProc showReport = nullptr;
};

// What the selection, the tree copy and the purge share for one session.
struct Session {
  CopyRec options{};
  int32_t status = -1;  // SessionStatus: -1 none, 1 cancelled, 2 copy failed, 3 digest differs
  Callbacks callbacks;
  // The mask lists the record names (HasExclude, HasInclude).
  struct {
    EntryList exclusions;
    EntryList inclusions;
  } masks;
  // The whole-word options the record has no field for.
  ExtraOptions extras;
  // Stamped error lines so far, logged or not: any makes the result 2.
  int32_t errors = 0;
  FileSystem& fs;

  explicit Session(FileSystem& files) : fs(files) {}
  bool Running() const { return status == -1; }
  // Appends a line to the log (see WriteLog), counting it in errors when
  // stamped and countsAsError, whether the log is named or not.
  void Log(const std::string& text, bool stamped, bool countsAsError);
  // A failure as each log mode records it: mode 1 brief, mode 2 full, mode
  // 3 full with error's reason and not counted, as mode 3 never counted one,
  // so that the exit codes of earlier runs stay.
  void LogFailure(const std::string& brief, const std::string& full, std::error_code error);
  // Tells the host that the user cancelled, unless silent.
  void SignalCancel() const;
  // Tells the host, where it asked, how far the file path has come in phase
  // (ProgressCopy, ProgressVerify); total is -1 when not known.
  void ShowProgress(const std::string& path, int64_t done, int64_t total, int32_t phase) const;
  // Tells the host, where it asked, one report (Report...); none under
  // Silent but the purge's listing.
  void Report(int32_t kind, const std::string& text) const;
  // A failure and its reason: text (what failed) unless ShowError has just
  // shown it, then the system's reason of error, where there is one.
  void TellFailure(const std::string& text, std::error_code error, bool shown) const;
  // A failure that a -STRICT run counts though nothing was logged (-C).
  bool strictFailed = false;
  // Where files are prepared ahead of the walk, and on how many threads;
  // without one, or with one thread, each file is done in its turn.
  Executor* pool = nullptr;
  int32_t poolThreads = 1;
  // Whether preparing ahead pays: without -THREADS, the session's first
  // files are timed one at a time, and the pool is used only where they
  // were slow (storage where every call waits). On a local disk the
  // hand-over between threads costs more than a file's own calls.
  struct AheadGate {
    bool decided = false;
    bool open = false;
    int files = 0;
    int slow = 0;
    // Counts one file done alone in nanoseconds: open when most were slow
    // (not one slow first file, which makes the destination folder).
    void Time(int64_t spent);
  } aheadGate;
};

// "Raison : " and the system's text for error; empty without an error.
std::string ReasonLine(std::error_code error);
// A failure line of the log: with its reason under log mode 3.
std::string WithLoggedReason(const CopyRec& options, const std::string& line,
                             std::error_code error);

// Runs one session on its own copy of options, with what the parse left
// beside the record (masks, whole-word options), and returns its result: the
// status when one was set, else 0, or 2 when errors were logged. commandLine
// is the process's, for the SILENT test and the log's start line. Unexpected
// failures (list files, the log, an empty mask) pass through as VeltrixError.
// A dry run (-L, -T) changes nothing but the folders -T exists for: no purge
// (-L -SYNCHRONIZE only names the deletions), no copy back, no source
// deleted, no attribute written.
int32_t RunSession(const CopyRec& options, const Callbacks& callbacks, FileSystem& fs,
                   const ParsedState& parsed, const std::string& commandLine);

}  // namespace vx
