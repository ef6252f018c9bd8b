// A file system for the fuzz targets: whole-file reads come from a table,
// every other operation is a finding. The targets pass it to the engine and
// reach no disk at all.
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
  std::map<std::string, std::string> files;

  ErrorOr<std::string> ReadWholeFile(const std::string& path) override {
    return test::ReadFromTable(files, path);
  }
  ErrorOr<std::string> FullPath(const std::string& path) override { return kFolder + path; }
  ErrorOr<std::string> CurrentDirectory() override { return std::string("/veltrix-fuzz/courant"); }

  ErrorOr<Folder> OpenRoot(const std::string&) override { Stray("OpenRoot"); }
  ErrorOr<Folder> CreateRoot(const std::string&, const Folder*, const KeepMetadata&) override { Stray("CreateRoot"); }
  ErrorOr<EntryInfo> LookPath(const std::string&) override { Stray("LookPath"); }
  std::error_code CreateDirectories(const std::string&) override { Stray("CreateDirectories"); }
  std::error_code RemoveFolderPath(const std::string&) override { Stray("RemoveFolderPath"); }
  std::error_code AppendToFile(const std::string&, const std::string&) override {
    Stray("AppendToFile");
  }
  std::error_code RewriteFile(const std::string&,
                              const std::function<std::string(const std::string&)>&) override {
    Stray("RewriteFile");
  }
  std::error_code ReplaceFile(const std::string&, const std::string&) override {
    Stray("ReplaceFile");
  }
  ErrorOr<std::string> ShortPath(const std::string&) override { Stray("ShortPath"); }
  ErrorOr<Listing> List(const Folder&, const ListOptions&) override { Stray("List"); }
  ErrorOr<EntryInfo> Look(const Folder&, std::string_view) override { Stray("Look"); }
  ErrorOr<Folder> OpenFolder(const Folder&, std::string_view) override { Stray("OpenFolder"); }
  ErrorOr<std::vector<FileId>> FolderAndParents(const Folder&) override {
    Stray("FolderAndParents");
  }
  ErrorOr<Folder> CreateFolder(const Folder&, std::string_view, const Folder*, const KeepMetadata&) override {
    Stray("CreateFolder");
  }
  ErrorOr<uint32_t> GetAttributes(const Folder&, std::string_view) override {
    Stray("GetAttributes");
  }
  std::error_code SetAttributes(const Folder&, std::string_view, uint32_t) override {
    Stray("SetAttributes");
  }
  std::error_code CopyFile(const Folder&, std::string_view, const Folder&, std::string_view) override {
    Stray("CopyFile");
  }
  ErrorOr<std::unique_ptr<PreparedCopy>> PrepareCopy(const Folder&, std::string_view, const Folder&,
                                                     std::string_view, const CopyRequest&) override {
    Stray("PrepareCopy");
  }
  std::error_code DeleteSource(const Folder&, std::string_view, const SourceState*) override {
    Stray("DeleteSource");
  }
  std::error_code MoveFile(const Folder&, std::string_view, const Folder&, std::string_view) override {
    Stray("MoveFile");
  }
  std::error_code DeleteFile(const Folder&, std::string_view) override { Stray("DeleteFile"); }
  std::error_code RemoveFolder(const Folder&, std::string_view) override { Stray("RemoveFolder"); }
  std::error_code RemoveLink(const Folder&, std::string_view) override { Stray("RemoveLink"); }
  ErrorOr<std::unique_ptr<InputFile>> OpenForRead(const Folder&, std::string_view, Sharing) override {
    Stray("OpenForRead");
  }
  ErrorOr<FileTimes> GetFileTimes(const Folder&, std::string_view) override {
    Stray("GetFileTimes");
  }

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
