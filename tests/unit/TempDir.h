// A real temporary folder for tests that work on files, removed afterwards.
#pragma once

#include <string>

namespace vx::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + separator + relative (relative written with "/").
  std::string operator/(const std::string& relative) const;
  // Writes a file (and its folders) with the given bytes.
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;

 private:
  std::string path_;
};

}  // namespace vx::test
