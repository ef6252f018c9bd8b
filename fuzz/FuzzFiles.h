// A file system for the fuzz targets: whole-file reads come from a table,
// every other operation is a finding. The targets reach no disk at all.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/unit/ListFilesDouble.h"

namespace vx::fuzz {

class TableFiles : public FileSystem {
 public:
  TableFiles() { SetFiles(this); }
  ~TableFiles() override { SetFiles(nullptr); }

  std::map<std::string, std::string> files;

  bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) override {
    return test::ReadFromTable(files, path, bytes, error);
  }
  std::string FullPath(const std::string& path) override { return kFolder + path; }
  std::string CurrentDirectory() override { return "/veltrix-fuzz/courant"; }

  bool FindFiles(const std::string&, bool, std::vector<DirEntry>&) override { Stray("FindFiles"); }
  bool FindFile(const std::string&, DirEntry&) override { Stray("FindFile"); }
  bool FileExists(const std::string&) override { Stray("FileExists"); }
  bool DirectoryExists(const std::string&) override { Stray("DirectoryExists"); }
  uint32_t GetAttributes(const std::string&) override { Stray("GetAttributes"); }
  bool SetAttributes(const std::string&, uint32_t) override { Stray("SetAttributes"); }
  bool CopyFile(const std::string&, const std::string&) override { Stray("CopyFile"); }
  bool MoveFile(const std::string&, const std::string&) override { Stray("MoveFile"); }
  bool SameVolume(const std::string&, const std::string&) override { Stray("SameVolume"); }
  bool SameFile(const std::string&, const std::string&) override { Stray("SameFile"); }
  bool DeleteFile(const std::string&) override { Stray("DeleteFile"); }
  bool CreateDirectories(const std::string&) override { Stray("CreateDirectories"); }
  bool RemoveDirectory(const std::string&) override { Stray("RemoveDirectory"); }
  std::string ShortPath(const std::string&) override { Stray("ShortPath"); }
  bool GetFileTimes(const std::string&, int64_t[3]) override { Stray("GetFileTimes"); }
  std::unique_ptr<InputFile> OpenForRead(const std::string&, Sharing, std::string&) override {
    Stray("OpenForRead");
  }
  bool AppendToFile(const std::string&, const std::string&, std::string&) override {
    Stray("AppendToFile");
  }
  bool RewriteFile(const std::string&, const std::string&, std::string&) override {
    Stray("RewriteFile");
  }
  PathKind Probe(const std::string&) override { Stray("Probe"); }
  bool CanListFolder(const std::string&) override { Stray("CanListFolder"); }
  bool RemoveLink(const std::string&) override { Stray("RemoveLink"); }

 private:
  static inline const std::string kFolder = "/veltrix-fuzz/listes/";

  // The parser and the list reader have no business with these.
  [[noreturn]] static void Stray(const char* operation) {
    std::fprintf(stderr, "unexpected file-system call: %s\n", operation);
    std::abort();
  }
};

// A finding: print why and stop, so libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "FINDING: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

}  // namespace vx::fuzz
