// Tests name files by path; the file system takes a held folder and a name.
// These helpers open the folder part of a path and pass the last component,
// so that a test reads as what it checks.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vx::test {

// The folder part and the name of a path (folder "." when there is none).
inline std::pair<std::string, std::string> SplitPath(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && IsPathSeparator(trimmed.back())) trimmed.pop_back();
  const std::size_t cut = FolderPartLength(trimmed);
  return {cut == 0 ? std::string(".") : trimmed.substr(0, cut), trimmed.substr(cut)};
}

class PathFiles {
 public:
  explicit PathFiles(FileSystem& fs) : fs_(fs) {}

  // The folder a path names, held; a test that needs it and cannot have it fails.
  Folder Open(const std::string& folder) {
    ErrorOr<Folder> opened = fs_.OpenRoot(folder);
    EXPECT_TRUE(opened) << folder << ": " << opened.error().message();
    return opened ? std::move(*opened) : Folder();
  }

  std::error_code Copy(const std::string& from, const std::string& to,
                       const CopyAttributes& attributes = {}) {
    return OnTwoNames(from, to, [&](const Folder& a, const std::string& n, const Folder& b,
                                    const std::string& m) {
      return fs_.CopyFile(a, n, b, m, attributes);
    });
  }
  std::error_code Move(const std::string& from, const std::string& to) {
    return OnTwoNames(from, to, [&](const Folder& a, const std::string& n, const Folder& b,
                                    const std::string& m) { return fs_.MoveFile(a, n, b, m); });
  }
  std::error_code Delete(const std::string& path) {
    return OnName(path, [&](const Folder& f, const std::string& n) { return fs_.DeleteFile(f, n); });
  }
  std::error_code RemoveFolder(const std::string& path) {
    return OnName(path, [&](const Folder& f, const std::string& n) { return fs_.RemoveFolder(f, n); });
  }
  std::error_code RemoveLink(const std::string& path) {
    return OnName(path, [&](const Folder& f, const std::string& n) { return fs_.RemoveLink(f, n); });
  }
  std::error_code SetAttributes(const std::string& path, uint32_t attributes) {
    return OnName(path, [&](const Folder& f, const std::string& n) {
      return fs_.SetAttributes(f, n, attributes);
    });
  }
  // The attribute bits, or 0 with a test failure when they cannot be read.
  uint32_t Attributes(const std::string& path) {
    ErrorOr<uint32_t> bits = AttributesOf(path);
    EXPECT_TRUE(bits) << path << ": " << bits.error().message();
    return bits ? *bits : 0;
  }
  ErrorOr<uint32_t> AttributesOf(const std::string& path) {
    const auto [folder, name] = SplitPath(path);
    ErrorOr<Folder> f = fs_.OpenRoot(folder);
    if (!f) return f.error();
    return fs_.GetAttributes(*f, name);
  }
  ErrorOr<EntryInfo> Look(const std::string& path) {
    const auto [folder, name] = SplitPath(path);
    ErrorOr<Folder> f = fs_.OpenRoot(folder);
    if (!f) return f.error();
    return fs_.Look(*f, name);
  }
  bool IsFile(const std::string& path) {
    ErrorOr<EntryInfo> info = Look(path);
    return info && info->kind == EntryKind::File;
  }
  ErrorOr<FileTimes> Times(const std::string& path) {
    const auto [folder, name] = SplitPath(path);
    ErrorOr<Folder> f = fs_.OpenRoot(folder);
    if (!f) return f.error();
    return fs_.GetFileTimes(*f, name);
  }
  ErrorOr<Listing> List(const std::string& folder, bool includeHidden, const std::string& mask = "") {
    ErrorOr<Folder> f = fs_.OpenRoot(folder);
    if (!f) return f.error();
    ListOptions options;
    options.includeHidden = includeHidden;
    options.mask = mask;
    return fs_.List(*f, options);
  }
  // The names a listing holds, in its order; empty when it fails.
  std::vector<std::string> Names(const std::string& folder, bool includeHidden,
                                 const std::string& mask = "") {
    std::vector<std::string> names;
    ErrorOr<Listing> listing = List(folder, includeHidden, mask);
    if (listing) {
      for (std::size_t i = 0; i < listing->Count(); ++i) names.emplace_back(listing->At(i).name);
    }
    return names;
  }
  std::string ReadAll(const std::string& path) {
    ErrorOr<std::string> bytes = fs_.ReadWholeFile(path);
    EXPECT_TRUE(bytes) << path << ": " << bytes.error().message();
    return bytes ? *bytes : std::string();
  }

 private:
  template <typename Operation>
  std::error_code OnTwoNames(const std::string& from, const std::string& to, Operation operation) {
    const auto [fromFolder, fromName] = SplitPath(from);
    const auto [toFolder, toName] = SplitPath(to);
    ErrorOr<Folder> a = fs_.OpenRoot(fromFolder);
    if (!a) return a.error();
    ErrorOr<Folder> b = fs_.OpenRoot(toFolder);
    if (!b) return b.error();
    return operation(*a, fromName, *b, toName);
  }
  template <typename Operation>
  std::error_code OnName(const std::string& path, Operation operation) {
    const auto [folder, name] = SplitPath(path);
    ErrorOr<Folder> f = fs_.OpenRoot(folder);
    if (!f) return f.error();
    return operation(*f, name);
  }

  FileSystem& fs_;
};

}  // namespace vx::test
