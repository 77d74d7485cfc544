#include "core/Config.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <stdexcept>

#include "core/InputFile.h"
#include "core/Texts.h"

using nlohmann::json;

namespace {

constexpr char kDefaultHost[] = "127.0.0.1";
constexpr int kDefaultPort = 5000;
constexpr int kDefaultScoreThreshold = 100;
constexpr int kDefaultLimitQps = 10;
constexpr int kDefaultLimitBurst1min = 300;
constexpr int kDefaultSyncIntervalSeconds = 300;
constexpr char kDefaultStrategyName[] = "VevAdOrIdo_Block";

// An integer setting: integers keep their low 32 bits, fractions are cut
// toward zero, true and false give 1 and 0, other types throw the library's
// type error. A fraction whose integral part does not fit 32 bits has no
// sound value, so it fails like a type error.
int readInt(const json& section, const char* key, int defaultValue) {
  const json value = section.value(key, json(defaultValue));
  if (!value.is_number_float()) return value.get<int>();
  const double truncated = std::trunc(value.get<double>());
  if (!(truncated >= std::numeric_limits<int>::min() &&
        truncated <= std::numeric_limits<int>::max())) {
    throw std::out_of_range(
        std::string("setting ") + key +
        " is out of the 32-bit integer range: " + value.dump());
  }
  return static_cast<int>(truncated);
}

bool readBool(const json& section, const char* key, bool defaultValue) {
  return section.value(key, defaultValue);
}

std::string readString(const json& section, const char* key,
                       const char* defaultValue) {
  return section.value(key, std::string(defaultValue));
}

}  // namespace

Config& Config::instance() {
  static Config config;
  return config;
}

Config::Config()
    : host_(kDefaultHost),
      port_(kDefaultPort),
      enableDynamicShield_(true),
      enableFirewallSync_(true),
      enableConsoleLog_(true),
      scoreThreshold_(kDefaultScoreThreshold),
      limitQps_(kDefaultLimitQps),
      limitBurst1min_(kDefaultLimitBurst1min),
      syncIntervalSeconds_(kDefaultSyncIntervalSeconds),
      strategyName_(kDefaultStrategyName) {}

bool Config::load(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::ifstream in;
  if (!openInputFile(in, path)) {
    std::cerr << texts::kConfigOpenFailedPrefix << path
              << texts::kConfigOpenFailedSuffix << std::endl;
    return false;
  }
  try {
    in >> data_;
    readSections();
  } catch (const std::exception& e) {
    std::cerr << texts::kConfigParseErrorPrefix << e.what() << std::endl;
    return false;
  }
  return true;
}

// Each field is assigned as soon as it is read, so a failure part-way leaves
// the earlier ones set.
void Config::readSections() {
  if (data_.contains("server")) {
    host_ = readString(data_["server"], "host", kDefaultHost);
    port_ = readInt(data_["server"], "port", kDefaultPort);
  }
  if (data_.contains("features")) {
    const json& features = data_["features"];
    enableDynamicShield_ = readBool(features, "enable_dynamic_shield", true);
    enableFirewallSync_ = readBool(features, "enable_firewall_sync", true);
    enableConsoleLog_ = readBool(features, "enable_console_log", true);
  }
  if (data_.contains("shield")) {
    const json& shield = data_["shield"];
    scoreThreshold_ =
        readInt(shield, "score_threshold", kDefaultScoreThreshold);
    limitQps_ = readInt(shield, "limit_qps", kDefaultLimitQps);
    limitBurst1min_ =
        readInt(shield, "limit_burst_1min", kDefaultLimitBurst1min);
  }
  if (data_.contains("firewall")) {
    const json& firewall = data_["firewall"];
    syncIntervalSeconds_ =
        readInt(firewall, "sync_interval_seconds", kDefaultSyncIntervalSeconds);
    strategyName_ = readString(firewall, "strategy_name", kDefaultStrategyName);
  }
}
