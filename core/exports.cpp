// The exported entry points: thin glue from the C interface to the engine.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "veltrix/VeltrixCore.h"

namespace {

// The library's whole state, alive from load to unload: the one file system
// the engine receives, what accepted parses left for the sessions after
// them, and the process's command line, read once.
class Library {
 public:
  vx::NativeFileSystem files;
  vx::ParsedState parsed;

  const std::string& CommandLine() {
    std::call_once(read_, [this] { commandLine_ = vx::ProcessCommandLine(); });
    return commandLine_;
  }

 private:
  std::once_flag read_;
  std::string commandLine_;
};

Library& TheLibrary() {
  static Library library;
  return library;
}

// Copies text into a host's buffer, NUL-terminated and cut to fit, never in
// the middle of a UTF-8 sequence.
void CopyMessage(const std::string& text, char* message, int32_t messageSize) {
  if (!message || messageSize <= 0) return;
  std::size_t length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(messageSize) - 1);
  if (vx::kTextsAreUtf8 && length < text.size())
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  std::memcpy(message, text.data(), length);
  message[length] = '\0';
}

// Runs body, turning whatever it raises into -1 and its message.
template <typename Body>
int32_t Guarded(char* message, int32_t messageSize, Body body) {
  try {
    CopyMessage(std::string(), message, messageSize);
    return body();
  } catch (const std::exception& failure) {
    CopyMessage(failure.what(), message, messageSize);
  } catch (...) {
    CopyMessage(vx::Utf8ToAnsi("Échec inattendu de la bibliothèque."), message, messageSize);
  }
  return -1;
}

int32_t Refuse(const std::string& utf8, char* message, int32_t messageSize) {
  CopyMessage(vx::Utf8ToAnsi(utf8), message, messageSize);
  return -1;
}

// Whether the host's structure, as long as it says it is, holds member.
#define VX_HOST_HAS(host, member) \
  ((host)->Size >= offsetof(VeltrixHost, member) + sizeof((host)->member))

}  // namespace

extern "C" {

int32_t VX_STDCALL ProcessCmdLine(CopyRec options, ShowErrorProc showError,
                                  SignalStateProc signalState, ShowFileProc showFile,
                                  AskUserProc askUser, ShowTotalProc showTotal) {
  vx::Callbacks callbacks;
  callbacks.showError = showError;
  callbacks.signalState = signalState;
  callbacks.showFile = showFile;
  callbacks.askUser = askUser;
  callbacks.showTotal = showTotal;
  Library& library = TheLibrary();
  return vx::RunSession(options, callbacks, library.files, library.parsed, library.CommandLine());
}

bool VX_STDCALL FillCopyRec(CopyRec* options, const char* arguments) {
  Library& library = TheLibrary();
  return vx::FillCopyRecFrom(library.files, library.parsed, *options, arguments ? arguments : "");
}

bool VX_STDCALL NeedHelp() {
  return vx::CommandLineHasSwitch(TheLibrary().CommandLine(), {"?", "HELP", "-HELP"});
}

const char* VX_STDCALL GetCopyright() {
  // Plain ASCII, like the title: the console shows library texts unconverted,
  // and these must read the same on an OEM console.
  return "Copyright (C) 2003-2026 Morlane\r\nhttps://www.morlane.fr/veltrix";
}

const char* VX_STDCALL GetTitle() {
  return "Utilitaire de copie de fichiers et d'arborescences.";
}

int32_t VX_STDCALL TryFillCopyRec(const char* cmdLine, CopyRec* rec, char* message,
                                  int32_t messageSize) {
  if (!rec) return Refuse("Aucun enregistrement CopyRec à remplir.", message, messageSize);
  return Guarded(message, messageSize, [&]() -> int32_t {
    Library& library = TheLibrary();
    // What a parse that fails part-way stored is put back.
    vx::ParsedState before = library.parsed;
    std::string refusal;
    try {
      if (vx::FillCopyRecFrom(library.files, library.parsed, *rec, cmdLine ? cmdLine : "", &refusal))
        return 1;
    } catch (...) {
      library.parsed = std::move(before);
      throw;
    }
    CopyMessage(refusal, message, messageSize);
    return 0;
  });
}

int32_t VX_STDCALL TryProcessCmdLine(const CopyRec* rec, const VeltrixHost* host, char* message,
                                     int32_t messageSize) {
  if (!rec) return Refuse("Aucun enregistrement CopyRec.", message, messageSize);
  if (!host) return Refuse("Aucune structure VeltrixHost.", message, messageSize);
  if (!VX_HOST_HAS(host, ShowTotal))
    return Refuse("VeltrixHost.Size est trop petit : les cinq fonctions de rappel manquent.",
                  message, messageSize);
  if (!host->ShowError || !host->AskUser)
    return Refuse("VeltrixHost.ShowError et VeltrixHost.AskUser sont obligatoires.", message,
                  messageSize);
  vx::Callbacks callbacks;
  callbacks.showError = host->ShowError;
  callbacks.signalState = host->SignalState;
  callbacks.showFile = host->ShowFile;
  callbacks.askUser = host->AskUser;
  callbacks.showTotal = host->ShowTotal;
  if (VX_HOST_HAS(host, ShowProgress)) callbacks.showProgress = host->ShowProgress;
  if (VX_HOST_HAS(host, Context)) callbacks.progressContext = host->Context;
  if (VX_HOST_HAS(host, ShowReport)) callbacks.showReport = host->ShowReport;
  Library& library = TheLibrary();
  vx::ParsedState parsed = library.parsed;
  vx::ExtraOptions& extras = parsed.extras;
  if (VX_HOST_HAS(host, KeepOwner) && host->KeepOwner) extras.keepOwner = true;
  if (VX_HOST_HAS(host, CopyXattrs) && host->CopyXattrs) extras.copyXattrs = true;
  if (VX_HOST_HAS(host, HardLinks) && host->HardLinks) extras.hardLinks = true;
  if (VX_HOST_HAS(host, Threads) && host->Threads != 0) {
    if (host->Threads < 0 || host->Threads > vx::kMaxThreads)
      return Refuse("VeltrixHost.Threads doit valoir de 0 à " + std::to_string(vx::kMaxThreads) + ".",
                    message, messageSize);
    extras.threads = host->Threads;
  }
  // The record is copied before anything runs: the session may not change the caller's.
  const CopyRec options = *rec;
  // A C++ host that reports failures itself gets them as ProcessCmdLine raises them.
  if (VX_HOST_HAS(host, RaiseFailures) && host->RaiseFailures) {
    CopyMessage(std::string(), message, messageSize);
    return vx::RunSession(options, callbacks, library.files, parsed, library.CommandLine());
  }
  return Guarded(message, messageSize, [&] {
    return vx::RunSession(options, callbacks, library.files, parsed, library.CommandLine());
  });
}

}  // extern "C"
