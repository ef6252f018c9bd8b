// The console ends of the callback protocol: messages, file names, questions
// and the final count, each line ended as the console ends it.
#include "Console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/Host.h"

namespace vx {

void ConsoleStreams::Write(const std::string& bytes) {
  EraseStatus();
  host::WriteStdout(bytes);
}
void ConsoleStreams::Flush() { host::FlushStdout(); }
void ConsoleStreams::WriteError(const std::string& bytes) {
  Flush();
  EraseStatus();
  host::WriteStderr(bytes);
}
void ConsoleStreams::ShowStatus(const std::string& text) {
  // What standard output holds goes first: the line stays below it.
  Flush();
  host::DrawStatusLine(text);
  statusShown_ = true;
}
void ConsoleStreams::EraseStatus() {
  if (!statusShown_) return;
  statusShown_ = false;
  host::EraseStatusLine();
}
bool ConsoleStreams::ReadLine(std::string& line) { return host::ReadStdinLine(line); }
bool ConsoleStreams::IsTerminal() {
  if (terminal_ < 0) terminal_ = host::StdoutIsTerminal() ? 1 : 0;
  return terminal_ == 1;
}

namespace {

ConsoleStreams* installedConsole = nullptr;

const std::string kLineEnd = host::ConsoleLineEnd();

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

std::string WithConsoleLineEnds(const std::string& text) {
  std::string converted;
  converted.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\r\n") == 0) {
      converted += kLineEnd;
      ++i;
    } else {
      converted += text[i];
    }
  }
  return converted;
}

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

void VX_STDCALL ConsoleShowReport(int32_t kind, const char* text, void* /*context*/) {
  if (kind == ReportPurgeListed) return WriteLibraryLine(text);
  std::string line = text ? text : "";
  // Names come from the trees: none drives a terminal.
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  Console().WriteError(host::AnsiToOem(line) + kLineEnd);
}

void VX_STDCALL ConsoleShowProgress(const char* path, int64_t done, int64_t total, int32_t phase,
                                    void* context) {
  auto* progress = static_cast<ProgressLine*>(context);
  if (!progress) return;
  // The width is asked of the terminal once a second, not at every call.
  static int columns = 80;
  static ProgressLine::Clock asked = 0;
  const ProgressLine::Clock now = ProgressLine::Now();
  if (asked == 0 || now - asked >= 1000) {
    columns = host::StderrColumns();
    asked = now;
  }
  const std::string text =
      progress->Update(path ? path : "", done, total, phase, now, columns);
  if (!text.empty()) Console().ShowStatus(text);
}

}  // extern "C"

namespace {

// 1234567 as "1,2 Mo": French units and decimal comma.
std::string Bytes(double value) {
  static const char* const kUnits[] = {"o", "Ko", "Mo", "Go", "To"};
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0)
    std::snprintf(text, sizeof text, "%.0f %s", value, kUnits[unit]);
  else
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  std::string result = text;
  const std::size_t point = result.find('.');
  if (point != std::string::npos) result[point] = ',';
  return result;
}

// Characters as the terminal counts them: UTF-8 continuation bytes take no column.
std::size_t Columns(const std::string& text) {
  std::size_t n = 0;
  for (char c : text)
    if (!host::ConsoleIsUtf8() || (static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// The end of text that fits in columns, "..." before it where cut.
std::string Tail(const std::string& text, std::size_t columns) {
  if (Columns(text) <= columns) return text;
  if (columns < 4) return std::string();
  std::size_t start = text.size();
  std::size_t used = 0;
  while (start > 0 && used < columns - 3) {
    --start;
    if (!host::ConsoleIsUtf8() || (static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) ++used;
  }
  return "..." + text.substr(start);
}

// The start of text that fits in columns.
std::string Head(const std::string& text, std::size_t columns) {
  std::size_t end = 0, used = 0;
  while (end < text.size()) {
    const bool starts =
        !host::ConsoleIsUtf8() || (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
    if (starts && used == columns) break;
    if (starts) ++used;
    ++end;
  }
  return text.substr(0, end);
}

// Files of this size or more show their name and percent.
constexpr int64_t kLargeFile = int64_t{8} << 20;
constexpr ProgressLine::Clock kRedrawEvery = 100;

}  // namespace

ProgressLine::Clock ProgressLine::Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ProgressLine::Update(const std::string& path, int64_t done, int64_t total,
                                 int32_t phase, Clock now, int columns) {
  if (path != path_) {
    // A new file: the last one is done with what it copied and digested.
    bytesBefore_ += done_;
    digestedBefore_ += digested_;
    done_ = 0;
    digested_ = 0;
    path_ = path;
    counted_ = false;
  }
  if (phase == ProgressCopy && done > done_) done_ = done;
  if (phase == ProgressVerify && done > digested_) digested_ = done;
  // Its copy's end (done equal to total) makes a file done.
  if (phase == ProgressCopy && done == total && !counted_) {
    counted_ = true;
    ++files_;
  }
  // A large file shows at once when each phase begins, the rest at most ten
  // times a second.
  const bool begins = total >= kLargeFile && done == 0;
  if (!begins && now - lastDraw_ < kRedrawEvery) return std::string();
  lastDraw_ = now;
  const int64_t bytes = bytesBefore_ + done_;
  const double seconds = static_cast<double>(now - start_) / 1000.0;
  std::string line = std::to_string(files_) + host::Utf8ToOem(" fichier(s) copié(s), ") +
                     host::Utf8ToOem(Bytes(static_cast<double>(bytes)));
  // The rate of all the bytes read so far, copied or digested: a long
  // verification does not read as a copy slowing down.
  const double read = static_cast<double>(bytes + digestedBefore_ + digested_);
  if (seconds > 0) line += ", " + host::Utf8ToOem(Bytes(read / seconds)) + "/s";
  if (phase == ProgressVerify) line += host::Utf8ToOem(", vérification MD5");
  if (total >= kLargeFile) {
    const int64_t percent = done <= 0 ? 0 : done >= total ? 100 : done * 100 / total;
    const std::string tail = " " + std::to_string(percent) + " %";
    std::string name = host::AnsiToOem(path);
    for (char& c : name)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 20));
    const std::size_t used = Columns(line) + 3 + tail.size();
    if (used + 4 < room) line += " : " + Tail(name, room - used) + tail;
  }
  // A narrow terminal keeps the counts, which come first.
  return Head(line, static_cast<std::size_t>(std::max(columns - 1, 20)));
}

}  // namespace vx
