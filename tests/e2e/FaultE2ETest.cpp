// Faults around the real gate: its configuration directory, list files, log
// directory and firewall tool taken away or broken, before start-up or while
// it serves. Each time it says what went wrong, goes on with what it has and
// keeps answering.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/TextLines.h"

namespace fs = std::filesystem;

namespace {

constexpr char kBadIpsWriteFailed[] =
    "[Error] Failed to write to file: config/BadIPs.txt\n";
constexpr char kShieldWriteFailed[] =
    "[DynamicShield] Error writing to config/BadIPs.txt\n";
constexpr int kCycleMs = 30000;  // well past one 10 s firewall cycle

class FaultE2ETest : public ::testing::Test {
 protected:
  FaultE2ETest() {
    gate_.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
    gate_.dir().write("config/GoodSpiderDomainKey.txt", "localhost\n");
    gate_.useStandInNetsh();
  }

  fs::path path(const std::string& relative) const {
    return gate_.dir().path() / relative;
  }

  // Every request adds 10 to its address's score, so an address's second
  // request that reaches the shield blocks it.
  void start(bool firewallSync = false) {
    gate_.writeConfig({{"features", {{"enable_firewall_sync", firewallSync}}},
                       {"shield",
                        {{"limit_qps", 0},
                         {"score_threshold", 20},
                         {"limit_burst_1min", 300}}}});
    gate_.start();
  }

  int check(const std::string& ip, const std::string& uri = "/",
            const std::string& userAgent = "Mozilla/5.0") {
    return HttpExchange::check(gate_.port(), ip, uri, userAgent).status;
  }

  // Blacklists `ip` by a keyword and by the shield, each of which appends.
  void blacklistTwoWays(const std::string& keywordIp,
                        const std::string& shieldIp) {
    EXPECT_EQ(check(keywordIp, "/wp-login.php"), 401);
    EXPECT_EQ(check(keywordIp), 401);  // refused from memory
    EXPECT_EQ(check(shieldIp), 200);
    EXPECT_EQ(check(shieldIp), 401);
  }

  GateProcess gate_;
};

TEST_F(FaultE2ETest, MissingConfigDirectory) {
  fs::remove_all(path("config"));
  start(/*firewallSync=*/true);
  // No keywords were read; the shield still blocks, in memory.
  EXPECT_EQ(check("198.51.100.1", "/wp-login"), 200);
  EXPECT_EQ(check("198.51.100.2"), 200);
  EXPECT_EQ(check("198.51.100.2"), 401);
  // A crawler without a name is judged fake and refused from then on; its
  // own request may meet the verdict already.
  check("192.0.2.30", "/", "fakebot");
  ASSERT_TRUE(gate_.waitForOut("FAKE BOT DETECTED: 192.0.2.30 "));
  EXPECT_EQ(check("192.0.2.30"), 401);
  const std::string err = gate_.err();
  EXPECT_EQ(countOf(err, kBadIpsWriteFailed), 1u);  // the crawler
  EXPECT_EQ(countOf(err, kShieldWriteFailed), 1u);
  EXPECT_FALSE(fs::exists(path("config")));
  // No blacklist file: no rule is touched, nothing is said.
  EXPECT_EQ(gate_.dir().read("netsh.log"), "");
  EXPECT_EQ(gate_.out().find("[Firewall"), std::string::npos);
  EXPECT_EQ(check("203.0.113.1"), 200);
}

TEST_F(FaultE2ETest, ReadOnlyConfigDirectory) {
  if (!GateProcess::unprivilegedCanRun())
    GTEST_SKIP() << "user nobody cannot run " << QV_APP_PATH
                 << ", and as root nothing is read-only";
  gate_.dir().write("config/GoodIPs.txt", "203.0.113.200\n");
  for (const auto& entry : fs::directory_iterator(path("config")))
    fs::permissions(entry.path(), fs::perms::owner_read |
                                      fs::perms::group_read |
                                      fs::perms::others_read);
  fs::permissions(path("config"), fs::perms::all & ~(fs::perms::owner_write |
                                                     fs::perms::group_write |
                                                     fs::perms::others_write));
  gate_.runUnprivileged();
  start();
  // The lists were read.
  EXPECT_EQ(check("203.0.113.200", "/wp-login.php"), 200);
  blacklistTwoWays("198.51.100.1", "198.51.100.2");
  // A genuine crawler is always allowed for this run, though "GoodIPs.txt"
  // cannot take it (silently).
  check("127.0.0.1", "/", "localbot");
  ASSERT_TRUE(gate_.waitForOut("[BotGuard] VERIFIED VALID BOT: 127.0.0.1\n"));
  EXPECT_EQ(check("127.0.0.1", "/wp-login.php"), 200);
  EXPECT_EQ(gate_.dir().read("config/GoodIPs.txt"), "203.0.113.200\n");
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "");
  EXPECT_EQ(countOf(gate_.err(), kBadIpsWriteFailed), 1u);
  EXPECT_EQ(countOf(gate_.err(), kShieldWriteFailed), 1u);
  // The decision log lives outside it and still works.
  EXPECT_NE(gate_.decisionLog().find("198.51.100.2 [OK] 200"),
            std::string::npos);
}

