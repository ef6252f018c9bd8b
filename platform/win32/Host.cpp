// Win32 backend of the console program: stdout, stdin, title, the library's
// help resource, the place of a failure.
#include <windows.h>
#undef AnsiToOem  // an old alias of CharToOemA; ours is a host function

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "core/Error.h"
#include "platform/Host.h"
#include "platform/win32/CodePages.h"

namespace vx::host {

namespace {

constexpr std::size_t kStdoutBufferSize = 64 * 1024;

std::string LastErrorText() {
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, ::GetLastError(), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n ? std::string(buffer, n) : std::string();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

[[noreturn]] void RaiseWriteFailure() {
  VX_RAISE("EEntreeSortie",
           Utf8ToAnsi("Erreur d'écriture sur la sortie standard : ") + LastErrorText());
}

}  // namespace

void SetUpConsole() {
  // Raw bytes: CR LF stays CR LF, OEM texts stay OEM.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The C runtime knows no line buffering: a console gets every text at
  // once, a file or a pipe 64 KiB blocks.
  static char buffer[kStdoutBufferSize];
  if (StdoutIsTerminal())
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  else
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

const char* ConsoleLineEnd() { return "\r\n"; }

// A console, not merely a character device: NUL is one too.
bool StdoutIsTerminal() {
  static const bool terminal = [] {
    const HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr &&
           ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode) != 0;
  }();
  return terminal;
}

std::string Utf8ToOem(const std::string& utf8) { return win::ConvertCodePage(utf8, CP_UTF8, CP_OEMCP); }

std::string AnsiToOem(const std::string& ansi) {
  std::string oem(ansi.size(), '\0');
  if (!ansi.empty()) ::CharToOemBuffA(ansi.data(), &oem[0], static_cast<DWORD>(ansi.size()));
  return oem;
}

void SetConsoleTitleText(const std::string& title) { ::SetConsoleTitleA(title.c_str()); }

void WriteStdout(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) RaiseWriteFailure();
}

void FlushStdout() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) RaiseWriteFailure();
}

void WriteStderr(const std::string& bytes) {
  (void)std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

namespace {

HANDLE StderrConsole() {
  static const HANDLE console = [] {
    const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    const bool isConsole = handle != INVALID_HANDLE_VALUE && handle != nullptr &&
                           ::GetFileType(handle) == FILE_TYPE_CHAR &&
                           ::GetConsoleMode(handle, &mode) != 0;
    return isConsole ? handle : static_cast<HANDLE>(nullptr);
  }();
  return console;
}

// Through the console itself: the line is drawn over the old one, padded
// with blanks to the width, whatever the code page of the C runtime's stream.
void WriteStatusText(const std::string& oem) {
  const HANDLE console = StderrConsole();
  if (!console) return;
  std::fflush(stderr);
  const int width = StderrColumns() - 1;
  std::wstring wide(oem.size(), L' ');
  const int n = oem.empty() ? 0
                            : ::MultiByteToWideChar(CP_OEMCP, 0, oem.data(),
                                                    static_cast<int>(oem.size()), wide.data(),
                                                    static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (static_cast<int>(wide.size()) < width) wide.append(static_cast<std::size_t>(width) - wide.size(), L' ');
  const std::wstring line = L"\r" + wide + L"\r";
  DWORD written = 0;
  (void)::WriteConsoleW(console, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

bool ConsoleIsUtf8() { return false; }

bool StderrIsTerminal() { return StderrConsole() != nullptr; }

int StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (StderrConsole() && ::GetConsoleScreenBufferInfo(StderrConsole(), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  return 80;
}

void DrawStatusLine(const std::string& text) { WriteStatusText(text); }

void EraseStatusLine() { WriteStatusText(std::string()); }

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
  // By name, the loader hands back the library already loaded. When it
  // cannot be loaded, the search falls back to the program's own file, where
  // the resource is not found either.
  const HMODULE loaded = ::LoadLibraryA(moduleFile.c_str());
  const HMODULE module = loaded ? loaded : ::GetModuleHandleA(nullptr);
  std::optional<std::string> text;
  if (const HRSRC found = ::FindResourceA(module, name.c_str(), type.c_str())) {
    const HGLOBAL data = ::LoadResource(module, found);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (bytes) text = std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found));
  }
  if (loaded) ::FreeLibrary(loaded);
  return text;
}

bool DescribeCodeAddress(const void* address, std::string& moduleName, std::uintptr_t& offset) {
  HMODULE module = nullptr;
  if (!address ||
      !::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &module))
    return false;
  char path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0) return false;
  const std::string file(path, n);
  moduleName = file.substr(file.find_last_of("\\/") + 1);
  offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
  return true;
}

}  // namespace vx::host
