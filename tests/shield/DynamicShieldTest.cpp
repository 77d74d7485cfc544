#include "shield/DynamicShield.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <utility>
#include <vector>

#include "core/Config.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

using Gaps = std::vector<double>;  // milliseconds between requests

// The console lines, byte for byte (GBK where Chinese).
std::string qps(int count) {
  return "[\xb6\xaf\xcc\xac\xd0\xd0\xce\xaa\xbc\xe0\xb2\xe2] High QPS(" +
         std::to_string(count) + ") detected for 10.0.0.1\n";
}
std::string score(int score) {
  return "IP\xd4\xf6\xb7\xd6: 10.0.0.1 Current Score: " +
         std::to_string(score) + "\n";
}
std::string robotic(const std::string& deviation, int newScore) {
  return "[Dynamic] Robotic behavior detected (Stdev=" + deviation +
         "ms) IP: 10.0.0.1\n" + score(newScore);
}

// Requests from 10.0.0.1 on a new shield, one and one after each gap: the
// console output and last verdict. Limits are loaded after the shield exists.
std::pair<std::string, bool> run(int threshold, int qps, int burst,
                                 const Gaps& gaps) {
  ConsoleCapture console;
  int64_t now = 1'000'000'000'000;  // zero would mean "no request yet"
  DynamicShield shield("config", [&now] { return now; });
  std::ofstream("c.json") << "{\"shield\": {\"score_threshold\": " << threshold
                          << ", \"limit_qps\": " << qps
                          << ", \"limit_burst_1min\": " << burst << "}}";
  EXPECT_TRUE(Config::instance().load("c.json"));
  bool last = shield.shouldBlock("10.0.0.1", "");
  for (double gap : gaps) {
    now += static_cast<int64_t>(gap * 1e6);
    last = shield.shouldBlock("10.0.0.1", "");
  }
  return {console.out(), last};
}

TEST(DynamicShieldTest, RulesFireAtTheirBoundaries) {
  TempWorkDir dir;
  Gaps slowFirst(21, 1000);  // the 21st steady gap pushes the slow one out
  slowFirst[0] = 5000;
  const std::vector<std::tuple<int, int, Gaps, std::string>> cases{
      {1000, 1, {61000, 1000}, score(20)},  // the first goes at exactly 61 s
      {1000, 1, {60999.9999}, score(20)},
      {1, 300, {1000}, ""},  // a request one second old is not counted
      {1, 300, {999.9999}, qps(2) + score(10)},
      {1000, 1000, Gaps(4, 1000), ""},
      {1000, 1000, Gaps(10, 1000), robotic("0", 30) + robotic("0", 60)},
      {1000, 1000, slowFirst, robotic("0", 30)},
      {1000, 1000, {520, 496, 496, 496, 497}, robotic("9.50789", 30)},
      {1000, 1000, {521, 496, 496, 496, 496}, ""},  // deviation 10
      {1000, 1000, {500, 500, 500, 500, 500}, ""},
      // 100.9 ms is 100 whole ms, not stored; 101 ms is.
      {1000, 1000, {100.9, 1000, 1000, 1000, 1000, 1000}, robotic("0", 30)},
      {1000, 1000, {101, 1000, 1000, 1000, 1000, 1000}, ""},
      {1000, 5, Gaps(5, 1000), robotic("0", 50)},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& [limitQps, limitBurst, gaps, out] = cases[i];
    EXPECT_EQ(run(1000, limitQps, limitBurst, gaps).first, out) << "case " << i;
  }
}

TEST(DynamicShieldTest, ReachingTheThresholdBlocksUnlessWhitelisted) {
  TempWorkDir dir;
  dir.write("config/BadIPs.txt", "");
  EXPECT_EQ(run(10, 0, 300, {1000, 60000}),
            std::pair(qps(1) + score(10) +
                          "[DynamicShield] BLOCKING MALICIOUS IP: 10.0.0.1 "
                          "(Score exceeded threshold)\n",
                      true));
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.1\n");
  // Let through and scored afresh instead.
  dir.write("config/GoodIPs.txt", " 10.0.0.1\t\n10.0.0.1\n");
  EXPECT_EQ(run(10, 0, 300, {1000}),
            std::pair("[DynamicShield] Loaded 1 IPs into local whitelist.\n" +
                          qps(1) + score(10) + qps(1) + score(10),
                      false));
}

}  // namespace
