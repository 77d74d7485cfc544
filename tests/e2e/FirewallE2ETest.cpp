// Firewall synchronisation as the host sees it: the gate drives a stand-in
// netsh, first on PATH, that records its calls and keeps rule state.
#include <gtest/gtest.h>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"

namespace {

constexpr char kBannerStart[] = "-----\n Quorvantel V2.1 Running...";

class FirewallE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    gate_.useStandInNetsh();
    gate_.dir().write("config/BadIPs.txt", "10.0.0.1\n10.0.0.2\n");
  }

  void startWithFirewallSync(bool on) {
    gate_.writeConfig({{"features", {{"enable_firewall_sync", on}}}});
    gate_.start();
  }

  std::string netshCalls() const { return gate_.dir().read("netsh.log"); }

  GateProcess gate_;
};

TEST_F(FirewallE2ETest, StartUpAppliesTheBlacklistBeforeTheBanner) {
  startWithFirewallSync(true);
  EXPECT_EQ(netshCalls(),
            "advfirewall\tfirewall\tset\trule\tname=QV_0\tnew\t"
            "remoteip=10.0.0.1,10.0.0.2\n"
            "advfirewall\tfirewall\tadd\trule\tname=QV_0\tdir=in\t"
            "action=block\tremoteip=10.0.0.1,10.0.0.2\n");
  EXPECT_EQ(gate_.dir().read("rules/QV_0"), "10.0.0.1,10.0.0.2\n");
  const std::string out = gate_.out();
  const size_t created = out.find(
      "[Firewall-Win] Updating 2 IPs into 1 rules.\n"
      "No rules match the specified criteria.\n"
      "[Firewall] Creating new rule: QV_0...\n");
  ASSERT_NE(created, std::string::npos) << out;
  EXPECT_LT(created, out.find(kBannerStart));
}

TEST_F(FirewallE2ETest, KeywordHitReachesTheRulesInTheNextCycle) {
  gate_.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
  startWithFirewallSync(true);
  EXPECT_EQ(
      HttpExchange::check(gate_.port(), "10.9.8.7", "/wp-login.php").status,
      401);
  ASSERT_TRUE(gate_.waitForOut("[Firewall] Updated rule: QV_0\n", 30000))
      << gate_.out();
  EXPECT_NE(gate_.out().find(
                "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n"
                "[Firewall-Win] Updating 3 IPs into 1 rules.\n"),
            std::string::npos);
  EXPECT_EQ(gate_.dir().read("rules/QV_0"), "10.0.0.1,10.0.0.2,10.9.8.7\n");
}

TEST_F(FirewallE2ETest, SwitchedOffRunsNoCommand) {
  startWithFirewallSync(false);
  EXPECT_NE(gate_.out().find(" Firewall Sync : OFF\n"), std::string::npos);
  EXPECT_EQ(gate_.out().find("[Firewall"), std::string::npos);
  EXPECT_EQ(netshCalls(), "");
}

}  // namespace
