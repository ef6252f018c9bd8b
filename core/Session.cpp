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

void Session::Log(const std::string& text, bool stamped, bool countsAsError) {
  // Counted before the log's name is looked at: errors count with no log too.
  if (stamped && countsAsError) ++errors;
  WriteLog(fs, options, text, stamped);
}

void Session::LogFailure(const std::string& brief, const std::string& full, std::error_code error) {
  if (options.LogMode == 1) Log(brief, true, true);
  if (options.LogMode == 2) Log(full, true, true);
  if (options.LogMode == 3) Log(WithLoggedReason(options, full, error), true, false);
}

void Session::ShowProgress(const std::string& path, int64_t done, int64_t total,
                           int32_t phase) const {
  if (callbacks.showProgress)
    callbacks.showProgress(path.c_str(), done, total, phase, callbacks.progressContext);
}

void Session::Report(int32_t kind, const std::string& text) const {
  if (!callbacks.showReport || (options.Silent && kind != ReportPurgeListed)) return;
  callbacks.showReport(kind, text.c_str(), callbacks.progressContext);
}

void Session::TellFailure(const std::string& text, std::error_code error, bool shown) const {
  if (!shown) Report(ReportFailure, text);
  if (error) Report(ReportReason, ReasonLine(error));
}

std::string ReasonLine(std::error_code error) {
  if (!error) return std::string();
  return Utf8ToAnsi("Raison : ") + ReasonText(error);
}

std::string WithLoggedReason(const CopyRec& options, const std::string& line,
                             std::error_code error) {
  if (options.LogMode != 3 || !error) return line;
  return line + " " + LogName(ReasonLine(error));
}

namespace {

std::string StartLine(const CopyRec& options, FileSystem& fs, const std::string& commandLine) {
  // The date-time text is already in the ANSI code page: it is not converted
  // again. A current folder that cannot be named reads as ".", as a relative path would.
  ErrorOr<std::string> current = fs.CurrentDirectory();
  return "\r\n[" + DateTimeText() + Utf8ToAnsi(" : Début de copie : ") +
         Quoted(LogName(FieldText(options.Source))) + " -> " +
         Quoted(LogName(FieldText(options.Destination))) + Utf8ToAnsi(" (Dossier courant : ") +
         Quoted(LogName(current ? *current : std::string("."))) +
         Utf8ToAnsi(" ; Ligne de commande : ") + LogName(commandLine) + ")]\r\n";
}

std::string EndLine(const CopyRec& options, int32_t copied, int32_t errors) {
  return "\r\n[" + DateTimeText() + Utf8ToAnsi(" : Fin de copie : ") +
         LogName(FieldText(options.Source)) + " -> " + LogName(FieldText(options.Destination)) +
         ". " + std::to_string(copied) +
         Utf8ToAnsi(" fichiers copiés. ") + std::to_string(errors) +
         Utf8ToAnsi(" erreurs. Total de fichiers traités : ") +
         std::to_string(static_cast<int64_t>(copied) + errors) + "]\r\n";
}

// An entry made absolute; as typed when the current folder cannot be named.
std::string MadeAbsolute(FileSystem& fs, const std::string& path) {
  ErrorOr<std::string> full = fs.FullPath(path);
  return full ? *full : path;
}

// One source entry against one destination entry, in the mode the options
// ask. Both roots are held from the pair's start to its end: the purge, the
// copy back and the removal of an emptied source work on the folders the
// copy worked on, whatever their paths come to name meanwhile.
int32_t CopyPair(Session& session, const std::string& source, const std::string& destination) {
  const CopyRec& o = session.options;
  FileSystem& fs = session.fs;
  const bool toNull = destination == "NUL";
  HeldRoot sourceRoot, destRoot;
  destRoot.path = toNull ? destination : MadeAbsolute(fs, destination);
  const TreeSource tree = OpenTreeSource(fs, source, o.ShortNames != 0, sourceRoot);
  if (!toNull) OpenHeldRoot(fs, destRoot);
  const CopyResult there = CopyTree(session, tree, destRoot);
  int32_t copied = there.count;
  // Only a folder mirrors a folder, or takes copies back.
  const bool folders = tree.wasFolder && sourceRoot.IsOpen();
  // Neither a purge nor a copy back make sense against the null device, and
  // a run that only lists (-L) or makes folders (-T) deletes and copies nothing.
  CopyResult back;
  HeldRoot otherSource, otherDest;
  TreeSource reverse;
  if (!toNull && !o.TreeOnly) {
    if (o.SyncMode == 1 && folders && destRoot.IsOpen()) {
      // Under -L the purge only names what it would delete.
      PurgeDestination(session, destRoot.folder, destRoot.path, sourceRoot.folder);
    } else if (o.SyncMode == 2 && !o.ListOnly) {
      // The copy back names both entries as typed.
      if (destRoot.IsOpen()) {
        reverse.folderPath = WithSeparator(destination);
        if (o.ShortNames) {
          ErrorOr<std::string> shortPath = fs.ShortPath(WithoutTrailingSeparators(destination));
          if (shortPath) reverse.folderPath = WithSeparator(*shortPath);
        }
        reverse.wasFolder = true;
        reverse.root = &destRoot;
      } else {
        reverse = OpenTreeSource(fs, destination, o.ShortNames != 0, otherSource);
      }
      // Into the held source folder, which its entry names as typed.
      otherDest.path = source;
      back = CopyTree(session, reverse, folders ? sourceRoot : otherDest);
      copied += back.count;
    }
  }
  // Emptied roots go last, each as the very folder held (-X).
  if (there.removeSource && folders) (void)fs.RemoveRoot(sourceRoot.folder);
  if (back.removeSource && reverse.wasFolder && reverse.root && reverse.root->IsOpen())
    (void)fs.RemoveRoot(reverse.root->folder);
  return copied;
}

// Whether a source entry names nothing: no such file or folder, or a mask
// that matches no entry. In doubt (what cannot be looked at), it names something.
bool NamesNothing(FileSystem& fs, const std::string& entry) {
  const ErrorOr<EntryInfo> named = fs.LookPath(entry);
  if (named || !IsMissing(named.error())) return false;
  const std::size_t folderLength = FolderPartLength(entry);
  const std::string mask = entry.substr(folderLength);
  if (mask.find_first_of("*?") == std::string::npos) return true;
  ErrorOr<Folder> folder = fs.OpenRoot(folderLength ? entry.substr(0, folderLength) : ".");
  if (!folder) return IsMissing(folder.error());
  ListOptions options;
  options.includeHidden = true;
  options.withAttributes = false;
  options.withStatus = false;
  options.mask = mask;
  const ErrorOr<Listing> listing = fs.List(*folder, options);
  return listing && listing->Count() == 0;
}

// A source entry that names nothing: a notice; under -STRICT a failed copy.
// true when the entry's pairs are to be run.
bool CheckSourceNamesSomething(Session& session, const std::string& source) {
  if (!NamesNothing(session.fs, source)) return true;
  session.Report(ReportNotice, Utf8ToAnsi("La source ") + Quoted(source) +
                                   Utf8ToAnsi(" ne désigne aucun fichier ni dossier."));
  if (!session.extras.strict) return true;
  const std::string text = "Erreur lors de la copie de " + Quoted(LogName(source)) + ".";
  session.LogFailure(text, text, std::error_code());
  if (session.options.IgnoreErrors) {
    session.strictFailed = true;
    return true;
  }
  session.status = ResultCopyFailed;
  return false;
}

}  // namespace

