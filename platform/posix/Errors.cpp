// POSIX backend: errors are errno values in the system category.
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

}  // namespace vx
