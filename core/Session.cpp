// The copy session: every source entry against every destination entry, the
// log's session lines, the total and the result code.
#include <cstdio>

#include "core/CommandLine.h"
#include "core/EntryList.h"
#include "core/Log.h"
#include "core/Purge.h"
#include "core/Session.h"
#include "core/Text.h"
#include "core/TreeCopy.h"

namespace vx {

void Session::SignalCancel() const {
  if (!options.Silent && callbacks.signalState) callbacks.signalState(StateCancelled);
}

namespace {

std::string StartLine(const CopyRec& options, FileSystem& fs) {
  // The date-time text is already in the ANSI code page: it is not converted again.
  return "\r\n[" + DateTimeText() + Utf8ToAnsi(" : Début de copie : ") +
         Quoted(FieldText(options.Source)) + " -> " + Quoted(FieldText(options.Destination)) +
         Utf8ToAnsi(" (Dossier courant : ") + Quoted(fs.CurrentDirectory()) +
         Utf8ToAnsi(" ; Ligne de commande : ") + ProcessCommandLine() + ")]\r\n";
}

std::string EndLine(const CopyRec& options, int32_t copied) {
  const int32_t errors = ErrorCount;
  return "\r\n[" + DateTimeText() + Utf8ToAnsi(" : Fin de copie : ") + FieldText(options.Source) +
         " -> " + FieldText(options.Destination) + ". " + std::to_string(copied) +
         Utf8ToAnsi(" fichiers copiés. ") + std::to_string(errors) +
         Utf8ToAnsi(" erreurs. Total de fichiers traités : ") +
         std::to_string(static_cast<int64_t>(copied) + errors) + "]\r\n";
}

// One source entry against one destination entry, in the mode the options ask.
int32_t CopyPair(Session& session, const std::string& source, const std::string& destination) {
  const bool toNull = destination == "NUL";
  const std::string destRoot = toNull ? destination : session.fs.FullPath(destination);
  int32_t copied = CopyTree(session, source, destRoot, std::string());
  // Neither a purge nor a copy back make sense against the null device.
  if (toNull) return copied;
  if (session.options.SyncMode == 1) {
    PurgeDestination(session, destRoot, session.fs.FullPath(source));
  } else if (session.options.SyncMode == 2) {
    copied += CopyTree(session, destination, source, std::string());
  }
  return copied;
}

}  // namespace

int32_t RunSession(const CopyRec& options, const Callbacks& callbacks, FileSystem& fs) {
  Session session(fs);
  session.options = options;
  session.status = -1;
  ErrorCount = 0;

  if (callbacks.signalState && !CommandLineHasSwitch(ProcessCommandLine(), {"SILENT"}))
    callbacks.signalState(StateSessionOpen);
  session.callbacks = callbacks;

  if (options.ConfirmStart && callbacks.askUser) callbacks.askUser(AskStartCopy, nullptr);
  WriteLog(session.options, StartLine(options, fs), false, true);
  if (!options.Silent && callbacks.signalState) callbacks.signalState(StateCopyBegins);

  int32_t copied = 0;
  {
    EntryList sources, destinations;
    SplitEntryList(FieldText(options.Source), ';', sources);
    SplitEntryList(FieldText(options.Destination), ';', destinations);
    for (const std::string& source : sources) {
      for (const std::string& destination : destinations) {
        if (!session.Running()) break;
        // An empty entry would name the root of the file system or drive.
        if (source.empty() || destination.empty()) continue;
        copied += CopyPair(session, source, destination);
      }
    }
  }

  if (callbacks.showTotal) callbacks.showTotal(copied);
  WriteLog(session.options, EndLine(options, copied), false, true);
  if (options.LogLines != -1) TrimLog(session.options);

  if (!session.Running()) return session.status;
  return ErrorCount == 0 ? ResultOk : ResultCopyFailed;
}

}  // namespace vx
