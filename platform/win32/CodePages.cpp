// Win32 backend: code pages. Compiled into the library and into the program.
#include "platform/win32/CodePages.h"

#include "platform/Process.h"

namespace vx {

namespace win {

std::string ConvertCodePage(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  const int wide = ::MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
  if (wide <= 0) return text;
  std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
  ::MultiByteToWideChar(from, 0, text.data(), size, &utf16[0], wide);
  const int narrow = ::WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return text;
  std::string out(static_cast<std::size_t>(narrow), '\0');
  ::WideCharToMultiByte(to, 0, utf16.data(), wide, &out[0], narrow, nullptr, nullptr);
  return out;
}

}  // namespace win

std::string Utf8ToAnsi(const std::string& utf8) { return win::ConvertCodePage(utf8, CP_UTF8, CP_ACP); }

}  // namespace vx