void Session::AheadGate::Time(int64_t spent) {
  constexpr int kFiles = 16;
  constexpr int64_t kSlowFile = 250'000;  // ns: a tenth of a network round trip or so
  if (spent >= kSlowFile) ++slow;
  if (++files < kFiles) return;
  decided = true;
  open = slow > files / 2;
}

int32_t RunSession(const CopyRec& options, const Callbacks& callbacks, FileSystem& fs,
                   const ParsedState& parsed, const std::string& commandLine) {
  Session session(fs);
  session.options = options;
  session.masks.exclusions = parsed.exclusions;
  session.masks.inclusions = parsed.inclusions;
  session.extras = parsed.extras;
  session.status = -1;

  if (callbacks.signalState && !CommandLineHasSwitch(commandLine, {"SILENT"}))
    callbacks.signalState(StateSessionOpen);
  session.callbacks = callbacks;

  if (options.ConfirmStart && callbacks.askUser) callbacks.askUser(AskStartCopy, nullptr);
  // Said once, and the copies are made as without -OWNER: no file fails for it.
  if (session.extras.keepOwner && !fs.MayChangeOwners())
    session.Report(ReportNotice, Utf8ToAnsi("Attention : ce processus ne peut pas changer le propriétaire des fichiers "
                           "(-OWNER) ; les copies auront celui du processus."));
  session.Log(StartLine(options, fs, commandLine), false, true);
  if (!options.Silent && callbacks.signalState) callbacks.signalState(StateCopyBegins);

  // Files are prepared ahead on other threads where the file system
  // allows it, and where no question comes before each file (-P).
  const int32_t threads = session.extras.threads ? session.extras.threads : kDefaultThreads;
  std::unique_ptr<WorkPool> pool;
  if (threads > 1 && fs.MayWorkInParallel() && !options.PromptCreate) {
    pool = std::make_unique<WorkPool>(threads);
    session.pool = pool.get();
    session.poolThreads = threads;
    // Asked for: used from the first file.
    if (session.extras.threads) session.aheadGate.decided = session.aheadGate.open = true;
  }

  int32_t copied = 0;
  {
    EntryList sources, destinations;
    SplitEntryList(fs, FieldText(options.Source), ';', sources);
    SplitEntryList(fs, FieldText(options.Destination), ';', destinations);
    for (const std::string& source : sources) {
      if (!session.Running()) break;
      if (!source.empty() && !CheckSourceNamesSomething(session, source)) break;
      for (const std::string& destination : destinations) {
        if (!session.Running()) break;
        // An empty entry would name the root of the file system or drive.
        if (source.empty() || destination.empty()) continue;
        copied += CopyPair(session, source, destination);
      }
    }
  }

  if (callbacks.showTotal) callbacks.showTotal(copied);
  session.Log(EndLine(options, copied, session.errors), false, true);
  if (options.LogLines != -1) TrimLog(fs, session.options);

  if (!session.Running()) return session.status;
  return session.errors == 0 && !session.strictFailed ? ResultOk : ResultCopyFailed;
}

}  // namespace vx
