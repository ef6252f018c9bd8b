#include "core/CopyAhead.h"

namespace vx {

CopyAhead::CopyAhead(Executor& executor, std::size_t files, int64_t bytes, Work work)
    : executor_(executor), files_(files), bytesLimit_(bytes), work_(std::move(work)) {}

CopyAhead::~CopyAhead() { Drain(); }

bool CopyAhead::HasRoom() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return slots_.size() < files_;
}

void CopyAhead::Post(std::unique_ptr<AheadFile> file) {
  auto slot = std::make_shared<Slot>();
  slot->file = std::move(file);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back(slot);
  }
  Start(slot);
}

void CopyAhead::Start(const std::shared_ptr<Slot>& slot) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++posted_;
  }
  executor_.Post([this, slot] { Run(slot); });
}

CopyAhead::Step CopyAhead::DoWork(AheadFile& file) {
  try {
    return work_(file);
  } catch (...) {
    // The walk meets the same failure itself, in its place.
    file.unusable = true;
    return Step::Done;
  }
}

void CopyAhead::Run(const std::shared_ptr<Slot>& slot) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (slot->state != State::Queued) {
      --posted_;
      changed_.notify_all();
      return;
    }
    slot->state = State::Running;
  }
  const Step step = DoWork(*slot->file);
  const std::lock_guard<std::mutex> lock(mutex_);
  slot->state = step == Step::Park ? State::Parked : State::Done;
  --posted_;
  changed_.notify_all();
}

std::unique_ptr<AheadFile> CopyAhead::Take(std::size_t position) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Files the walk passed by without taking them: dropped once no thread works on them.
  while (!slots_.empty() && slots_.front()->file->position < position) {
    const std::shared_ptr<Slot> passed = slots_.front();
    changed_.wait(lock, [&] { return passed->state != State::Running; });
    passed->state = State::Dropped;
    bytes_ -= passed->file->bytes;
    slots_.pop_front();
  }
  if (slots_.empty() || slots_.front()->file->position != position) return nullptr;
  std::shared_ptr<Slot> slot = slots_.front();
  slots_.pop_front();
  if (slot->state == State::Queued) {
    // Not started: done here rather than waited for behind other work.
    slot->state = State::Dropped;
    lock.unlock();
    DoWork(*slot->file);
    lock.lock();
  }
  changed_.wait(lock, [&] { return slot->state != State::Running; });
  slot->state = State::Dropped;
  bytes_ -= slot->file->bytes;
  return std::move(slot->file);
}

void CopyAhead::Resume() {
  std::deque<std::shared_ptr<Slot>> parked;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const std::shared_ptr<Slot>& slot : slots_) {
      if (slot->state != State::Parked) continue;
      slot->state = State::Queued;
      parked.push_back(slot);
    }
  }
  for (const std::shared_ptr<Slot>& slot : parked) Start(slot);
}

void CopyAhead::Drain() {
  std::deque<std::shared_ptr<Slot>> dropped;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    for (const std::shared_ptr<Slot>& slot : slots_)
      if (slot->state == State::Queued || slot->state == State::Parked) slot->state = State::Dropped;
    changed_.wait(lock, [&] { return posted_ == 0; });
    dropped.swap(slots_);
    bytes_ = 0;
  }
  // The prepared copies go here, with their temporary files.
}

void CopyAhead::Dispose(std::unique_ptr<PreparedCopy> copy) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++posted_;
  }
  auto closing = std::make_shared<std::unique_ptr<PreparedCopy>>(std::move(copy));
  executor_.Post([this, closing] {
    closing->reset();
    const std::lock_guard<std::mutex> lock(mutex_);
    --posted_;
    changed_.notify_all();
  });
}

bool CopyAhead::Reserve(int64_t bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (bytes_ > 0 && bytes_ + bytes > bytesLimit_) return false;
  bytes_ += bytes;
  return true;
}

}  // namespace vx
