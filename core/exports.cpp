// The five exported entry points: thin glue from the C interface to the engine.
#include "core/HolyCoreUnit.h"
#include "veltrix/VeltrixCore.h"

namespace {

// The one file system of the library: the engine receives it from here.
vx::FileSystem& LibraryFiles() {
  static vx::NativeFileSystem files;
  return files;
}

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
  return vx::RunSession(options, callbacks, LibraryFiles());
}

bool VX_STDCALL FillCopyRec(CopyRec* options, const char* arguments) {
  return vx::FillCopyRecFrom(LibraryFiles(), *options, arguments ? arguments : "");
}

bool VX_STDCALL NeedHelp() {
  return vx::CommandLineHasSwitch(vx::ProcessCommandLine(), {"?", "HELP", "-HELP"});
}

const char* VX_STDCALL GetCopyright() {
  // Plain ASCII, like the title: the console shows library texts unconverted,
  // and these must read the same on an OEM console.
  return "Copyright (C) 2003-2026 Morlane\r\nhttps://www.morlane.fr/veltrix";
}

const char* VX_STDCALL GetTitle() {
  return "Utilitaire de copie de fichiers et d'arborescences.";
}

}  // extern "C"
