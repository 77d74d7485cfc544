#include "firewall/FirewallHarness.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "core/Config.h"

namespace fs = std::filesystem;

FirewallHarness::FirewallHarness(int syncIntervalSeconds,
                                 const std::string& strategyName)
    : startTime_(fs::file_time_type::clock::now()),
      answer_([](const std::string&) { return 0; }) {
  nlohmann::json settings;
  settings["firewall"] = {{"sync_interval_seconds", syncIntervalSeconds},
                          {"strategy_name", strategyName}};
  dir_.write("config.json", settings.dump());
  dir_.write("config/.keep", "");
  Config::instance().load("config.json");
}

FirewallHarness::~FirewallHarness() { stop(); }

void FirewallHarness::writeBadIps(const std::string& content, int second) {
  dir_.write("config/BadIPs.txt", content);
  setBadIpsTime(second);
}

void FirewallHarness::setBadIpsTime(int second) {
  fs::last_write_time(dir_.path() / "config/BadIPs.txt",
                      startTime_ + std::chrono::seconds(second));
}

void FirewallHarness::start(Firewall::RunCommand runCommand) {
  if (!runCommand) {
    runCommand = [this](const std::string& line) { return record(line); };
  }
  firewall_ = std::make_unique<Firewall>(
      "config", std::move(runCommand),
      [this](const std::atomic<bool>& stop) { sleep(stop); });
  std::unique_lock<std::mutex> lock(mutex_);
  waitUntilParked(lock);
}

void FirewallHarness::stop() { firewall_.reset(); }

void FirewallHarness::letSleepsPass(int count) {
  std::unique_lock<std::mutex> lock(mutex_);
  sleepsAllowed_ += count;
  sleepsChanged_.notify_all();
  waitUntilParked(lock);
}

void FirewallHarness::answerWith(Answer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = std::move(answer);
}

std::vector<std::string> FirewallHarness::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

int FirewallHarness::sleepsBegun() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleepsBegun_;
}

int FirewallHarness::record(const std::string& commandLine) {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.push_back(commandLine);
  return answer_(commandLine);
}

// The stop flag cannot signal the condition variable, so a parked sleep
// polls it.
void FirewallHarness::sleep(const std::atomic<bool>& stopRequested) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++sleepsBegun_;
  sleepsChanged_.notify_all();
  while (sleepsBegun_ > sleepsAllowed_ && !stopRequested) {
    sleepsChanged_.wait_for(lock, std::chrono::milliseconds(1));
  }
}

void FirewallHarness::waitUntilParked(std::unique_lock<std::mutex>& lock) {
  sleepsChanged_.wait(lock, [this] { return sleepsBegun_ > sleepsAllowed_; });
}
