#include "shield/DynamicShield.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "core/Config.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

// The console lines, byte for byte (GBK where Chinese).
std::string score(int score) {
  return "IP\xd4\xf6\xb7\xd6: 10.0.0.1 Current Score: " +
         std::to_string(score) + "\n";
}
std::string robotic(const std::string& deviation, int newScore) {
  return "[Dynamic] Robotic behavior detected (Stdev=" + deviation +
         "ms) IP: 10.0.0.1\n" + score(newScore);
}

// Console output of requests from 10.0.0.1, one and one after each gap (ms),
// then "refused" if the last was. Limits load after the shield exists.
std::string run(const std::vector<double>& gaps, int qps = 1000,
                int burst = 1000, int threshold = 1000) {
  ConsoleCapture console;
  int64_t now = 1'000'000'000'000;  // zero would mean "no request yet"
  DynamicShield shield(".", [&now] { return now; });
  std::ofstream("c.json") << "{\"shield\": {\"score_threshold\": " << threshold
                          << ", \"limit_qps\": " << qps
                          << ", \"limit_burst_1min\": " << burst << "}}";
  EXPECT_TRUE(Config::instance().load("c.json"));
  bool refused = shield.shouldBlock("10.0.0.1", "");
  for (double gap : gaps) {
    now += static_cast<int64_t>(gap * 1e6);
    refused = shield.shouldBlock("10.0.0.1", "");
  }
  return console.out() + (refused ? "refused" : "");
}

TEST(DynamicShieldTest, RulesFireAtTheirBoundariesAndTheThresholdBlocks) {
  TempWorkDir dir;
  // The first request counts until exactly 61 s old; for the rate, 1 s old.
  EXPECT_EQ(run({60999.9999, 61000}, 1000, 1), score(20));
  EXPECT_EQ(run({999.9999, 1000}, 1),
            "[\xb6\xaf\xcc\xac\xd0\xd0\xce\xaa\xbc\xe0\xb2\xe2] High QPS(2) "
            "detected for 10.0.0.1\n" +
                score(10));
  // Judged from the 5th stored gap: the 101 ms one spoils the rhythm until the
  // 21st pushes it out; 100.9 ms is 100 whole ms, never stored.
  std::vector<double> steady(27, 1000);
  steady[0] = 101;
  steady[21] = 100.9;
  steady[26] = 1010;
  EXPECT_EQ(run(steady), robotic("0", 30) + robotic("4", 60));
  EXPECT_EQ(run({520, 496, 496, 496, 497}), robotic("9.50789", 30));
  EXPECT_EQ(run({521, 496, 496, 496, 496}), "");  // deviation 10
  EXPECT_EQ(run({500, 500, 500, 500, 500}), "");  // mean 500
  EXPECT_EQ(run({1000}, 1000, 0, 20),
            score(20) +
                "[DynamicShield] BLOCKING MALICIOUS IP: 10.0.0.1 "
                "(Score exceeded threshold)\nrefused");
  EXPECT_EQ(dir.read("BadIPs.txt"), "10.0.0.1\n");
  // A whitelisted address is let through and scored afresh instead.
  dir.write("GoodIPs.txt", " 10.0.0.1\t\n");
  EXPECT_EQ(run({1000}, 1000, 0, 20),
            "[DynamicShield] Loaded 1 IPs into local whitelist.\n" + score(20) +
                score(20));
}

}  // namespace
