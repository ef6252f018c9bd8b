// POSIX backend of the console program: stdout, stdin, title, the library's
// help resource, the place of a failure.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "core/Error.h"
#include "platform/Host.h"

namespace vx::host {

namespace {

constexpr std::size_t kStdoutBufferSize = 64 * 1024;

// Bytes 0x80 to 0x9F of Windows-1252; the five unassigned ones map to the
// control character of the same code, as the system's conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Linux speaks UTF-8 everywhere: the resource's Windows-1252 bytes are
// converted once, when read.
std::string Cp1252ToUtf8(const unsigned char* bytes, std::size_t size) {
  std::string out;
  out.reserve(size + size / 8);
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char b = bytes[i];
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

[[noreturn]] void RaiseWriteFailure(int error) {
  VX_RAISE("EEntreeSortie",
           Utf8ToAnsi("Erreur d'écriture sur la sortie standard : ") + std::strerror(error));
}

}  // namespace

void SetUpConsole() {
  // A closed pipe must end in the failure report, not in a silent signal.
  std::signal(SIGPIPE, SIG_IGN);
  // A listing of many files would otherwise cost one system call a line; a
  // terminal keeps the C runtime's line buffering.
  static char buffer[kStdoutBufferSize];
  if (!::isatty(STDOUT_FILENO)) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::string Utf8ToOem(const std::string& utf8) { return utf8; }
std::string AnsiToOem(const std::string& ansi) { return ansi; }

const char* ConsoleLineEnd() { return "\n"; }

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

void SetConsoleTitleText(const std::string& title) {
  // The terminal's title escape; never sent into a file or a pipe.
  if (StdoutIsTerminal()) WriteStdout("\033]0;" + title + "\007");
}

void WriteStdout(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) RaiseWriteFailure(errno);
}

void FlushStdout() {
  // A write that failed inside an earlier flush (the library's, before a
  // notice) leaves the stream's error flag behind.
  if (std::fflush(stdout) != 0) RaiseWriteFailure(errno);
  if (std::ferror(stdout)) RaiseWriteFailure(EIO);
}

void WriteStderr(const std::string& bytes) {
  (void)std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

bool ConsoleIsUtf8() { return true; }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

int StderrColumns() {
  struct winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// The cursor goes back to the line's start; the rest of the old line is cleared.
void DrawStatusLine(const std::string& text) { WriteStderr("\r" + text + "\033[K"); }

void EraseStatusLine() { WriteStderr("\r\033[K"); }

bool ReadStdinLine(std::string& line) {
  FlushStdout();  // the question must be seen before the answer is awaited
  line.clear();
  int c = std::getchar();
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::getchar()) line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::optional<std::string> ReadModuleResource(const std::string& moduleFile,
                                              const std::string& type, const std::string& name) {
  // By the soname, the loader hands back the library the program already
  // runs with, wherever it was found (beside the program, ../lib, the
  // system's folders); otherwise it searches as for the program's own link.
  void* module = ::dlopen(moduleFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return std::nullopt;
  const std::string symbol = "vx_resource_" + type + "_" + name;
  const auto* data = static_cast<const unsigned char*>(::dlsym(module, symbol.c_str()));
  const auto* size = static_cast<const std::size_t*>(::dlsym(module, (symbol + "_size").c_str()));
  std::optional<std::string> text;
  if (data && size) text = Cp1252ToUtf8(data, *size);
  ::dlclose(module);
  return text;
}

bool DescribeCodeAddress(const void* address, std::string& moduleName, std::uintptr_t& offset) {
  Dl_info info{};
  if (!address || ::dladdr(address, &info) == 0 || !info.dli_fname) return false;
  const std::string file = info.dli_fname;
  moduleName = file.substr(file.rfind('/') + 1);
  offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  return true;
}

}  // namespace vx::host
