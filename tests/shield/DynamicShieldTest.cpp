#include "shield/DynamicShield.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "core/Config.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kSecond = 1'000 * kMs;
constexpr char kIp[] = "10.0.0.1";

// The console lines, spelled out byte for byte (GBK where Chinese).
std::string highQpsLine(int count, const std::string& ip) {
  return "[\xb6\xaf\xcc\xac\xd0\xd0\xce\xaa\xbc\xe0\xb2\xe2] High QPS(" +
         std::to_string(count) + ") detected for " + ip + "\n";
}
std::string roboticLine(const std::string& deviation, const std::string& ip) {
  return "[Dynamic] Robotic behavior detected (Stdev=" + deviation +
         "ms) IP: " + ip + "\n";
}
std::string scoreLine(const std::string& ip, int score) {
  return "IP\xd4\xf6\xb7\xd6: " + ip +
         " Current Score: " + std::to_string(score) + "\n";
}
std::string blockingLine(const std::string& ip) {
  return "[DynamicShield] BLOCKING MALICIOUS IP: " + ip +
         " (Score exceeded threshold)\n";
}

// Instants (ns from the first request) spaced by the given gaps.
std::vector<int64_t> instantsWithGaps(const std::vector<int64_t>& gaps) {
  std::vector<int64_t> instants{0};
  for (int64_t gap : gaps) instants.push_back(instants.back() + gap);
  return instants;
}

std::vector<int64_t> instantsWithGapsMs(const std::vector<int64_t>& gapsMs) {
  std::vector<int64_t> gaps;
  for (int64_t gapMs : gapsMs) gaps.push_back(gapMs * kMs);
  return instantsWithGaps(gaps);
}

class DynamicShieldTest : public ::testing::Test {
 protected:
  DynamicShieldTest() {
    dir_.write("config/.keep", "");
    useLimits(100, 10, 300);
  }

  void useLimits(int threshold, int qps, int burst) {
    dir_.write(
        "config.json",
        "{\"shield\": {\"score_threshold\": " + std::to_string(threshold) +
            ", \"limit_qps\": " + std::to_string(qps) +
            ", \"limit_burst_1min\": " + std::to_string(burst) + "}}");
    ASSERT_TRUE(Config::instance().load("config.json"));
  }

  DynamicShield& shield() {
    if (!shield_) {
      shield_ = std::make_unique<DynamicShield>("config", [this] {
        ++clockReads_;
        return now_;
      });
    }
    return *shield_;
  }

  // `offset` is nanoseconds after the test's first instant, which lies well
  // after the clock's zero (zero would read as "no previous request").
  bool requestAt(int64_t offset, const std::string& ip = kIp) {
    now_ = 1'000 * kSecond + offset;
    return shield().shouldBlock(ip, "Mozilla/5.0");
  }

  // The 1-based number of the first refused request, 0 when none is.
  int firstRefused(const std::vector<int64_t>& instants,
                   const std::string& ip = kIp) {
    for (size_t i = 0; i < instants.size(); ++i) {
      if (requestAt(instants[i], ip)) return static_cast<int>(i + 1);
    }
    return 0;
  }

  TempWorkDir dir_;
  ConsoleCapture console_;
  int64_t now_ = 0;
  int clockReads_ = 0;
  std::unique_ptr<DynamicShield> shield_;
};

// ---- The worked examples with the default limits ----

TEST_F(DynamicShieldTest, TwentyRequestsWithinOneSecondRefuseTheTwentieth) {
  std::vector<int64_t> instants;
  for (int i = 0; i < 30; ++i) instants.push_back(i * 10 * kMs);
  EXPECT_EQ(firstRefused(instants), 20);
  EXPECT_NE(console_.out().find(highQpsLine(11, kIp) + scoreLine(kIp, 10)),
            std::string::npos);
  EXPECT_NE(console_.out().find(highQpsLine(20, kIp) + scoreLine(kIp, 100) +
                                blockingLine(kIp)),
            std::string::npos);
}

