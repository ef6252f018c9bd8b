// POSIX backend: errors are errno values in the system category.
#include <locale.h>
#include <string.h>

#include "platform/posix/Posix.h"

namespace vx {

const std::error_category& SystemCategory() { return std::system_category(); }

// By equivalence, so that the portable codes of test doubles count too.
bool IsMissing(std::error_code error) {
  return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
}

bool MoveNeedsCopy(std::error_code error) { return error == std::errc::cross_device_link; }

// The system's word for a file that is no longer the one a descriptor held.
std::error_code SourceChangedError() { return SystemError(ESTALE); }

std::string ReasonText(std::error_code error) {
  std::string text;
  if (error.category() == std::system_category()) {
    // A private locale object: the user's messages without touching the
    // process's locale, which the host owns.
    const locale_t locale = ::newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(0));
    if (locale != static_cast<locale_t>(0)) {
      text = ::strerror_l(error.value(), locale);
      ::freelocale(locale);
    }
  }
  if (text.empty()) text = error.message();
  while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n'))
    text.pop_back();
  return text;
}

}  // namespace vx
