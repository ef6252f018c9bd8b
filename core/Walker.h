// The one tree walk of the engine. The copy, the purge, -T and -L are its
// consumers: they see typed events and decide what to do with each; the
// rules that keep a walk inside its tree live here, once:
//   - every folder is held open while the walk is in it, and every name is
//     reached relative to its held parent;
//   - a link to a folder, a mount point or another reparse point is met,
//     never entered;
//   - a folder that cannot be opened or listed whole is reported as such,
//     never taken for an empty or a complete folder;
//   - a folder is closed before it is removed;
//   - the held folders are a stack on the heap: depth costs memory and one
//     descriptor a level, never the thread's stack. A tree deeper than the
//     descriptors allow ends in folders that cannot be opened (EMFILE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include "platform/Platform.h"

namespace vx {

enum class WalkEvent : uint8_t {
  // The walk holds Held() now: the root, or a subfolder it has just opened
  // (Parent() holds it, Entry() is its listed entry). Its entries follow,
  // then LeaveFolder; Skip() instead leaves it at once, with no event more.
  EnterFolder,
  // Entry() is a file of Held(), or a link to one (Entry().link).
  File,
  // Entry() is a link to a folder, a mount point or another reparse point
  // of Held(): met, never entered.
  Link,
  // The folder at Path() could not be opened (Entry() of Held(), not entered)
  // or listed whole (Held() itself, between its EnterFolder and LeaveFolder).
  // Error() says why. Such a folder is neither empty nor complete.
  Unlistable,
  // Held() is left, still open: every one of its entries was offered
  // (Complete()), or its listing failed. RemoveFolder() may remove it now.
  LeaveFolder,
};

struct WalkOptions {
  ListOptions list;         // the mask applies at the root only
  bool descend = true;      // enter subfolders (else folder entries are passed over)
  bool shortNames = false;  // Path() is built from short names where there are some
};

// The answer of a look-up: present (with what was found), absent, or
// unknown (with the error that kept it from being looked at). Unknown is
// never taken for absent: nothing is judged, replaced or deleted on it.
class Lookup {
 public:
  Lookup() = default;  // absent
  explicit Lookup(const ErrorOr<EntryInfo>& answer) {
    if (answer) {
      info_ = *answer;
      present_ = true;
    } else if (!IsMissing(answer.error())) {
      error_ = answer.error();
    }
  }
  bool Present() const { return present_; }
  bool Absent() const { return !present_ && !error_; }
  bool Unknown() const { return static_cast<bool>(error_); }
  const EntryInfo& Info() const { return info_; }  // when Present()
  std::error_code Error() const { return error_; }  // when Unknown()
  // Present and a file (or a link to one).
  bool IsFile() const { return present_ && info_.kind == EntryKind::File; }

 private:
  EntryInfo info_;
  bool present_ = false;
  std::error_code error_;
};

class TreeWalker {
 public:
  // Walks below root (held by the caller for the whole walk), reached as
  // rootPath (with its trailing separator).
  TreeWalker(FileSystem& fs, const Folder& root, std::string rootPath, WalkOptions options);
  TreeWalker(const TreeWalker&) = delete;
  TreeWalker& operator=(const TreeWalker&) = delete;

  // Moves to the next event; false at the end of the walk.
  bool Next();
  WalkEvent Event() const { return event_; }
  // The folder the event happens in; for EnterFolder and LeaveFolder the
  // folder itself.
  const Folder& Held() const { return *frames_.back().folder; }
  // The folder holding Held() for EnterFolder and LeaveFolder; nullptr at the root.
  const Folder* Parent() const;
  // The entry of the event as its folder's listing gave it (the folder's own
  // entry for EnterFolder and LeaveFolder; an empty one at the root).
  const ListedEntry& Entry() const { return entry_; }
  // What the entry's name stands for now, looked up once, when first asked.
  const Lookup& Look();
  // The entry's path: for folders with its trailing separator.
  const std::string& Path() const { return path_; }
  std::error_code Error() const { return error_; }
  // At Unlistable: the listing of Held() itself failed (rather than the
  // opening of one of its subfolders).
  bool ListingFailed() const { return event_ == WalkEvent::Unlistable && listingFailed_; }
  // 0 for the root's own events and its entries, 1 below, and so on.
  std::size_t Depth() const { return frames_.size() - 1; }
  // At LeaveFolder: the folder was listed whole and every entry offered,
  // and so was every subfolder walked below it (none was Unlistable).
  bool Complete() const { return frames_.back().listed && frames_.back().whole && !cut_; }

  // At File: the entries of Held()'s listing after this one, for work done
  // ahead of the walk. Entry i of Ahead() is Listed(i) for i from
  // AheadFrom() on; an entry that is a folder the walk will enter ends the
  // run of entries that come next without a folder between.
  std::size_t AheadFrom() const { return frames_.back().next; }
  std::size_t ListedCount() const;
  const ListedEntry Listed(std::size_t i) const { return frames_.back().listing->At(i); }
  bool Enters(const ListedEntry& entry) const {
    return entry.IsFolder() && !(entry.attributes & attr::ReparsePoint) && options_.descend;
  }
  // The path an entry of Held()'s listing has (a file's: no separator after it).
  std::string PathOf(const ListedEntry& entry) const {
    return path_.substr(0, frames_.back().pathLength).append(PathName(entry));
  }

  // At EnterFolder: the folder is not listed; the walk goes on after it.
  void Skip() { skip_ = true; }
  // Cuts the walk short: no entry more is offered, no folder entered; each
  // folder still held is left (LeaveFolder, not Complete()), innermost first.
  void Cut() { cut_ = true; }
  // At LeaveFolder of a Complete() subfolder: closes it, then removes it
  // from its parent if it is empty. A folder that holds one that could not
  // be listed is not empty and stays; a root is never removed here.
  std::error_code RemoveFolder();

 private:
  struct Frame {
    Folder owned;                  // every folder but the root
    const Folder* folder = nullptr;
    ErrorOr<Listing> listing = std::error_code();
    ListedEntry entry;             // in the parent's listing, which outlives it
    std::size_t next = 0;
    std::size_t pathLength = 0;    // Path() of the folder, separator included
    bool listed = false;
    bool whole = true;             // no folder below it was Unlistable
    bool left = false;             // LeaveFolder given
  };
  void SetPath(const Frame& frame, std::string_view name, bool folder);
  std::string_view PathName(const ListedEntry& entry) const {
    return options_.shortNames ? entry.ShortOrName() : entry.name;
  }

  FileSystem& fs_;
  WalkOptions options_;
  std::deque<Frame> frames_;  // a deque: a frame never moves while the walk holds it
  WalkEvent event_ = WalkEvent::EnterFolder;
  ListedEntry entry_;
  std::string path_;
  std::error_code error_;
  Lookup lookup_;
  bool looked_ = false;
  bool started_ = false;
  bool listingFailed_ = false;
  bool toList_ = false;  // EnterFolder given: the folder is listed next unless skipped
  bool skip_ = false;
  bool cut_ = false;
};

}  // namespace vx