TEST_F(DynamicShieldTest, OneRequestPer200MsIsRefusedAtRequest305) {
  std::vector<int64_t> instants;
  for (int i = 0; i < 310; ++i) instants.push_back(i * 200 * kMs);
  EXPECT_EQ(firstRefused(instants), 305);
  EXPECT_EQ(console_.out().find(highQpsLine(6, kIp)), std::string::npos);
}

TEST_F(DynamicShieldTest, SteadySecondlyRequestsAreRefusedAtTheFourthFiring) {
  const std::vector<int64_t> jitter{3 * kMs, -5 * kMs, 6 * kMs, -4 * kMs};
  std::vector<int64_t> gaps;
  for (int i = 0; i < 30; ++i) gaps.push_back(kSecond + jitter[i % 4]);
  EXPECT_EQ(firstRefused(instantsWithGaps(gaps)), 21);
  const std::string out = console_.out();
  EXPECT_NE(out.find(scoreLine(kIp, 90)), std::string::npos);
  EXPECT_NE(out.find(scoreLine(kIp, 120) + blockingLine(kIp)),
            std::string::npos);
}

TEST_F(DynamicShieldTest, ScoreNeverDecaysBetweenBursts) {
  const std::vector<int64_t> pauses{90, 3'600,  15,  7'200, 600,
                                    45, 86'400, 300, 1'234};
  std::vector<int64_t> gaps;
  for (int burst = 0; burst < 10; ++burst) {
    if (burst > 0) gaps.push_back(pauses[burst - 1] * kSecond);
    for (int i = 1; i < 11; ++i) gaps.push_back(50 * kMs);
  }
  EXPECT_EQ(firstRefused(instantsWithGaps(gaps)), 110);
  EXPECT_NE(console_.out().find(scoreLine(kIp, 90)), std::string::npos);
}

// ---- Boundaries ----

