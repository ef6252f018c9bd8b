// A file system whose whole-file reads come from a table, passed where the
// engine takes its file system: list-file tests run the same on every target
// with names and a current folder of their own. Everything else is in memory.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/unit/MemoryFileSystem.h"

namespace vx::test {

// A whole-file read served from a table of names and contents.
// A name missing from the table is a missing file.
inline ErrorOr<std::string> ReadFromTable(const std::map<std::string, std::string>& files,
                                          const std::string& path) {
  const auto found = files.find(path);
  if (found == files.end()) return std::make_error_code(std::errc::no_such_file_or_directory);
  return found->second;
}

class ListFilesDouble : public MemoryFileSystem {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> opened;  // every name asked for, in order

  ErrorOr<std::string> ReadWholeFile(const std::string& path) override {
    opened.push_back(path);
    return ReadFromTable(files, path);
  }
  ErrorOr<std::string> FullPath(const std::string& path) override { return "<dossier>" + path; }
  ErrorOr<std::string> CurrentDirectory() override { return current; }

  std::string current = "<courant>";
};

}  // namespace vx::test
