// POSIX backend: names and paths: comparison, separators, the current
// folder, full and short paths.
#include "platform/posix/Posix.h"

#include <vector>

namespace vx::posix {

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace vx::posix

namespace vx {

using namespace posix;

int CompareFileNames(std::string_view a, std::string_view b) { return a.compare(b); }

bool IsPathSeparator(char c) { return c == '/'; }

std::size_t FolderPartLength(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

ErrorOr<std::string> NativeFileSystem::CurrentDirectory() {
  std::string buffer(PATH_MAX, '\0');
  while (::getcwd(&buffer[0], buffer.size()) == nullptr) {
    if (errno != ERANGE) return Errno();
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

ErrorOr<std::string> NativeFileSystem::FullPath(const std::string& path) {
  if (path.empty()) return std::string();
  std::string joined = path;
  if (path[0] != '/') {
    ErrorOr<std::string> current = CurrentDirectory();
    if (!current) return current.error();
    joined = *current + "/" + path;
  }
  // Fold "." and ".." lexically; links are not resolved.
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty()) result = "/";
  // A trailing separator names the same folder; keep it as typed.
  if (joined.back() == '/' && result != "/") result += '/';
  return result;
}

ErrorOr<std::string> NativeFileSystem::ShortPath(const std::string& path) { return path; }

}  // namespace vx
