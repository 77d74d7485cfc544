// ElasticThreadPool: the HTTP server's task queue. The library hands it one
// task per accepted connection, and that task holds its worker for as long
// as the connection lives: up to the read or keep-alive time-out when the
// client sends nothing. A fixed pool is therefore starved by a client that
// merely opens connections. This pool keeps a core of workers and adds one
// whenever a task arrives while no worker is free, up to a ceiling; workers
// added past the core stay until shutdown.
//
// Threads: enqueue and shutdown run on the accept loop's thread; the workers
// run the tasks. mutex_ guards tasks_, workers_, idleWorkers_ and
// shuttingDown_.
#ifndef QUORVANTEL_SERVER_ELASTICTHREADPOOL_H_
#define QUORVANTEL_SERVER_ELASTICTHREADPOOL_H_

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ElasticThreadPool : public httplib::TaskQueue {
 public:
  ElasticThreadPool(size_t coreThreads, size_t maxThreads);
  ~ElasticThreadPool() override;
  ElasticThreadPool(const ElasticThreadPool&) = delete;
  ElasticThreadPool& operator=(const ElasticThreadPool&) = delete;

  void enqueue(std::function<void()> task) override;
  // Lets the workers finish every queued task, then joins them.
  void shutdown() override;

  size_t threadCount() const;

 private:
  void addWorker();       // mutex_ held; throws when no thread can start
  void tryToAddWorker();  // mutex_ held
  void work();

  const size_t maxThreads_;
  mutable std::mutex mutex_;
  std::condition_variable taskQueued_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> workers_;
  size_t idleWorkers_ = 0;
  bool shuttingDown_ = false;
};

#endif  // QUORVANTEL_SERVER_ELASTICTHREADPOOL_H_