TEST_F(FaultE2ETest, BlacklistFileReplacedByADirectoryWhileServing) {
  gate_.dir().write("config/BadIPs.txt", "10.0.0.1\n");
  start(/*firewallSync=*/true);
  ASSERT_EQ(gate_.dir().read("rules/QV_0"), "10.0.0.1\n");
  const std::string callsAtStart = gate_.dir().read("netsh.log");
  fs::remove(path("config/BadIPs.txt"));
  fs::create_directory(path("config/BadIPs.txt"));

  blacklistTwoWays("198.51.100.1", "198.51.100.2");
  EXPECT_EQ(countOf(gate_.err(), kBadIpsWriteFailed), 1u);
  EXPECT_EQ(countOf(gate_.err(), kShieldWriteFailed), 1u);
  // The watch sees a change but nothing to read: the rules stand.
  ASSERT_TRUE(gate_.waitForOut("Detected BadIPs.txt change", kCycleMs));
  EXPECT_EQ(gate_.dir().read("netsh.log"), callsAtStart);

  // Put back, the file takes appends again.
  fs::remove(path("config/BadIPs.txt"));
  gate_.dir().write("config/BadIPs.txt", "");
  EXPECT_EQ(check("198.51.100.3", "/wp-login"), 401);
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "198.51.100.3\n");
}

TEST_F(FaultE2ETest, LogsIsAPlainFile) {
  gate_.dir().write("logs", "not a directory\n");
  gate_.dir().write("config/NotAllowed.txt", "curl\n");
  start();
  EXPECT_EQ(check("198.51.100.1"), 200);
  EXPECT_EQ(check("198.51.100.2", "/", "curl"), 401);
  EXPECT_EQ(check("198.51.100.3", "/wp-login"), 401);
  // One line per logged outcome says so; nothing is written.
  const std::string err = "\n" + gate_.err();
  EXPECT_EQ(countOf(err, "\nFailed to open logs/allowed_ips_"), 3u);
  EXPECT_EQ(countOf(err, ".log for writing.\n"), 3u);
  EXPECT_EQ(gate_.dir().read("logs"), "not a directory\n");
}

TEST_F(FaultE2ETest, LogsRemovedWhileServing) {
  start();
  EXPECT_EQ(check("198.51.100.1"), 200);
  fs::remove_all(path("logs"));
  EXPECT_EQ(check("198.51.100.2"), 200);
  const std::string log = gate_.decisionLog();
  EXPECT_EQ(countOf(log, "\n"), 1u);
  EXPECT_NE(log.find(" IP: 198.51.100.2 [OK] 200 "), std::string::npos);
}

TEST_F(FaultE2ETest, FirewallToolMissingOrFailing) {
  gate_.dir().write("config/BadIPs.txt", "10.0.0.1\n");
  // Nothing named netsh on the path: the runner cannot start it.
  gate_.setEnv("PATH", path("rules").string());
  start(/*firewallSync=*/true);
  EXPECT_NE(gate_.out().find("[Firewall-Win] Updating 1 IPs into 1 rules.\n"
                             "[Firewall] Creating new rule: QV_0...\n"),
            std::string::npos);
  EXPECT_EQ(gate_.err(),
            "!!! [Firewall Error] Failed to add rule. Error Code: -1\n"
            "!!! Please ensure you are running as ADMINISTRATOR.\n");
  EXPECT_EQ(check("203.0.113.1"), 200);

  GateProcess failing;
  failing.dir().write("config/BadIPs.txt", "10.0.0.1\n");
  failing.useStandInNetsh();
  failing.setEnv("QV_NETSH_ADD_STATUS", "5");
  failing.writeConfig({{"features", {{"enable_firewall_sync", true}}}});
  failing.start();
  EXPECT_TRUE(failing.waitForErr(
      "!!! [Firewall Error] Failed to add rule. Error Code: 5\n"
      "!!! Please ensure you are running as ADMINISTRATOR.\n"));
  EXPECT_EQ(HttpExchange::check(failing.port(), "203.0.113.1").body, "OK");
}

TEST_F(FaultE2ETest, CrawlerLookupsThatFailJudgeFakeWithoutDelay) {
  start();
  // No name, an IPv6 text and no address at all: each fails, none waits.
  const std::vector<std::string> crawlers = {"192.0.2.1", "2001:db8::31",
                                             "crawler"};
  // A verdict may already be in when its own request reaches the blacklist
  // stage, so that request may be refused.
  for (const std::string& ip : crawlers) {
    const int status =
        HttpExchange::check(gate_.port(), ip, "/", "somebot").status;
    EXPECT_TRUE(status == 200 || status == 401) << ip << ": " << status;
  }
  for (const std::string& ip : crawlers) {
    ASSERT_TRUE(gate_.waitForOut("FAKE BOT DETECTED: " + ip + " ")) << ip;
    EXPECT_EQ(check(ip), 401) << ip;
  }
  EXPECT_EQ(gate_.out().find("[DNS"), std::string::npos);
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"),
            "192.0.2.1\n2001:db8::31\ncrawler\n");
}

}  // namespace
