// Win32 backend: errors are Win32 codes, with the system's own texts and
// their portable meanings.
#include "platform/win32/Win32.h"

namespace vx::win {

namespace {

class Win32Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "win32"; }

  // The system's own text in its own language (French under a French Windows).
  std::string message(int code) const override {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length && text ? std::string(text, length) : "Erreur " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
      result.pop_back();
    return result;
  }

  // So that portable code may ask error == std::errc::... on both backends.
  std::error_condition default_error_condition(int code) const noexcept override {
    switch (code) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
        return std::errc::no_such_file_or_directory;
      case ERROR_DIRECTORY: return std::errc::not_a_directory;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION:
        return std::errc::permission_denied;
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS:
        return std::errc::file_exists;
      case ERROR_DIR_NOT_EMPTY: return std::errc::directory_not_empty;
      case ERROR_NOT_SAME_DEVICE: return std::errc::cross_device_link;
      case ERROR_CANT_ACCESS_FILE: return std::errc::too_many_symbolic_link_levels;
      case ERROR_TOO_MANY_LINKS: return std::errc::too_many_links;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL:
        return std::errc::no_space_on_device;
      case ERROR_FILENAME_EXCED_RANGE: return std::errc::filename_too_long;
      case ERROR_NO_UNICODE_TRANSLATION: return std::errc::illegal_byte_sequence;
      case ERROR_INVALID_PARAMETER: return std::errc::invalid_argument;
      case ERROR_NOT_SUPPORTED: return std::errc::not_supported;
      case ERROR_WRITE_PROTECT: return std::errc::read_only_file_system;
      case ERROR_TOO_MANY_OPEN_FILES: return std::errc::too_many_files_open;
      case ERROR_NOT_ENOUGH_MEMORY:
      case ERROR_OUTOFMEMORY:
        return std::errc::not_enough_memory;
      default: return std::error_condition(code, *this);
    }
  }
};

}  // namespace

}  // namespace vx::win

namespace vx {

using namespace win;

const std::error_category& SystemCategory() {
  static const Win32Category category;
  return category;
}

// By equivalence (default_error_condition above), so that the portable
// codes of test doubles count too.
bool IsMissing(std::error_code error) {
  return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
}

bool MoveNeedsCopy(std::error_code error) { return error == std::errc::cross_device_link; }

// "The volume for a file has been externally altered so that the opened
// file is no longer valid": the nearest of the system's own words.
std::error_code SourceChangedError() { return Error(ERROR_FILE_INVALID); }

std::string ReasonText(std::error_code error) {
  // The portable codes of test doubles have no Win32 text: the C runtime's.
  std::string text = error.message();
  while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\r' ||
                           text.back() == '\n'))
    text.pop_back();
  return text;
}

}  // namespace vx
