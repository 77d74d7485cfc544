#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "firewall/FirewallHarness.h"

namespace {

std::string setRule(const std::string& name, const std::string& ips) {
  return "netsh advfirewall firewall set rule name=\"" + name +
         "\" new remoteip=\"" + ips + "\"";
}

std::string addRule(const std::string& name, const std::string& ips) {
  return "netsh advfirewall firewall add rule name=\"" + name +
         "\" dir=in action=block remoteip=\"" + ips + "\"";
}

bool isSetRule(const std::string& command) {
  return command.rfind("netsh advfirewall firewall set rule", 0) == 0;
}

std::vector<std::string> addresses(int count) {
  std::vector<std::string> ips;
  for (int i = 0; i < count; ++i) {
    ips.push_back("10.0." + std::to_string(i / 256) + "." +
                  std::to_string(i % 256));
  }
  return ips;
}

std::string joined(const std::vector<std::string>& ips, size_t from,
                   size_t to) {
  std::string text;
  for (size_t i = from; i < to; ++i) text += (i == from ? "" : ",") + ips[i];
  return text;
}

class FirewallRulesTest : public ::testing::Test {
 protected:
  void SetUp() override { harness_.start(); }
  Firewall& firewall() { return harness_.firewall(); }

  FirewallHarness harness_;
};

TEST(FirewallRuleSplitTest, SplitsTheListIntoRulesOf450) {
  const std::vector<std::pair<int, std::vector<size_t>>> cases = {
      {1, {0, 1}},
      {450, {0, 450}},
      {451, {0, 450, 451}},
      {900, {0, 450, 900}},
      {901, {0, 450, 900, 901}}};
  for (const auto& [count, bounds] : cases) {
    SCOPED_TRACE(count);
    FirewallHarness harness;
    harness.start();
    const std::vector<std::string> ips = addresses(count);
    harness.firewall().updateWindowsRules(ips);

    std::vector<std::string> expected;
    std::string expectedOut = "[Firewall-Win] Updating " +
                              std::to_string(count) + " IPs into " +
                              std::to_string(bounds.size() - 1) + " rules.\n";
    for (size_t rule = 0; rule + 1 < bounds.size(); ++rule) {
      const std::string name = "QV_" + std::to_string(rule);
      expected.push_back(
          setRule(name, joined(ips, bounds[rule], bounds[rule + 1])));
      expectedOut += "[Firewall] Updated rule: " + name + "\n";
    }
    EXPECT_EQ(harness.commands(), expected);
    EXPECT_EQ(harness.out(), expectedOut);
  }
}

// A failed update creates the rule; a failed creation is reported with its
// status and the next rule is still applied. Duplicates are passed on.
TEST_F(FirewallRulesTest,
       FailedUpdateCreatesTheRuleAndFailedCreationIsReported) {
  std::vector<std::string> ips(450, "1.1.1.1");
  ips.push_back("2.2.2.2");
  harness_.answerWith([](const std::string& command) {
    if (isSetRule(command)) return 1;
    return command.find("QV_0") != std::string::npos ? 5 : 0;
  });
  firewall().updateWindowsRules(ips);
  const std::string first = joined(ips, 0, 450);
  EXPECT_EQ(harness_.commands(),
            (std::vector<std::string>{
                setRule("QV_0", first), addRule("QV_0", first),
                setRule("QV_1", "2.2.2.2"), addRule("QV_1", "2.2.2.2")}));
  EXPECT_EQ(harness_.out(),
            "[Firewall-Win] Updating 451 IPs into 2 rules.\n"
            "[Firewall] Creating new rule: QV_0...\n"
            "[Firewall] Creating new rule: QV_1...\n");
  EXPECT_EQ(harness_.err(),
            "!!! [Firewall Error] Failed to add rule. Error Code: 5\n"
            "!!! Please ensure you are running as ADMINISTRATOR.\n");
}

TEST_F(FirewallRulesTest, ShrinkingListLeavesHigherRulesAlone) {
  firewall().updateWindowsRules(addresses(901));
  const std::vector<std::string> ten = addresses(10);
  firewall().updateWindowsRules(ten);
  const std::vector<std::string> commands = harness_.commands();
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands.back(), setRule("QV_0", joined(ten, 0, 10)));
}

