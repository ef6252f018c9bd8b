// The one tree walk: a stack of held folders on the heap, each with its
// listing and the position reached in it.
#include "core/Walker.h"

namespace vx {

TreeWalker::TreeWalker(FileSystem& fs, const Folder& root, std::string rootPath,
                       WalkOptions options)
    : fs_(fs), options_(std::move(options)), path_(std::move(rootPath)) {
  Frame& frame = frames_.emplace_back();
  frame.folder = &root;
  frame.pathLength = path_.size();
  frame.entry.attributes = attr::Directory;
  entry_ = frame.entry;
}

const Folder* TreeWalker::Parent() const {
  return frames_.size() < 2 ? nullptr : frames_[frames_.size() - 2].folder;
}

const Lookup& TreeWalker::Look() {
  if (!looked_) {
    looked_ = true;
    const bool own = event_ == WalkEvent::EnterFolder || event_ == WalkEvent::LeaveFolder;
    const Folder* folder = own ? Parent() : &Held();
    lookup_ = folder ? Lookup(fs_.Look(*folder, entry_.name))
                     : Lookup(fs_.LookPath(path_));
  }
  return lookup_;
}

std::size_t TreeWalker::ListedCount() const {
  const Frame& frame = frames_.back();
  return frame.listed && !cut_ ? frame.listing->Count() : 0;
}

void TreeWalker::SetPath(const Frame& frame, std::string_view name, bool folder) {
  path_.resize(frame.pathLength);
  path_.append(name);
  if (folder && (path_.empty() || !IsPathSeparator(path_.back()))) path_ += kPathSeparator;
}

std::error_code TreeWalker::RemoveFolder() {
  if (event_ != WalkEvent::LeaveFolder || frames_.size() < 2)
    return std::make_error_code(std::errc::operation_not_permitted);
  if (!Complete()) return std::make_error_code(std::errc::directory_not_empty);
  Frame& frame = frames_.back();
  // A held folder cannot be removed on every platform.
  frame.owned.Close();
  return fs_.RemoveFolder(*Parent(), frame.entry.name);
}

bool TreeWalker::Next() {
  looked_ = false;
  error_.clear();
  if (!started_) {
    started_ = true;
    event_ = WalkEvent::EnterFolder;
    toList_ = true;
    return true;
  }
  while (!frames_.empty()) {
    Frame& frame = frames_.back();
    // Where the last event left this folder.
    if (toList_ && skip_) {
      toList_ = skip_ = false;
      frames_.pop_back();
      continue;
    }
    if (frame.left) {
      const bool whole = frame.listed && frame.whole;
      frames_.pop_back();
      if (!whole && !frames_.empty()) frames_.back().whole = false;
      continue;
    }
    if (cut_) {
      toList_ = skip_ = false;
      frame.listed = false;
      frame.next = frame.listing ? frame.listing->Count() : 0;
    }
    if (toList_) {
      toList_ = false;
      ListOptions options = options_.list;
      if (frames_.size() > 1) options.mask.clear();
      frame.listing = fs_.List(*frame.folder, options);
      if (!frame.listing) {
        // Unlistable, then LeaveFolder: a partial listing is no listing.
        error_ = frame.listing.error();
        listingFailed_ = true;
        path_.resize(frame.pathLength);
        event_ = WalkEvent::Unlistable;
        entry_ = frame.entry;
        return true;
      }
      frame.listed = true;
    }
    const std::size_t count = frame.listed ? frame.listing->Count() : 0;
    while (frame.next < count) {
      const ListedEntry entry = frame.listing->At(frame.next++);
      entry_ = entry;
      if (!entry.IsFolder()) {
        SetPath(frame, PathName(entry), false);
        event_ = WalkEvent::File;
        return true;
      }
      // Links to folders and mount points are never entered: no loop can form.
      if (entry.attributes & attr::ReparsePoint) {
        SetPath(frame, PathName(entry), false);
        event_ = WalkEvent::Link;
        return true;
      }
      if (!options_.descend) continue;
      SetPath(frame, PathName(entry), true);
      ErrorOr<Folder> sub = fs_.OpenFolder(*frame.folder, entry.name);
      if (!sub) {
        // Gone since the listing: no entry any more. Anything else (swapped
        // for a link, unreadable, out of descriptors) cannot be listed.
        if (IsMissing(sub.error())) continue;
        error_ = sub.error();
        listingFailed_ = false;
        frame.whole = false;
        event_ = WalkEvent::Unlistable;
        return true;
      }
      Frame& child = frames_.emplace_back();
      child.owned = std::move(*sub);
      child.folder = &child.owned;
      child.entry = entry;
      child.pathLength = path_.size();
      event_ = WalkEvent::EnterFolder;
      toList_ = true;
      return true;
    }
    frame.left = true;
    path_.resize(frame.pathLength);
    entry_ = frame.entry;
    event_ = WalkEvent::LeaveFolder;
    return true;
  }
  return false;
}

}  // namespace vx
