// Work done ahead of the walk, on other threads: for the files that come
// next in the folder being walked, the look-ups their selection asks and,
// for a file that will be copied, its prepared copy (content, attributes
// and times, under no name; its digests under -V). Only the walk makes
// anything visible, file after file in walk order: it judges each file
// again on the same look-ups, with whatever a user sees, and names the copy
// or drops it. So the output is the serial walk's, whatever the threads do.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/Selection.h"
#include "core/WorkPool.h"
#include "support/md5.h"

namespace vx {

// One file the walk will come to, with what was done for it ahead.
struct AheadFile {
  std::size_t position = 0;  // in its folder's listing
  ListedEntry entry;         // as listed
  std::string sourcePath, destPath;
  // What the selection's look-ups found.
  std::optional<SourceFile> source;
  std::optional<Lookup> target;
  // Where the file will be copied: PrepareCopy was asked, and gave copy or
  // copyError. A copy the walk does not commit goes with its temporary file.
  bool prepared = false;
  std::unique_ptr<PreparedCopy> copy;
  std::error_code copyError;
  std::optional<std::pair<Md5Digest, Md5Digest>> digests;  // of the copy, of the source (-V)
  int64_t bytes = 0;      // counted in the bytes in flight
  bool unusable = false;  // the work raised: the walk does it all again itself
};

class CopyAhead {
 public:
  // Park: the file waits for something only the walk does (its folder to
  // be made); Resume posts it again.
  enum class Step { Done, Park };
  using Work = std::function<Step(AheadFile&)>;

  // At most files posted and not taken, and bytes of prepared copies.
  CopyAhead(Executor& executor, std::size_t files, int64_t bytes, Work work);
  ~CopyAhead();
  CopyAhead(const CopyAhead&) = delete;
  CopyAhead& operator=(const CopyAhead&) = delete;

  // Whether one more file may be posted.
  bool HasRoom() const;
  // Posts the work for file; positions increase.
  void Post(std::unique_ptr<AheadFile> file);
  // The file at position with its work done, waited for (or, not started
  // yet, done here); a parked file as it is. nullptr when none was posted.
  std::unique_ptr<AheadFile> Take(std::size_t position);
  // Posts the parked files again: what they waited for is there.
  void Resume();
  // Drops every file not taken: work not started is skipped, work running
  // is waited for, and prepared copies are dropped with their temporary files.
  void Drain();
  // Counts bytes of a copy about to be prepared; false when over the budget.
  bool Reserve(int64_t bytes);
  // Closes a copy the walk is done with on a thread of the pool: where
  // every call waits (a network or FUSE file system), closing waits too.
  // Drain waits for it.
  void Dispose(std::unique_ptr<PreparedCopy> copy);

 private:
  enum class State { Queued, Running, Parked, Done, Dropped };
  struct Slot {
    std::unique_ptr<AheadFile> file;
    State state = State::Queued;
  };
  void Start(const std::shared_ptr<Slot>& slot);
  void Run(const std::shared_ptr<Slot>& slot);
  Step DoWork(AheadFile& file);

  Executor& executor_;
  const std::size_t files_;
  const int64_t bytesLimit_;
  Work work_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Slot>> slots_;  // by position
  std::size_t posted_ = 0;  // jobs handed to the executor and not yet returned
  int64_t bytes_ = 0;
};

}  // namespace vx
