#include "tests/unit/TempDir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/Platform.h"

namespace vx::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  fs::path base = fs::temp_directory_path() / ("veltrix-test-" + std::to_string(rd()));
  fs::create_directories(base);
  path_ = base.string();
  while (!path_.empty() && IsPathSeparator(path_.back())) path_.pop_back();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only entries would stop the removal on Windows.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
  std::string result = path_ + kPathSeparator + relative;
  for (char& c : result)
    if (c == '/') c = kPathSeparator;
  return result;
}

void TempDir::Write(const std::string& relative, const std::string& bytes) const {
  const fs::path file = *this / relative;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string TempDir::Read(const std::string& relative) const {
  std::ifstream in(*this / relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vx::test
