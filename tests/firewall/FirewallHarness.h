// FirewallHarness: a Firewall in a temporary working directory whose rule
// commands are recorded (and answered by a test-chosen function) and whose
// watch thread sleeps only as far as the test lets it.
//
// Threads: the test thread drives everything; the watch thread records
// commands and blocks in its one-second sleeps. mutex_ guards the recorded
// commands, the answer and the sleep counters; a parked watch thread does
// nothing, so the console can be read whenever the thread is parked.
#ifndef QUORVANTEL_TESTS_FIREWALL_FIREWALLHARNESS_H_
#define QUORVANTEL_TESTS_FIREWALL_FIREWALLHARNESS_H_

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "firewall/Firewall.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

class FirewallHarness {
 public:
  using Answer = std::function<int(const std::string& commandLine)>;

  // Loads a config.json whose firewall section holds these two settings.
  explicit FirewallHarness(int syncIntervalSeconds = 10,
                           const std::string& strategyName = "QV");
  ~FirewallHarness();

  // Writes "config/BadIPs.txt" and sets its write time to the harness's
  // start plus `second` seconds, so that a change is seen, or not, whatever
  // the file system's clock resolution.
  void writeBadIps(const std::string& content, int second);
  void setBadIpsTime(int second);

  // Constructs the Firewall and waits until its thread parks in its first
  // sleep. Commands go to `runCommand`, or else are recorded and answered.
  void start(Firewall::RunCommand runCommand = nullptr);
  // Destroys the Firewall; a parked sleep returns at once.
  void stop();
  // Lets `count` more sleeps pass and waits until the thread parks in the
  // next one.
  void letSleepsPass(int count);

  Firewall& firewall() { return *firewall_; }
  void answerWith(Answer answer);
  std::vector<std::string> commands() const;
  int sleepsBegun() const;
  std::string out() const { return console_.out(); }
  std::string err() const { return console_.err(); }

 private:
  int record(const std::string& commandLine);
  void sleep(const std::atomic<bool>& stopRequested);
  void waitUntilParked(std::unique_lock<std::mutex>& lock);

  TempWorkDir dir_;
  const std::filesystem::file_time_type startTime_;
  ConsoleCapture console_;
  mutable std::mutex mutex_;
  std::condition_variable sleepsChanged_;
  std::vector<std::string> commands_;
  Answer answer_;
  int sleepsBegun_ = 0;
  int sleepsAllowed_ = 0;
  std::unique_ptr<Firewall> firewall_;
};

#endif  // QUORVANTEL_TESTS_FIREWALL_FIREWALLHARNESS_H_
