// Path text the same on every platform but for its separators.
#include "platform/Platform.h"

namespace vx {

std::string WithoutTrailingSeparators(std::string path) {
  // "C:\" is a root only where a colon names a drive.
  auto isDriveRoot = [&path] { return kPathSeparator == '\\' && path.size() == 3 && path[1] == ':'; };
  while (path.size() > 1 && IsPathSeparator(path.back()) && !isDriveRoot()) path.pop_back();
  return path;
}

}  // namespace vx
