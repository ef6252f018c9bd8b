// A file system whose whole-file reads come from a table, installed as the
// library's file system while it lives: list-file tests run the same on every
// target without touching the disk.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vx::test {

// A whole-file read served from a table of names and contents.
inline bool ReadFromTable(const std::map<std::string, std::string>& files, const std::string& path,
                          std::string& bytes, std::string& error) {
  const auto found = files.find(path);
  if (found == files.end()) {
    error = "Fichier introuvable.";
    return false;
  }
  bytes = found->second;
  return true;
}

class ListFilesDouble : public NativeFileSystem {
 public:
  ListFilesDouble() { SetFiles(this); }
  ~ListFilesDouble() override { SetFiles(nullptr); }

  std::map<std::string, std::string> files;
  std::vector<std::string> opened;  // every name asked for, in order

  bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) override {
    opened.push_back(path);
    return ReadFromTable(files, path, bytes, error);
  }
  std::string FullPath(const std::string& path) override { return "<dossier>" + path; }
  std::string CurrentDirectory() override { return current; }

  std::string current = "<courant>";
};

}  // namespace vx::test
