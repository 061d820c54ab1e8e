// The scheduling of a parallel directory walk, shared by the platforms' size measurements. Workers take
// directories from a shared stack and push the subdirectories they find; the calling thread is one of the
// workers and the others start only once there is work to share. How a directory is read is the
// platform's: its visit lists the directory without the walk's lock, then publishes what it found.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace korvane {

template <class Task>
class ParallelWalk {
 public:
  explicit ParallelWalk(unsigned threads) : threads_(threads) {}

  // Visits first and every task that the visits push, and returns once all are done. May run again.
  void Run(Task first, std::function<void(const Task&)> visit) {
    visit_ = std::move(visit);
    {
      std::lock_guard lock(mutex_);
      stack_.push_back(std::move(first));
      pending_ = 1;
    }
    Work();
    for (std::thread& helper : helpers_) helper.join();
    helpers_.clear();
  }

  // From a visit: runs publish(push) under the walk's lock, which also guards whatever store the visits
  // share; push(Task) schedules a task.
  template <class Publisher>
  void Publish(Publisher&& publish) {
    std::lock_guard lock(mutex_);
    publish([this](Task task) {
      stack_.push_back(std::move(task));
      ++pending_;
    });
    if (stack_.size() > 1 && helpers_.size() + 1 < threads_) StartHelper();
    if (waiting_ > 0) wake_.notify_all();
  }

 private:
  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++waiting_;
      wake_.wait(lock, [&] { return !stack_.empty() || pending_ == 0; });
      --waiting_;
      if (stack_.empty()) return;
      Task task = std::move(stack_.back());
      stack_.pop_back();
      lock.unlock();
      visit_(task);
      lock.lock();
      if (--pending_ == 0) wake_.notify_all();
    }
  }

  // With the lock held.
  void StartHelper() {
    try {
      helpers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Without another thread the walkers already running finish the work.
    }
  }

  const unsigned threads_;
  std::function<void(const Task&)> visit_;
  std::mutex mutex_;  // guards the stack and the counters, and the visits' shared store
  std::condition_variable wake_;
  std::vector<Task> stack_;
  size_t pending_ = 0;  // tasks on the stack or being visited
  unsigned waiting_ = 0;
  std::vector<std::thread> helpers_;
};

}  // namespace korvane
