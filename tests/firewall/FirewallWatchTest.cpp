#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firewall/FirewallHarness.h"

namespace {

constexpr char kChangeLine[] =
    "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n";

std::string synced(int count) {
  return "[Firewall-Win] Updating " + std::to_string(count) +
         " IPs into 1 rules.\n[Firewall] Updated rule: QV_0\n";
}

std::string setRule(const std::string& ips) {
  return "netsh advfirewall firewall set rule name=\"QV_0\" new remoteip=\"" +
         ips + "\"";
}

TEST(FirewallWatchTest, FilterTrimsAndKeepsDottedLinesOfSevenOrMore) {
  FirewallHarness harness;
  harness.writeBadIps(
      "  10.0.0.1 \t\r\n"
      "1.2.3.4\n"          // seven characters: the shortest kept
      "1.2.34\n"           // six: dropped
      "2001:db8::1\n"      // IPv6 without a dot: dropped
      "::ffff:10.1.2.3\n"  // IPv4-mapped: kept
      "\r\n"
      "10.0.0.1\r\n",
      0);
  harness.start();
  EXPECT_EQ(harness.commands(),
            std::vector<std::string>{
                setRule("10.0.0.1,1.2.3.4,::ffff:10.1.2.3,10.0.0.1")});
  EXPECT_EQ(harness.out(), synced(4));
}

// One changed or touched write time, forwards or backwards, is one sync in
// the next cycle, announced by the change line.
TEST(FirewallWatchTest, EachChangedWriteTimeSyncsOncePerCycle) {
  FirewallHarness harness;
  harness.writeBadIps("1.1.1.1\n", 0);
  harness.start();
  harness.setBadIpsTime(5);  // touched: same content, new time
  harness.writeBadIps("1.1.1.1\n2.2.2.2\n", 6);
  harness.letSleepsPass(10);
  harness.letSleepsPass(10);   // unchanged: nothing
  harness.setBadIpsTime(-60);  // an older copy put back
  harness.letSleepsPass(10);
  EXPECT_EQ(
      harness.commands(),
      (std::vector<std::string>{setRule("1.1.1.1"), setRule("1.1.1.1,2.2.2.2"),
                                setRule("1.1.1.1,2.2.2.2")}));
  EXPECT_EQ(harness.out(),
            synced(1) + kChangeLine + synced(2) + kChangeLine + synced(2));
}

TEST(FirewallWatchTest, FileCreatedAfterStartIsSynced) {
  FirewallHarness harness;
  harness.start();
  harness.letSleepsPass(10);
  EXPECT_TRUE(harness.commands().empty());
  harness.writeBadIps("1.1.1.1\n", 0);
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands(), std::vector<std::string>{setRule("1.1.1.1")});
  EXPECT_EQ(harness.out(), kChangeLine + synced(1));
}

TEST(FirewallWatchTest, EmptiedFileAnnouncesTheChangeAndRunsNothing) {
  FirewallHarness harness;
  harness.writeBadIps("1.1.1.1\n", 0);
  harness.start();
  harness.writeBadIps("short\n", 1);
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands().size(), 1u);
  EXPECT_EQ(harness.out(), synced(1) + kChangeLine);
}

class FirewallIntervalTest
    : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FirewallIntervalTest, CycleLastsTheIntervalRaisedToTen) {
  const auto [configured, effective] = GetParam();
  FirewallHarness harness(configured);
  harness.writeBadIps("1.1.1.1\n", 0);
  harness.start();
  harness.setBadIpsTime(1);
  harness.letSleepsPass(effective - 1);
  EXPECT_EQ(harness.commands().size(), 1u);
  harness.letSleepsPass(1);
  EXPECT_EQ(harness.commands().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Intervals, FirewallIntervalTest,
                         ::testing::Values(std::pair{9, 10}, std::pair{0, 10},
                                           std::pair{-5, 10},
                                           std::pair{12, 12}));

// A stop ends the thread once the current sleep returns; when that was the
// last sleep of a cycle, the cycle's change test and sync still run first.
TEST(FirewallWatchTest, StopEndsTheThreadAfterTheCurrentSleep) {
  for (const auto& [sleepsBeforeStop, commandsAfterStop] :
       {std::pair{3, 1u}, std::pair{9, 2u}}) {
    SCOPED_TRACE(sleepsBeforeStop);
    FirewallHarness harness;
    harness.writeBadIps("1.1.1.1\n", 0);
    harness.start();
    harness.letSleepsPass(sleepsBeforeStop);
    harness.setBadIpsTime(1);
    harness.stop();
    EXPECT_EQ(harness.sleepsBegun(), sleepsBeforeStop + 1);
    EXPECT_EQ(harness.commands().size(), commandsAfterStop);
  }
}

}  // namespace
