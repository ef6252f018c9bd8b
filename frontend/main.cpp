// Process entry of the console program.
#include "core/exports.h"
#include "frontend/Console.h"
#include "platform/Platform.h"

namespace {

const vx::CoreEntryPoints kImports = {ProcessCmdLine, FillCopyRec, NeedHelp, GetCopyright,
                                      GetTitle};

int RunWithImports() { return vx::RunProgram(kImports, vx::ProcessCommandLine()); }

}  // namespace

int main() { return vx::RunReportingFailures(RunWithImports); }
