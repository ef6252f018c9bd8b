// What the Windows backend's tests share: wide paths written and read
// behind the backend's back, listings as names, Wine's Unix links.
#pragma once

#if defined(_WIN32)

#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
// After the interface: its CopyFile, MoveFile and DeleteFile are no macros.
#include <windows.h>
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#undef ReplaceFile

namespace vx::test {

inline std::wstring Wide(const std::string& ansi) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
  return wide;
}

inline std::wstring Long(const std::string& path) { return L"\\\\?\\" + Wide(path); }

inline void WriteWide(const std::wstring& path, const std::string& bytes) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

inline std::string ReadWide(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD read = 0;
  ::ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  ::CloseHandle(file);
  return std::string(buffer, read);
}

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::vector<std::string> Names(const Listing& listing) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < listing.Count(); ++i) names.emplace_back(listing.At(i).name);
  std::sort(names.begin(), names.end());
  return names;
}

inline bool HoldsTemporaryFile(NativeFileSystem& fs, const Folder& folder) {
  ListOptions all;
  all.includeHidden = true;
  ErrorOr<Listing> listing = fs.List(folder, all);
  if (!listing) return true;
  for (std::size_t i = 0; i < listing->Count(); ++i)
    if (IsTemporaryName(listing->At(i).name)) return true;
  return false;
}

// Wine's symbolic links are Unix ones, made by a Unix program that Wine
// starts; a Unix program also renames what Wine holds, as a Linux user can.
// Empty where the system is not Wine.
class UnixLinks {
 public:
  UnixLinks() {
    unixName_ = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  }
  ~UnixLinks() {
    for (const auto& [unix, windows] : made_) {
      Run("rm", "-f \"" + unix + "\"");
      WaitFor(windows, false);
    }
  }
  bool available() const { return unixName_ != nullptr; }
  // A link at linkPath (Windows path) leading to target (Windows path).
  bool Make(const std::string& target, const std::string& linkPath) {
    const std::string to = Unix(target), at = Unix(linkPath);
    if (to.empty() || at.empty()) return false;
    Run("ln", "-s \"" + to + "\" \"" + at + "\"");
    made_.emplace_back(at, linkPath);
    return WaitFor(linkPath, true);
  }
  // Renames folder to aside and puts a link to target in its place.
  bool SwapForLink(const std::string& folder, const std::string& aside, const std::string& target) {
    const std::string from = Unix(folder), to = Unix(aside), led = Unix(target);
    if (from.empty() || to.empty() || led.empty()) return false;
    Run("sh", "-c \"mv '" + from + "' '" + to + "' && ln -s '" + led + "' '" + from + "'\"");
    made_.emplace_back(from, folder);
    return WaitFor(aside, true) && WaitFor(folder + "\\" + "outside.txt", true);
  }

 private:
  using UnixName = char*(CDECL*)(LPCWSTR);
  std::string Unix(const std::string& path) const {
    char* name = unixName_(Wide(path).c_str());
    if (!name) return std::string();
    std::string result = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
  }
  // Wine does not wait for the Unix programs it starts: the result is awaited.
  static bool WaitFor(const std::string& path, bool present) {
    for (int i = 0; i < 500; ++i) {
      WIN32_FIND_DATAW data;
      const HANDLE find = ::FindFirstFileW(Wide(path).c_str(), &data);
      if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
      if ((find != INVALID_HANDLE_VALUE) == present) return true;
      ::Sleep(10);
    }
    return false;
  }
  // Wine starts a Unix program named by its Windows path.
  static void Run(const std::string& tool, const std::string& arguments) {
    std::string command = "Z:\\bin\\" + tool + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return;
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  UnixName unixName_ = nullptr;
  std::vector<std::pair<std::string, std::string>> made_;  // Unix and Windows paths
};

}  // namespace vx::test

#endif  // _WIN32