TEST_F(DynamicShieldTest, WindowDropsAnEntryExactly61SecondsOld) {
  useLimits(1'000, 10, 1);
  requestAt(0);
  requestAt(61 * kSecond);  // the first entry leaves: one in the window
  EXPECT_EQ(console_.out(), "");
  requestAt(122 * kSecond - 1);  // the second is a nanosecond younger
  EXPECT_EQ(console_.out(), scoreLine(kIp, 20));
}

TEST_F(DynamicShieldTest, RateRuleSkipsAnEntryExactlyOneSecondOld) {
  useLimits(1'000, 1, 300);
  requestAt(0);
  requestAt(kSecond);
  EXPECT_EQ(console_.out(), "");
  requestAt(2 * kSecond - 1);
  EXPECT_EQ(console_.out(), highQpsLine(2, kIp) + scoreLine(kIp, 10));
}

// Four steady gaps are stored first; an extra gap that is stored spoils the
// fifth steady gap's verdict, one that is not lets it fire.
TEST_F(DynamicShieldTest, GapsOf100MsOrLessAreNotStored) {
  const std::vector<std::pair<int64_t, bool>> cases{{100'900'000, true},
                                                    {101 * kMs, false}};
  int address = 0;
  for (const auto& [shortGap, fires] : cases) {
    const std::string ip = "10.0.1." + std::to_string(++address);
    console_.clear();
    const std::vector<int64_t> gaps{kSecond, kSecond,  kSecond,
                                    kSecond, shortGap, kSecond};
    for (int64_t instant : instantsWithGaps(gaps)) requestAt(instant, ip);
    EXPECT_EQ(console_.out().find(roboticLine("0", ip)) != std::string::npos,
              fires)
        << "short gap " << shortGap << " ns";
  }
}

// Judged from the fifth stored gap on; the 21st pushes out the oldest.
TEST_F(DynamicShieldTest, RegularityIsJudgedOverTheLastFiveToTwentyGaps) {
  std::vector<int64_t> slowFirst{5 * kSecond};
  slowFirst.resize(21, kSecond);
  int address = 0;
  for (const std::vector<int64_t>& gaps :
       {std::vector<int64_t>(5, kSecond), slowFirst}) {
    const std::string ip = "10.0.5." + std::to_string(++address);
    const std::vector<int64_t> instants = instantsWithGaps(gaps);
    console_.clear();
    for (size_t i = 0; i + 1 < instants.size(); ++i) requestAt(instants[i], ip);
    EXPECT_EQ(console_.out(), "") << ip;
    requestAt(instants.back(), ip);
    EXPECT_EQ(console_.out(), roboticLine("0", ip) + scoreLine(ip, 30));
  }
}

TEST_F(DynamicShieldTest, RegularityBoundsAreStrict) {
  struct Case {
    std::vector<int64_t> gapsMs;
    bool fires;
  };
  const std::vector<Case> cases{
      {{500, 500, 500, 500, 500}, false},  // mean exactly 500
      {{501, 501, 501, 501, 501}, true},
      {{1020, 995, 995, 995, 995}, false},  // deviation exactly 10
      {{1019, 995, 995, 995, 996}, true}};  // deviation just below
  int address = 0;
  for (const Case& c : cases) {
    const std::string ip = "10.0.2." + std::to_string(++address);
    for (int64_t instant : instantsWithGapsMs(c.gapsMs)) requestAt(instant, ip);
    EXPECT_EQ(console_.out().find("IP: " + ip + "\n") != std::string::npos,
              c.fires)
        << ip;
  }
}

TEST_F(DynamicShieldTest, RulesFiringTogetherGiveOneScoreLine) {
  useLimits(210, 0, 0);
  const std::vector<int64_t> instants =
      instantsWithGaps({kSecond, kSecond, kSecond, kSecond, kSecond});
  for (size_t i = 0; i < 5; ++i) EXPECT_FALSE(requestAt(instants[i]));
  EXPECT_NE(console_.out().find(scoreLine(kIp, 150)), std::string::npos);
  console_.clear();
  EXPECT_TRUE(requestAt(instants[5]));
  EXPECT_EQ(console_.out(), highQpsLine(1, kIp) + roboticLine("0", kIp) +
                                scoreLine(kIp, 210) + blockingLine(kIp));
}

TEST_F(DynamicShieldTest, DeviationPrintsInTheStreamsDefaultFormat) {
  const std::vector<std::pair<std::vector<int64_t>, std::string>> cases{
      {{1000, 1000, 1000, 1000, 1000}, "0"},
      {{497, 497, 497, 504, 504, 504}, "3.5"},  // mean passes 500 at the 6th
      {{995, 995, 1005, 1005, 1000}, "4.47214"}};
  int address = 0;
  for (const auto& [gapsMs, deviation] : cases) {
    const std::string ip = "10.0.3." + std::to_string(++address);
    for (int64_t instant : instantsWithGapsMs(gapsMs)) requestAt(instant, ip);
    EXPECT_NE(console_.out().find(roboticLine(deviation, ip)),
              std::string::npos)
        << console_.out();
  }
}

// ---- Unusual settings, read afresh on every call ----

TEST_F(DynamicShieldTest, ThresholdOfZeroOrBelowBlocksOnTheFirstRequest) {
  EXPECT_FALSE(requestAt(0, "10.0.4.1"));
  useLimits(0, 10, 300);
  EXPECT_TRUE(requestAt(0, "10.0.4.2"));
  useLimits(-5, 10, 300);
  EXPECT_TRUE(requestAt(0, ""));  // requests without an address share one
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "10.0.4.2\n\n");
}

TEST_F(DynamicShieldTest, QpsOfZeroOrBelowAddsTenOnEveryRequest) {
  useLimits(1'000, 0, 300);
  requestAt(0);
  useLimits(1'000, -3, 300);
  requestAt(5 * kSecond);
  EXPECT_EQ(console_.out(), highQpsLine(1, kIp) + scoreLine(kIp, 10) +
                                highQpsLine(1, kIp) + scoreLine(kIp, 20));
}

TEST_F(DynamicShieldTest, NegativeBurstNeverFires) {
  useLimits(1'000, 1'000, -1);
  for (int i = 0; i < 5; ++i) requestAt(i * 50 * kMs);
  EXPECT_EQ(console_.out(), "");
  useLimits(1'000, 1'000, 0);
  requestAt(250 * kMs);
  EXPECT_EQ(console_.out(), scoreLine(kIp, 20));
}

// ---- Blocking ----

TEST_F(DynamicShieldTest, BlockedAddressIsRefusedAtOnceWithoutATrace) {
  useLimits(10, 0, 300);
  EXPECT_TRUE(requestAt(0));
  EXPECT_EQ(console_.out(),
            highQpsLine(1, kIp) + scoreLine(kIp, 10) + blockingLine(kIp));
  console_.clear();
  const int readsWhenBlocked = clockReads_;
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(requestAt(i * kSecond));
  EXPECT_EQ(clockReads_, readsWhenBlocked);  // no new window entry
  EXPECT_EQ(console_.out(), "");
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "10.0.0.1\n");
}

TEST_F(DynamicShieldTest, AddressIsBlockedEvenWhenTheAppendFails) {
  useLimits(0, 10, 300);
  const std::string withLineBreak = "10.0.0.1\r\n10.0.0.2";
  EXPECT_TRUE(requestAt(0, withLineBreak));  // the list file reports it
  EXPECT_EQ(console_.err().find("[DynamicShield]"), std::string::npos);
  EXPECT_TRUE(requestAt(kSecond, withLineBreak));

  std::filesystem::remove_all("config");
  console_.clear();
  EXPECT_TRUE(requestAt(0));
  EXPECT_EQ(console_.err(),
            "[DynamicShield] Error writing to config/BadIPs.txt\n");
  EXPECT_EQ(console_.out(), blockingLine(kIp));
  EXPECT_TRUE(requestAt(kSecond));
}

TEST_F(DynamicShieldTest, ConcurrentChecksBlockAnAddressExactlyOnce) {
  std::atomic<int64_t> clock{1'000 * kSecond};
  DynamicShield shield("config", [&clock] { return clock += kMs; });
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i)
        refused += shield.shouldBlock(kIp, "") ? 1 : 0;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(refused, 400 - 19);
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "10.0.0.1\n");
}

// ---- The local whitelist ----

TEST_F(DynamicShieldTest, WhitelistIsTrimmedAtBothEndsAndCountedOnce) {
  DynamicShield missingList("config");
  EXPECT_EQ(console_.out() + console_.err(), "");
  dir_.write("config/GoodIPs.txt",
             "  10.0.0.1\t\r\n10.0.0.1\n\n \t\r\n10.0.0.8");
  shield();
  EXPECT_EQ(console_.out(),
            "[DynamicShield] Loaded 2 IPs into local whitelist.\n");
  dir_.write("config/GoodIPs.txt", "");
  console_.clear();
  DynamicShield emptyList("config");
  EXPECT_EQ(console_.out(),
            "[DynamicShield] Loaded 0 IPs into local whitelist.\n");
}

// The whitelisted address is let through and scored afresh; its request
// times and stored gaps carry on.
TEST_F(DynamicShieldTest, WhitelistedAddressAtTheThresholdIsResetNotRefused) {
  dir_.write("config/GoodIPs.txt", " 10.0.0.1\n");
  shield();
  console_.clear();
  useLimits(10, 1, 300);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(requestAt(i * kSecond));
  EXPECT_FALSE(requestAt(4'050 * kMs));
  EXPECT_FALSE(requestAt(4'060 * kMs));
  EXPECT_FALSE(requestAt(5'060 * kMs));
  EXPECT_EQ(console_.out(), highQpsLine(2, kIp) + scoreLine(kIp, 10) +
                                highQpsLine(3, kIp) + scoreLine(kIp, 10) +
                                roboticLine("0", kIp) + scoreLine(kIp, 30));
  EXPECT_FALSE(std::filesystem::exists("config/BadIPs.txt"));
}

}  // namespace