TEST(FirewallStrategyNameTest, EmptyNameStillNamesTheRules) {
  FirewallHarness harness(10, "");
  harness.start();
  harness.firewall().updateWindowsRules({"1.1.1.1"});
  EXPECT_EQ(harness.commands(),
            std::vector<std::string>{setRule("_0", "1.1.1.1")});
}

TEST(FirewallStrategyNameTest, UnsafeNameRunsNothing) {
  // Each name, and how its line shows it: control bytes as \xNN.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"QV\"&calc&\"", "QV\"&calc&\""},
      {"QV Block", "QV Block"},
      {"QV\tBlock", "QV\\x09Block"},
      {"QV\x1b", "QV\\x1b"},
      {"QV\x7f", "QV\\x7f"},
      {"-QV", "-QV"}};
  for (const auto& [name, shown] : names) {
    SCOPED_TRACE(shown);
    FirewallHarness harness(10, name);
    harness.start();
    harness.firewall().updateWindowsRules({"1.1.1.1"});
    harness.firewall().syncLinuxIpset({"1.1.1.1"});
    EXPECT_TRUE(harness.commands().empty());
    EXPECT_EQ(harness.out(), "");
    const std::string line =
        "!!! [Firewall Error] Unsafe strategy name, no rule command run: " +
        shown + "\n";
    EXPECT_EQ(harness.err(), line + line);
  }
}

// Whoever passes them, entries that would act as syntax or split into extra
// arguments never reach a command; masks, ranges and repeats do, in order.
TEST_F(FirewallRulesTest, CommandsCarryOnlySafeEntries) {
  const std::vector<std::string> unsafe = {"1.1.1.1\" dir=out action=allow \"x",
                                           "2.2.2.2 -exist",
                                           "",
                                           "1.1.1.1;reboot",
                                           "1.1.$(id).1",
                                           "1.1.1.1`id`",
                                           "1.1.1.1|nc 2.2.2.2",
                                           "10.0.0.2 # scraper",
                                           "1.1.1.1;2.2.2.2",
                                           "1.1.1.1 2.2.2.2",
                                           "-exist",
                                           "--1.1.1.1"};
  std::vector<std::string> entries = unsafe;
  for (const char* safe : {"10.0.0.0/8", "10.0.0.1-10.0.0.9", "10.0.0.0/8"})
    entries.push_back(safe);
  firewall().updateWindowsRules(entries);
  firewall().syncLinuxIpset(entries);
  firewall().updateWindowsRules(unsafe);
  firewall().syncLinuxIpset({});
  const std::vector<std::string> expected = {
      setRule("QV_0", "10.0.0.0/8,10.0.0.1-10.0.0.9,10.0.0.0/8"),
      "ipset create QV_tmp hash:ip -exist",
      "ipset flush QV_tmp",
      "ipset add QV_tmp 10.0.0.0/8 -exist",
      "ipset add QV_tmp 10.0.0.1-10.0.0.9 -exist",
      "ipset add QV_tmp 10.0.0.0/8 -exist",
      "ipset swap QV_tmp QV",
      "ipset destroy QV_tmp",
      "ipset create QV_tmp hash:ip -exist",
      "ipset flush QV_tmp",
      "ipset swap QV_tmp QV",
      "ipset destroy QV_tmp"};
  EXPECT_EQ(harness_.commands(), expected);
  EXPECT_EQ(harness_.out(),
            "[Firewall-Win] Updating 3 IPs into 1 rules.\n"
            "[Firewall] Updated rule: QV_0\n"
            "[Firewall-Linux] IPSet synced. Total IPs: 3\n"
            "[Firewall-Linux] IPSet synced. Total IPs: 0\n");
  std::string skipped;
  for (const std::string& entry : unsafe)
    skipped += "[Firewall] Skipping unsafe entry: " + entry + "\n";
  EXPECT_EQ(harness_.err(), skipped + skipped + skipped);
}

}  // namespace
