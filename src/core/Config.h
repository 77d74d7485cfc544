// Config: the gate's settings, read once from "config.json" at start-up.
//
// One object per process, reached through instance(). load() runs on the main
// thread before any other thread exists and holds mutex_ while it runs; after
// that nothing writes the fields, so the getters take no lock and are safe
// from every thread.
#ifndef QUORVANTEL_CORE_CONFIG_H_
#define QUORVANTEL_CORE_CONFIG_H_

#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

class Config {
 public:
  static Config& instance();

  // Reads the settings from the JSON file at `path`. Returns false, with one
  // line on standard error, when the file does not open, does not parse or a
  // key has the wrong type; settings read before a failing key keep their new
  // values.
  bool load(const std::string& path);

  std::string host() const { return host_; }
  int port() const { return port_; }
  bool enableDynamicShield() const { return enableDynamicShield_; }
  bool enableFirewallSync() const { return enableFirewallSync_; }
  bool enableConsoleLog() const { return enableConsoleLog_; }
  int scoreThreshold() const { return scoreThreshold_; }
  int limitQps() const { return limitQps_; }
  int limitBurst1min() const { return limitBurst1min_; }
  int syncIntervalSeconds() const { return syncIntervalSeconds_; }
  std::string strategyName() const { return strategyName_; }

 private:
  Config();
  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;

  void readSections();

  nlohmann::json data_;
  std::mutex mutex_;
  std::string host_;
  int port_;
  bool enableDynamicShield_;
  bool enableFirewallSync_;
  bool enableConsoleLog_;
  int scoreThreshold_;
  int limitQps_;
  int limitBurst1min_;
  int syncIntervalSeconds_;
  std::string strategyName_;
};

#endif  // QUORVANTEL_CORE_CONFIG_H_
