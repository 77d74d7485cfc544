#include "server/ElasticThreadPool.h"

#include <algorithm>
#include <system_error>
#include <utility>

ElasticThreadPool::ElasticThreadPool(size_t coreThreads, size_t maxThreads)
    : maxThreads_(std::max(coreThreads, maxThreads)) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < coreThreads; ++i) addWorker();
}

ElasticThreadPool::~ElasticThreadPool() { shutdown(); }

void ElasticThreadPool::enqueue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    // An idle worker stays counted as idle until it takes its task, so
    // this counts the tasks that no worker will take soon.
    if (!shuttingDown_ && tasks_.size() > idleWorkers_ &&
        workers_.size() < maxThreads_) {
      tryToAddWorker();
    }
  }
  taskQueued_.notify_one();
}

void ElasticThreadPool::shutdown() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shuttingDown_ = true;
    workers.swap(workers_);
  }
  taskQueued_.notify_all();
  for (std::thread& worker : workers) worker.join();
}

size_t ElasticThreadPool::threadCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return workers_.size();
}

// A new worker counts as idle from the start: it is on its way to the
// queue, and cannot take a task before mutex_ is released.
void ElasticThreadPool::addWorker() {
  workers_.emplace_back(&ElasticThreadPool::work, this);
  ++idleWorkers_;
}

// Out of threads, the task waits for the workers there are, as in a fixed
// pool, rather than take the accept loop down.
void ElasticThreadPool::tryToAddWorker() {
  try {
    addWorker();
  } catch (const std::system_error&) {
  }
}

void ElasticThreadPool::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    taskQueued_.wait(lock, [this] { return !tasks_.empty() || shuttingDown_; });
    if (tasks_.empty()) return;  // shutting down, nothing left to run
    --idleWorkers_;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
    ++idleWorkers_;
  }
}
