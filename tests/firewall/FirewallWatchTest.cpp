#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firewall/FirewallHarness.h"

namespace {

constexpr char kChangeLine[] =
    "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n";

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
  EXPECT_EQ(harness.out(),
            "[Firewall-Win] Updating 4 IPs into 1 rules.\n"
            "[Firewall] Updated rule: QV_0\n");
}

TEST(FirewallWatchTest, UnsafeEntriesAreSkippedAndNeverRun) {
  const std::vector<std::string> unsafe = {"1.1.1.1\"&touch /tmp/x&\"",
                                           "1.1.1.1;reboot",
                                           "1.1.$(id).1",
                                           "1.1.1.1`id`",
                                           "1.1.1.1|nc 2.2.2.2",
                                           "10.0.0.2 # scraper"};
  std::string file;
  std::string expectedErr;
  for (const std::string& entry : unsafe) {
    file += entry + "\n";
    expectedErr += "[Firewall] Skipping unsafe entry: " + entry + "\n";
  }
  FirewallHarness harness;
  harness.writeBadIps(file, 0);
  harness.start();
  EXPECT_TRUE(harness.commands().empty());
  EXPECT_EQ(harness.out(), "");
  EXPECT_EQ(harness.err(), expectedErr);

  harness.clearConsole();
  harness.writeBadIps(
      file + "::ffff:10.0.0.0/104\n10.0.0.0/8\n10.0.0.1-10.0.0.9\n", 1);
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands(),
            std::vector<std::string>{
                setRule("::ffff:10.0.0.0/104,10.0.0.0/8,10.0.0.1-10.0.0.9")});
  EXPECT_EQ(harness.out(), std::string(kChangeLine) +
                               "[Firewall-Win] Updating 3 IPs into 1 rules.\n"
                               "[Firewall] Updated rule: QV_0\n");
  EXPECT_EQ(harness.err(), expectedErr);
}

TEST(FirewallWatchTest, EachChangedWriteTimeSyncsOncePerCycle) {
  FirewallHarness harness;
  harness.writeBadIps("1.1.1.1\n", 0);
  harness.start();
  ASSERT_EQ(harness.commands().size(), 1u);
  EXPECT_EQ(harness.out().find(kChangeLine), std::string::npos);

  harness.setBadIpsTime(5);  // touched: same content, new time
  harness.writeBadIps("1.1.1.1\n2.2.2.2\n", 6);
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands(),
            (std::vector<std::string>{setRule("1.1.1.1"),
                                      setRule("1.1.1.1,2.2.2.2")}));

  harness.letSleepsPass(10);  // unchanged: nothing
  EXPECT_EQ(harness.commands().size(), 2u);

  harness.setBadIpsTime(-60);  // an older copy put back
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands().size(), 3u);

  std::string out = harness.out();
  size_t changeLines = 0;
  for (size_t at = out.find(kChangeLine); at != std::string::npos;
       at = out.find(kChangeLine, at + 1)) {
    ++changeLines;
  }
  EXPECT_EQ(changeLines, 2u);
}

TEST(FirewallWatchTest, FileCreatedAfterStartIsSynced) {
  FirewallHarness harness;
  harness.start();
  harness.letSleepsPass(10);
  EXPECT_TRUE(harness.commands().empty());
  EXPECT_EQ(harness.out(), "");

  harness.writeBadIps("1.1.1.1\n", 0);
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands(), std::vector<std::string>{setRule("1.1.1.1")});
  EXPECT_EQ(harness.out().rfind(kChangeLine, 0), 0u);
}

TEST(FirewallWatchTest, EmptiedFileAnnouncesTheChangeAndRunsNothing) {
  FirewallHarness harness;
  harness.writeBadIps("1.1.1.1\n", 0);
  harness.start();
  harness.clearConsole();
  harness.writeBadIps("short\n", 1);
  harness.letSleepsPass(10);
  EXPECT_EQ(harness.commands().size(), 1u);
  EXPECT_EQ(harness.out(), kChangeLine);
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
