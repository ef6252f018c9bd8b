// The console ends of the callback protocol: messages, file names, questions
// and the final count, written with CR LF line ends.
#include "Console.h"

#include "platform/Host.h"

namespace vx {

void ConsoleStreams::Write(const std::string& bytes) { host::WriteStdout(bytes); }
void ConsoleStreams::Flush() { host::FlushStdout(); }
void ConsoleStreams::WriteError(const std::string& bytes) {
  Flush();
  host::WriteStderr(bytes);
}
bool ConsoleStreams::ReadLine(std::string& line) { return host::ReadStdinLine(line); }
bool ConsoleStreams::IsTerminal() {
  if (terminal_ < 0) terminal_ = host::StdoutIsTerminal() ? 1 : 0;
  return terminal_ == 1;
}

namespace {

ConsoleStreams* installedConsole = nullptr;

const char* const kLineEnd = "\r\n";

// The program's own texts, in the console's code page.
void WriteOwnText(const char* utf8) { Console().Write(host::Utf8ToOem(utf8)); }
void WriteOwnLine(const char* utf8) { Console().Write(host::Utf8ToOem(utf8) + kLineEnd); }

// Library texts are written as received; on a terminal a name's control
// characters show as "?", so that no name can drive the terminal.
void WriteLibraryLine(const char* text) {
  // One buffer for every line: a listing writes one per file.
  static std::string line;
  line.assign(text ? text : "");
  if (Console().IsTerminal()) {
    for (char& c : line) {
      const unsigned char byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) c = '?';
    }
  }
  line += kLineEnd;
  Console().Write(line);
}

int32_t AskStartCopyAnswer() {
  WriteOwnText("Appuyez sur <Entrée> pour lancer la copie.");
  Console().Flush();
  std::string ignored;
  Console().ReadLine(ignored);
  return AnswerYes;
}

// The answer given by the first character of a reply; 0 when it is none.
int32_t AnswerFromReply(const std::string& reply) {
  if (reply.empty()) return 0;
  switch (reply[0]) {
    case 'O': case 'o': return AnswerYes;
    case 'N': case 'n': return AnswerNo;
    case 'T': case 't': return AnswerAll;
    case 'A': case 'a': return AnswerCancel;
    default: return 0;
  }
}

int32_t AskCreateFileAnswer(const char* path) {
  for (;;) {
    Console().Write(kLineEnd);
    WriteOwnLine("Ce fichier à copier n'existe pas :");
    WriteLibraryLine(path);
    WriteOwnLine("Souhaitez-vous le créer ?");
    WriteOwnText("Oui, Non, Tous, Annuler [ONTA]");
    Console().Flush();
    std::string reply;
    // Nobody is left to answer: cancelling is the one safe choice.
    if (!Console().ReadLine(reply)) return AnswerCancel;
    if (const int32_t answer = AnswerFromReply(reply)) return answer;
  }
}

}  // namespace

ConsoleStreams& Console() {
  static ConsoleStreams processStreams;
  return installedConsole ? *installedConsole : processStreams;
}

void SetConsole(ConsoleStreams* streams) { installedConsole = streams; }

extern "C" {

void VX_STDCALL ConsoleShowError(const char* text) { WriteLibraryLine(text); }

void VX_STDCALL ConsoleShowFile(const char* text) { WriteLibraryLine(text); }

int32_t VX_STDCALL ConsoleAskUser(int32_t question, const char* text) {
  switch (question) {
    case AskStartCopy: return AskStartCopyAnswer();
    case AskCreateFile: return AskCreateFileAnswer(text);
    default: return AnswerCancel;  // AskDeleteFailed among others: no question, cancel
  }
}

void VX_STDCALL ConsoleShowTotal(int32_t count) {
  if (count > 0) Console().Write(kLineEnd);
  Console().Write(std::to_string(count) + host::Utf8ToOem(" fichier(s) copié(s).") + kLineEnd);
}

}  // extern "C"

}  // namespace vx
