// Threads that take jobs in the order they were posted.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vx {

// Where work done ahead of the walk runs. The engine's tests post to one
// that runs each job at once, on the walk's own thread.
class Executor {
 public:
  virtual ~Executor() = default;
  virtual void Post(std::function<void()> job) = 0;
};

class WorkPool : public Executor {
 public:
  explicit WorkPool(int threads);
  // Waits for the jobs running; the queued ones still run first, so that
  // whoever waits for them is not left waiting.
  ~WorkPool() override;
  WorkPool(const WorkPool&) = delete;
  WorkPool& operator=(const WorkPool&) = delete;
  void Post(std::function<void()> job) override;

 private:
  void Work();
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> jobs_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace vx
