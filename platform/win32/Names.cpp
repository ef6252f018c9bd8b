// Win32 backend: names and paths: the ANSI code page and UTF-16, name
// comparison, long paths, the current folder, full and short paths.
#include "platform/win32/Win32.h"

#include <cstring>
#include <vector>

namespace vx::win {

namespace {

// Names are compared as the file system compares them: each UTF-16 unit
// upper-cased by the system's table, then compared as numbers (what
// CompareStringOrdinal does ignoring case). With a single-byte ANSI code page
// every byte is one unit, so one table of 256 upper-cased units serves.
struct UpperTable {
  bool singleByte = false;
  wchar_t upper[256] = {};
  UpperTable() {
    CPINFO info;
    if (!::GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return;
    for (int i = 0; i < 256; ++i) {
      const char byte = static_cast<char>(i);
      wchar_t unit = 0;
      if (::MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) != 1) return;
      wchar_t upperUnit = unit;
      if (::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &unit, 1, &upperUnit, 1) != 1) return;
      upper[i] = upperUnit;
    }
    singleByte = true;
  }
};

// A UTF-16 text in the ANSI code page, false unless it comes back unchanged.
bool NarrowExact(const wchar_t* wide, std::size_t length, std::string& ansi) {
  ansi.clear();
  if (length == 0) return true;
  const int size = static_cast<int>(length);
  const bool utf8 = ::GetACP() == CP_UTF8;  // takes no best-fit flag
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = utf8 ? nullptr : &usedDefault;
  const char* fallback = utf8 ? nullptr : "?";
  const int bytes = ::WideCharToMultiByte(CP_ACP, flags, wide, size, nullptr, 0, fallback, used);
  if (bytes <= 0) return false;
  ansi.resize(static_cast<std::size_t>(bytes));
  ::WideCharToMultiByte(CP_ACP, flags, wide, size, &ansi[0], bytes, fallback, used);
  if (usedDefault) return false;
  bool ascii = true;
  for (std::size_t i = 0; i < length && ascii; ++i) ascii = wide[i] < 0x80;
  return ascii || Widen(ansi) == std::wstring_view(wide, length);
}

// A UTF-16 text in the ANSI code page. Returns false when it does not survive
// the round trip: the text then holds "?" for each character that could not
// be written, never a look-alike ("Ωmega" becomes "?mega", not "Omega"). A

// The name the system holds for an object: "\??\C:\..." under Wine, a
// device path ("\Device\...") under Windows. A native call, looked up at
// run time.
ErrorOr<std::wstring> ObjectName(HANDLE handle) {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  if (!query) return Error(ERROR_NOT_SUPPORTED);
  struct Name {
    USHORT length, maximumLength;
    wchar_t* buffer;
  };
  std::vector<char> buffer(sizeof(Name) + 65536 * sizeof(wchar_t));
  ULONG returned = 0;
  if (query(handle, 1 /* ObjectNameInformation */, buffer.data(), static_cast<ULONG>(buffer.size()),
            &returned) != 0)
    return Error(ERROR_NOT_SUPPORTED);
  const Name* name = reinterpret_cast<const Name*>(buffer.data());
  return std::wstring(name->buffer, name->length / sizeof(wchar_t));
}

}  // namespace

std::wstring Widen(std::string_view ansi) {
  if (ansi.empty()) return std::wstring();
  const int size = static_cast<int>(ansi.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, &wide[0], length);
  return wide;
}

bool Narrow(const wchar_t* wide, std::size_t length, std::string& ansi) {
  if (NarrowExact(wide, length, ansi)) return true;
  ansi.clear();
  std::string one;
  for (std::size_t i = 0; i < length;) {
    const std::size_t units =
        IS_HIGH_SURROGATE(wide[i]) && i + 1 < length && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
    ansi += NarrowExact(wide + i, units, one) ? one : std::string("?");
    i += units;
  }
  return false;
}

std::string Narrow(const std::wstring& wide) {
  std::string ansi;
  Narrow(wide.data(), wide.size(), ansi);
  return ansi;
}

// One name inside a folder, as the wide functions want it. "." and ".."
// would leave the folder; "?" marks a name the code page could not hold
// (see Narrow), which no operation may take for another file's name. The
// other characters no Windows name holds (Wine shows Linux names with them
// as they are: "back\\slash.txt") are refused too, never read as "not there".
ErrorOr<std::wstring> WideName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return Error(ERROR_INVALID_PARAMETER);
  for (const char c : name) {
    if (c == '?') return Error(ERROR_NO_UNICODE_TRANSLATION);
    if (static_cast<unsigned char>(c) < 32 || std::strchr("\\/:*\"<>|", c))
      return Error(ERROR_INVALID_PARAMETER);
  }
  return Widen(name);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The path text of a root as it is kept: trailing separators dropped, except
// for a root itself ("C:\", "\").
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsPathSeparator(path.back()) && !(path.size() == 3 && path[1] == ':'))
    path.pop_back();
  return path;
}

