#include "shield/DynamicShield.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <ratio>
#include <utility>

#include "core/Config.h"
#include "core/ConsoleLine.h"
#include "core/ListFile.h"
#include "core/Texts.h"

namespace {

using TimePoint = std::chrono::steady_clock::time_point;

static_assert(std::is_same_v<std::chrono::steady_clock::period, std::nano>,
              "request times are kept as nanosecond counts");

constexpr char kWhitelistFile[] = "GoodIPs.txt";
constexpr char kBlacklistFile[] = "BadIPs.txt";

// 61 s, not 60: one request every 200 ms then exceeds the default volume
// limit of 300, which a 60 s window would never see.
constexpr std::chrono::nanoseconds kWindow = std::chrono::seconds(61);
constexpr std::chrono::nanoseconds kRateSpan = std::chrono::seconds(1);

constexpr double kMinStoredGapMs = 100.0;
constexpr size_t kMaxStoredGaps = 20;
constexpr size_t kMinGapsForRegularity = 5;
constexpr double kMaxRoboticDeviationMs = 10.0;
constexpr double kMinRoboticMeanMs = 500.0;

constexpr int32_t kRateIncrement = 10;
constexpr int32_t kVolumeIncrement = 20;
constexpr int32_t kRegularityIncrement = 30;

int64_t steadyClockNs() {
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

int32_t rateIncrement(const IpState& state, TimePoint now, int32_t qps,
                      const std::string& ip) {
  // Requests strictly younger than one second, counted from the newest back.
  const int64_t count = state.requestTimes.countYoungerThan(
      now.time_since_epoch().count(), kRateSpan.count());
  if (count <= qps) return 0;
  writeLine(std::cout, texts::kHighQpsPrefix, count, texts::kHighQpsSuffix, ip);
  return kRateIncrement;
}

int32_t volumeIncrement(const IpState& state, int32_t burst) {
  // Sign-extended, a negative limit becomes huge and never fires.
  const auto limit = static_cast<uint64_t>(static_cast<int64_t>(burst));
  return uint64_t{state.requestTimes.size()} > limit ? kVolumeIncrement : 0;
}

struct GapStats {
  double mean;
  double deviation;  // NaN when rounding makes the variance negative
};

GapStats gapStats(const std::vector<double>& gaps) {
  double sum = 0.0;
  double sumOfSquares = 0.0;
  for (double gap : gaps) {
    sum += gap;
    sumOfSquares += gap * gap;
  }
  const auto n = static_cast<double>(gaps.size());
  const double mean = sum / n;
  return {mean, std::sqrt(sumOfSquares / n - mean * mean)};
}

bool looksRobotic(const GapStats& stats) {
  return stats.deviation < kMaxRoboticDeviationMs &&
         stats.mean > kMinRoboticMeanMs;
}

// Stores the gap since the previous request when it is over 100 ms and judges
// the stored gaps once there are enough of them.
int32_t regularityIncrement(IpState& state, TimePoint now,
                            const std::string& ip) {
  if (state.lastRequestTime.time_since_epoch().count() <= 0) return 0;
  const auto gapMs =
      static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              now - state.lastRequestTime)
                              .count());
  if (gapMs <= kMinStoredGapMs) return 0;
  std::vector<double>& gaps = state.intervalsMs;
  gaps.push_back(gapMs);
  if (gaps.size() > kMaxStoredGaps) gaps.erase(gaps.begin());
  if (gaps.size() < kMinGapsForRegularity) return 0;
  const GapStats stats = gapStats(gaps);
  if (!looksRobotic(stats)) return 0;
  writeLine(std::cout, texts::kRoboticPrefix, stats.deviation,
            texts::kRoboticSuffix, ip);
  gaps.clear();
  return kRegularityIncrement;
}

// Saturates rather than wrapping, so a score never falls.
void raiseScore(IpState& state, int32_t increment, const std::string& ip) {
  const int64_t raised = int64_t{state.score} + increment;
  state.score = static_cast<int32_t>(
      std::min<int64_t>(raised, std::numeric_limits<int32_t>::max()));
  writeLine(std::cout, texts::kScorePrefix, ip, texts::kCurrentScore,
            state.score);
}

}  // namespace

DynamicShield::DynamicShield(const std::string& configDir)
    : DynamicShield(configDir, steadyClockNs) {}

DynamicShield::DynamicShield(const std::string& configDir, Clock clock)
    : configDir_(configDir), clock_(std::move(clock)) {
  loadWhitelist();
}

bool DynamicShield::shouldBlock(const std::string& ip,
                                const std::string& /*userAgent*/) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  const Config& config = Config::instance();
  const int32_t qps = config.limitQps();
  const int32_t burst = config.limitBurst1min();
  const int32_t threshold = config.scoreThreshold();

  IpState& state = ipStates_[ip];
  if (state.blocked) return true;

  const TimePoint now{std::chrono::nanoseconds(clock_())};
  // Appends `now` and drops what has become 61 s old or older.
  state.requestTimes.slide(now.time_since_epoch().count(), kWindow.count());
  // Sequenced one by one: the rules print their lines in this order.
  int32_t increment = rateIncrement(state, now, qps, ip);
  increment += volumeIncrement(state, burst);
  increment += regularityIncrement(state, now, ip);
  state.lastRequestTime = now;
  if (increment > 0) raiseScore(state, increment, ip);

  if (state.score < threshold) return false;
  return blockIp(ip, state);
}

bool DynamicShield::blockIp(const std::string& ip, IpState& state) {
  if (isWhitelisted(ip)) {
    // Request times and stored gaps stay, so its rhythm is still judged.
    state.score = 0;
    return false;
  }
  state.blocked = true;
  addToBlacklist(ip);
  writeLine(std::cout, texts::kBlockingPrefix, ip, texts::kBlockingSuffix);
  return true;
}

void DynamicShield::addToBlacklist(const std::string& ip) const {
  const ListFile blacklist(configDir_, kBlacklistFile);
  if (blacklist.append(ip) == ListFile::AppendResult::kOpenFailed) {
    writeLine(std::cerr, texts::kShieldWriteError, blacklist.path());
  }
}

bool DynamicShield::isWhitelisted(const std::string& ip) const {
  return whitelist_.count(ip) != 0;
}

void DynamicShield::loadWhitelist() {
  const bool opened =
      ListFile(configDir_, kWhitelistFile)
          .forEachEntry(ListFile::Trim::kBothEnds, [this](std::string&& entry) {
            whitelist_.insert(std::move(entry));
          });
  if (!opened) return;
  writeLine(std::cout, texts::kWhitelistLoadedPrefix,
            static_cast<uint64_t>(whitelist_.size()),
            texts::kWhitelistLoadedSuffix);
}
