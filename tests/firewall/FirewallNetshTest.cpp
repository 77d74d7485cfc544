#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "firewall/CommandRunner.h"
#include "firewall/FirewallHarness.h"

namespace {

namespace fs = std::filesystem;

// The real runner against a stand-in netsh that keeps rule state.
class FirewallWithNetshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousPath_ = getenv("PATH");
    const std::string fakeBin =
        std::string(QV_TESTS_DIR) + "/firewall/fake-bin";
    setenv("PATH", (fakeBin + ":" + previousPath_).c_str(), 1);
    setenv("QV_NETSH_LOG", (harness_.dir().path() / "netsh.log").c_str(), 1);
    setenv("QV_NETSH_STATE", (harness_.dir().path() / "rules").c_str(), 1);
    harness_.dir().write("rules/.keep", "");
  }
  void TearDown() override {
    harness_.stop();
    setenv("PATH", previousPath_.c_str(), 1);
    unsetenv("QV_NETSH_LOG");
    unsetenv("QV_NETSH_STATE");
    unsetenv("QV_NETSH_ADD_STATUS");
  }
  std::string rule(const std::string& name) {
    return harness_.dir().read("rules/" + name);
  }

  FirewallHarness harness_;
  std::string previousPath_;
};

TEST_F(FirewallWithNetshTest, CreatesMissingRulesThenUpdatesThem) {
  harness_.writeBadIps("1.1.1.1\n2.2.2.2\n", 0);
  harness_.start(&CommandRunner::runCommandLine);
  EXPECT_EQ(rule("QV_0"), "1.1.1.1,2.2.2.2\n");
  EXPECT_EQ(harness_.dir().read("netsh.log"),
            "advfirewall\tfirewall\tset\trule\tname=QV_0\tnew\t"
            "remoteip=1.1.1.1,2.2.2.2\n"
            "advfirewall\tfirewall\tadd\trule\tname=QV_0\tdir=in\t"
            "action=block\tremoteip=1.1.1.1,2.2.2.2\n");

  harness_.writeBadIps("3.3.3.3\n", 1);
  harness_.letSleepsPass(10);
  EXPECT_EQ(rule("QV_0"), "3.3.3.3\n");
  EXPECT_EQ(harness_.out(),
            "[Firewall-Win] Updating 2 IPs into 1 rules.\n"
            "[Firewall] Creating new rule: QV_0...\n"
            "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n"
            "[Firewall-Win] Updating 1 IPs into 1 rules.\n"
            "[Firewall] Updated rule: QV_0\n");
}

TEST_F(FirewallWithNetshTest, RefusedCreationReportsTheStatus) {
  setenv("QV_NETSH_ADD_STATUS", "5", 1);
  harness_.writeBadIps("1.1.1.1\n", 0);
  harness_.start(&CommandRunner::runCommandLine);
  EXPECT_FALSE(fs::exists(harness_.dir().path() / "rules/QV_0"));
  EXPECT_EQ(harness_.err(),
            "!!! [Firewall Error] Failed to add rule. Error Code: 5\n"
            "!!! Please ensure you are running as ADMINISTRATOR.\n");
}

}  // namespace
