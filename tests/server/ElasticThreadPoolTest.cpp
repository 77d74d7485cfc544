#include "server/ElasticThreadPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Tasks that hold their worker until the test releases them, as a silent
// connection holds one until its time-out.
class HeldTasks {
 public:
  std::function<void()> task() {
    return [this] {
      std::unique_lock<std::mutex> lock(mutex_);
      ++started_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
      ++finished_;
    };
  }

  // True once `count` tasks run at the same time; bounded wait.
  bool waitUntilStarted(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return started_ >= count; });
  }

  void releaseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  int started() {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
  }
  int finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int started_ = 0;
  int finished_ = 0;
  bool released_ = false;
};

TEST(ElasticThreadPoolTest, BusyCoreGetsAWorkerForEveryNewTask) {
  HeldTasks held;
  ElasticThreadPool pool(2, 64);
  EXPECT_EQ(pool.threadCount(), 2u);
  for (int i = 0; i < 40; ++i) pool.enqueue(held.task());
  EXPECT_TRUE(held.waitUntilStarted(40));
  // The two idle ones took the first two tasks; none was added for them.
  EXPECT_EQ(pool.threadCount(), 40u);
  held.releaseAll();
  pool.shutdown();
  EXPECT_EQ(held.finished(), 40);
}

TEST(ElasticThreadPoolTest, CeilingQueuesTheRestAndShutdownRunsThemAll) {
  HeldTasks held;
  ElasticThreadPool pool(1, 3);
  for (int i = 0; i < 5; ++i) pool.enqueue(held.task());
  EXPECT_TRUE(held.waitUntilStarted(3));
  // Every worker is held, so the other two can only wait in the queue.
  EXPECT_EQ(pool.threadCount(), 3u);
  EXPECT_EQ(held.started(), 3);
  held.releaseAll();
  pool.shutdown();
  EXPECT_EQ(held.finished(), 5);
}

}  // namespace