// A path made absolute against the current folder, "." and ".." folded.
ErrorOr<std::wstring> AbsolutePath(const std::wstring& path) {
  DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return LastError();
  std::wstring full(size, L'\0');
  size = ::GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
  if (size == 0 || size >= full.size()) return LastError();
  full.resize(size);
  return full;
}

// A path as the user named it, made absolute ("." and ".." folded, "/" made
// "\") and written in the "\\?\" form that passes MAX_PATH and takes every
// name literally. Device paths ("\\.\CON") stay as they are.
ErrorOr<std::wstring> LongPath(std::string_view path) {
  if (path.empty()) return Error(ERROR_PATH_NOT_FOUND);
  const std::wstring wide = Widen(path);
  if (StartsWith(wide, kLongPrefix)) return wide;
  ErrorOr<std::wstring> absolute = AbsolutePath(wide);
  if (!absolute) return absolute;
  const std::wstring& full = *absolute;
  if (StartsWith(full, L"\\\\.\\") || StartsWith(full, kLongPrefix)) return full;
  if (StartsWith(full, L"\\\\")) return kLongUncPrefix + full.substr(2);
  return kLongPrefix + full;
}

// Where the folder part of a long path ends: the root ("\\?\C:\",
// "\\?\UNC\server\share\") is never cut.
std::size_t LongRootLength(const std::wstring& path) {
  if (StartsWith(path, kLongUncPrefix)) {
    std::size_t at = path.find(L'\\', std::size(kLongUncPrefix) - 1);
    if (at != std::wstring::npos) at = path.find(L'\\', at + 1);
    return at == std::wstring::npos ? path.size() : at + 1;
  }
  const std::size_t at = path.find(L'\\', std::size(kLongPrefix) - 1);
  return at == std::wstring::npos ? path.size() : at + 1;
}

std::wstring JoinLong(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = folder;
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path + name;
}

// The held handle's own path, "\\?\" form.
ErrorOr<std::wstring> FinalPath(HANDLE handle) {
  std::wstring path(1024, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length > 0 && length < path.size()) {
      path.resize(length);
      return path;
    }
    if (length > 0 && length <= 65536) {
      path.resize(length + 1);
      continue;
    }
    // Wine's GetFinalPathNameByHandleW fails past about 270 characters; its
    // object name is the same path in the system's own form.
    const DWORD error = ::GetLastError();
    ErrorOr<std::wstring> name = ObjectName(handle);
    if (!name || !StartsWith(*name, L"\\??\\")) return Error(error ? error : ERROR_GEN_FAILURE);
    (*name)[1] = L'\\';
    return name;
  }
}

}  // namespace vx::win

namespace vx {

using namespace win;

int CompareFileNames(std::string_view a, std::string_view b) {
  static const UpperTable table;
  if (table.singleByte) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
      const wchar_t x = table.upper[static_cast<unsigned char>(a[i])];
      const wchar_t y = table.upper[static_cast<unsigned char>(b[i])];
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
  }
  const std::wstring x = Widen(a), y = Widen(b);
  return ::CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                                static_cast<int>(y.size()), TRUE) -
         CSTR_EQUAL;
}

// ---- Paths ------------------------------------------------------------------------------

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t FolderPartLength(const std::string& path) {
  const std::size_t i = path.find_last_of("\\/:");
  return i == std::string::npos ? 0 : i + 1;
}

ErrorOr<std::string> NativeFileSystem::CurrentDirectory() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return LastError();
  std::wstring buffer(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, &buffer[0]);
  if (length == 0 || length >= size) return LastError();
  buffer.resize(length);
  return Narrow(buffer);
}

ErrorOr<std::string> NativeFileSystem::FullPath(const std::string& path) {
  if (path.empty()) return std::string();
  ErrorOr<std::wstring> full = AbsolutePath(Widen(path));
  if (!full) return full.error();
  return Narrow(*full);
}

ErrorOr<std::string> NativeFileSystem::ShortPath(const std::string& path) {
  ErrorOr<std::wstring> full = LongPath(path);
  if (!full) return full.error();
  DWORD size = ::GetShortPathNameW(full->c_str(), nullptr, 0);
  if (size == 0) return LastError();
  std::wstring shortPath(size, L'\0');
  size = ::GetShortPathNameW(full->c_str(), &shortPath[0], size);
  if (size == 0 || size >= shortPath.size()) return LastError();
  shortPath.resize(size);
  // Back to the form the user writes.
  if (StartsWith(shortPath, kLongUncPrefix))
    shortPath = L"\\\\" + shortPath.substr(std::size(kLongUncPrefix) - 1);
  else if (StartsWith(shortPath, kLongPrefix))
    shortPath = shortPath.substr(std::size(kLongPrefix) - 1);
  // A trailing separator names the same folder; keep it as typed.
  if (!path.empty() && IsPathSeparator(path.back()) && shortPath.back() != L'\\') shortPath += L'\\';
  return Narrow(shortPath);
}

}  // namespace vx
