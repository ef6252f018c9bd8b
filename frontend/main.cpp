// Process entry of the console program.
#include "Console.h"
#include "platform/Host.h"
#include "veltrix/VeltrixCore.h"

namespace {

const vx::CoreEntryPoints kImports = {ProcessCmdLine, FillCopyRec,    NeedHelp,
                                      GetCopyright,   GetTitle,       TryFillCopyRec,
                                      TryProcessCmdLine};

int RunWithImports() { return vx::RunProgram(kImports, vx::host::ProcessCommandLine()); }

}  // namespace

int main() {
  vx::host::SetUpConsole();
  return vx::RunReportingFailures(RunWithImports);
}
