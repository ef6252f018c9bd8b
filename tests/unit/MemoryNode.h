// What the three sources of the memory file system share: its nodes, and
// the rules of names and paths. For tests/unit/Memory*.cc alone.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tests/unit/MemoryFileSystem.h"

namespace vx::test {

namespace memory {

enum Kind { kFile, kFolder, kLink, kSpecial };

constexpr uint32_t kDosStoredBits = attr::Hidden | attr::System | attr::Archive;
constexpr int kMaxLinkDepth = 40;

inline std::error_code Error(std::errc code) { return std::make_error_code(code); }
inline bool Windows() { return kPathSeparator == '\\'; }

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return CompareFileNames(a, b) < 0;
  }
};

// One name as the backends take it: a single component.
std::error_code CheckName(std::string_view name);

// Where a path starts: its root's length and drive ("" on Linux), or a
// relative path (absolute false). A path rooted without a drive on
// Windows is on the current folder's drive.
struct RootPart {
  bool absolute = false;
  std::size_t length = 0;
  std::string drive;
};

RootPart RootOf(const std::string& path, const std::string& currentDrive);
inline std::string RootText(const std::string& drive) { return drive + kPathSeparator; }
// The components of path from offset from, empty ones left out.
std::vector<std::string> Components(const std::string& path, std::size_t from);

}  // namespace memory

struct MemoryFileSystem::Node {
  int kind = memory::kFile;
  FileId id;
  int mode = 0644;
  int links = 0;  // names in folders (Put and Drop count them)
  int owner = 0;                                 // owner and group in one, as -OWNER keeps them
  std::map<std::string, std::string> xattrs;     // extended attributes, as -XATTR keeps them
  std::optional<uint32_t> dos;  // the DOS bits kept; none: a file's archive bit alone
  std::string bytes;            // a file's content,
  uint64_t zeros = 0;           // then as many zeros, unwritten (a sparse file)
  std::string target;           // a link's
  int64_t creation = 0, lastAccess = 0, lastWrite = 0;
  bool mountRoot = false;
  std::weak_ptr<Node> parent;  // a folder's; none at a root
  bool removed = false;        // a folder no longer in the tree (held ones still act in it)
  std::string shortName;
  std::map<std::string, NodePtr, memory::NameLess> entries;
  Faults faults;

  bool IsFolder() const { return kind == memory::kFolder; }
  uint64_t Size() const { return bytes.size() + zeros; }
  // The whole content, the zeros written out.
  std::string& Whole() {
    bytes.append(static_cast<std::size_t>(zeros), '\0');
    zeros = 0;
    return bytes;
  }
};

// Where a path leads: the folder and name of its last component (no folder
// for a root, "." or ".."), and what is there (nullptr: nothing).
struct MemoryFileSystem::Place {
  NodePtr folder;
  std::string name;
  NodePtr node;
};

namespace memory {

using Node = MemoryFileSystem::Node;
using NodePtr = MemoryFileSystem::NodePtr;

// Whether what one operation writes into node finds no room.
bool NoRoom(Node& node, uint64_t bytes);
// A folder taken out of the tree, with all it holds.
void MarkRemoved(Node& node);

}  // namespace memory
}  // namespace vx::test
