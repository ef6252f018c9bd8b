// The program's main sequence: version, SILENT test, banner, help page,
// argument text, then the library's parse and session.
#include <algorithm>
#include <optional>
#include <vector>

#include "Console.h"
#include "core/CommandLine.h"
#include "core/Error.h"
#include "platform/Host.h"

namespace vx {

namespace {

const std::string kLineEnd = host::ConsoleLineEnd();

// The run's options and argument text live as long as the process, as the
// library expects of its host.
CopyRec programRecord;
std::string argumentText;

void WriteBanner(const CoreEntryPoints& core) {
  host::SetConsoleTitleText("Morlane Veltrix");
  Console().Write(std::string(core.getTitle()) + kLineEnd +
                  WithConsoleLineEnds(core.getCopyright()) + kLineEnd + kLineEnd);
}

// Lines end at CR LF, a lone CR or a lone LF; a line end at the very end
// opens no further line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// Why the command line was refused, where the library says, and where help
// is; nothing under SILENT. A refused text stores nothing in the library, so
// parsing it again gives the same refusal, with its reason.
void ReportRefusal(const CoreEntryPoints& core, const std::string& commandLine) {
  if (CommandLineHasSwitch(commandLine, {"SILENT"})) return;
  std::string lines;
  if (core.tryFillCopyRec) {
    static CopyRec scratch;
    std::vector<char> reason(argumentText.size() + 256);
    if (core.tryFillCopyRec(argumentText.c_str(), &scratch, reason.data(),
                            static_cast<int32_t>(reason.size())) == 0 &&
        reason[0] != '\0') {
      // The reason quotes what was typed, which a script may take from a
      // file name: no control character of it reaches a terminal.
      for (char* c = reason.data(); *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) *c = '?';
      lines += host::AnsiToOem(reason.data()) + kLineEnd;
    }
  }
  lines += host::Utf8ToOem("Ligne de commande refusée : Veltrix -? affiche l'aide.") + kLineEnd;
  Console().WriteError(lines);
}

}  // namespace

std::string ArgumentText(const std::string& commandLine) {
  // A name alone leaves no arguments, whether or not its quote is closed.
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    return close == std::string::npos ? std::string() : commandLine.substr(std::min(close + 2, commandLine.size()));
  }
  const std::size_t blank = commandLine.find(' ');
  return blank == std::string::npos ? std::string() : commandLine.substr(blank + 1);
}

std::string HelpPageText(const std::string& resource) {
  std::string page;
  for (const std::string& line : SplitLines(resource)) page += line + kLineEnd;
  page = page.substr(0, page.find('\0'));
  return host::AnsiToOem(page);
}

void PrintHelpPage() {
  const std::optional<std::string> resource =
      host::ReadModuleResource(host::CoreModuleFileName(), "TEXT", "CMDINFO");
  if (!resource) VX_RAISE("EResNotFound", host::Utf8ToAnsi("Ressource CMDINFO non trouvée"));
  Console().Write(HelpPageText(*resource) + kLineEnd);
  Console().Write(host::Utf8ToOem("Si vous n'avez pas pu lire le début de cette page d'aide, exécutez :") +
                  kLineEnd);
  Console().Write(host::Utf8ToOem("Veltrix --help | more") + kLineEnd);
}

int RunProgram(const CoreEntryPoints& core, const std::string& commandLine) {
  // A help switch beside it keeps its page, as before --version was known.
  if (CommandLineHasSwitch(commandLine, {"-VERSION"}) && !core.needHelp()) {
    Console().Write(std::string("Veltrix " VX_VERSION) + kLineEnd);
    return 0;
  }
  if (!CommandLineHasSwitch(commandLine, {"SILENT"})) WriteBanner(core);
  if (core.needHelp()) {
    PrintHelpPage();
    return 0;
  }
  argumentText = ArgumentText(commandLine);
  if (!core.fillCopyRec(&programRecord, argumentText.c_str())) {
    ReportRefusal(core, commandLine);
    return 5;
  }
  if (!core.tryProcessCmdLine)
    return core.processCmdLine(programRecord, ConsoleShowError, nullptr, ConsoleShowFile,
                               ConsoleAskUser, ConsoleShowTotal);
  VeltrixHost session{};
  session.Size = sizeof session;
  session.ShowError = ConsoleShowError;
  session.ShowFile = ConsoleShowFile;
  session.AskUser = ConsoleAskUser;
  session.ShowTotal = ConsoleShowTotal;
  session.ShowReport = ConsoleShowReport;
  // Failures pass through to the program's report, as ProcessCmdLine's do.
  session.RaiseFailures = 1;
  // The status line only for a person at a terminal who asked for names.
  ProgressLine progress(ProgressLine::Now());
  if (host::StderrIsTerminal() && !CommandLineHasSwitch(commandLine, {"Q"}) &&
      !CommandLineHasSwitch(commandLine, {"SILENT"})) {
    session.ShowProgress = ConsoleShowProgress;
    session.Context = &progress;
  }
  char message[512];
  const int32_t result = core.tryProcessCmdLine(&programRecord, &session, message, sizeof message);
  Console().EraseStatus();
  if (result < 0) VX_RAISE("Exception", std::string(message));
  return result;
}

}  // namespace vx
