// Every stage of the route, and the switches main wires, through the real
// executable. Chinese texts are GBK bytes; the comment shows the characters.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/GateProcess.h"

namespace {

namespace fs = std::filesystem;

// [Block-URL阻止] 401, [非法Agent阻止] 401, [Block-动态评估阻止] 401
constexpr char kKeywordTag[] = "[Block-URL\xd7\xe8\xd6\xb9] 401";
constexpr char kAgentTag[] =
    "[\xb7\xc7\xb7\xa8"
    "Agent\xd7\xe8\xd6\xb9] 401";
constexpr char kShieldTag[] =
    "[Block-\xb6\xaf\xcc\xac\xc6\xc0\xb9\xc0\xd7\xe8\xd6\xb9] 401";
// [当前请求] IP:
constexpr char kRequestLine[] = "[\xb5\xb1\xc7\xb0\xc7\xeb\xc7\xf3] IP:";

// The decision log without its timestamps (19 characters and a blank).
std::string withoutTimes(const std::string& log) {
  std::istringstream lines(log);
  std::string line, result;
  while (std::getline(lines, line)) result += line.substr(20) + "\n";
  return result;
}

// A second request from the same address reaches the score threshold.
nlohmann::json strictShield(bool shield, bool console, bool firewall) {
  return {{"features",
           {{"enable_dynamic_shield", shield},
            {"enable_console_log", console},
            {"enable_firewall_sync", firewall}}},
          {"shield", {{"score_threshold", 20}, {"limit_qps", 0}}}};
}

TEST(RouteE2ETest, StagesRefuseInOrderAndLeaveTheirTraces) {
  GateProcess gate;
  gate.dir().write("config/GoodIPs.txt", "10.8.8.8\n");
  // A hostile entry reaches no firewall command.
  gate.dir().write("config/BadIPs.txt", "10.9.9.9\n1.1.1.1\";reboot\n");
  gate.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
  gate.dir().write("config/NotAllowed.txt", "curl\n");
  gate.dir().write("config/GoodSpiderDomainKey.txt", "localhost\n");
  gate.writeConfig(strictShield(true, true, true));
  gate.useStandInNetsh();
  gate.start();
  // A blacklist the gate may append to but not read still takes its entries.
  const fs::path badIps = gate.dir().path() / "config/BadIPs.txt";
  fs::permissions(badIps, fs::perms::owner_write);
  // The error handler answers every refusal: the decision log tells the
  // stages apart.
  auto answer = [&](const std::string& ip, const std::string& uri,
                    const std::string& agent) {
    return gate.check(ip, uri, agent).substr(9, 3);
  };

  EXPECT_EQ(answer("10.8.8.8", "/wp-login", "curl"), "200");
  EXPECT_EQ(answer("10.0.0.1", "/wp-login.php", "curl"), "401");
  EXPECT_EQ(answer("10.0.0.1", "/wp-login", "Mozilla"), "401");
  EXPECT_EQ(answer("10.9.9.9", "/", "curl"), "401");
  EXPECT_EQ(answer("10.0.0.2", "/", "CURL/8"), "401");
  EXPECT_EQ(answer("10.0.0.2", "/", "CURL/8"), "401");
  EXPECT_EQ(answer("10.0.0.3", "/a", "Mozilla"), "200");
  EXPECT_EQ(answer("10.0.0.3", "/b", "Mozilla"), "401");
  // Decoded line breaks split no line of any file or stream.
  EXPECT_EQ(answer("10.0.0.7%0A10.6.6.6", "/wp-login", "x%0Dy"), "401");

  fs::permissions(badIps, fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(gate.dir().read("config/BadIPs.txt"),
            "10.9.9.9\n1.1.1.1\";reboot\n10.0.0.1\n10.0.0.3\n");
  EXPECT_EQ(withoutTimes(gate.decisionLog()),
            std::string("IP: 10.0.0.1 ") + kKeywordTag + " User-Agent: curl\n" +
                "IP: 10.0.0.1 " + kKeywordTag + " User-Agent: Mozilla\n" +
                "IP: 10.0.0.2 " + kAgentTag + " User-Agent: CURL/8\n" +
                "IP: 10.0.0.2 " + kAgentTag + " User-Agent: CURL/8\n" +
                "IP: 10.0.0.3 [OK] 200 User-Agent: Mozilla\n" +
                "IP: 10.0.0.3 " + kShieldTag + " User-Agent: Mozilla\n" +
                "IP: 10.0.0.7\\x0a10.6.6.6 " + kKeywordTag +
                " User-Agent: x\\x0dy\n");
  for (const auto& [file, line] :
       {std::pair<std::string, std::string>{
            "stdout.log",
            kRequestLine + std::string("10.8.8.8 URL:/wp-login\n")},
        {"stdout.log",
         kRequestLine + std::string("10.0.0.7\\x0a10.6.6.6 URL:/wp-login\n")},
        {"stderr.log", "[Firewall] Skipping unsafe entry: 1.1.1.1\";reboot\n"},
        {"stderr.log",
         "[Error] Refused to write an entry holding a line break to file: "}}) {
    EXPECT_TRUE(gate.waitFor(file, line)) << line;
  }
  EXPECT_EQ(gate.dir().read("netsh.log"),
            "advfirewall\tfirewall\tset\trule\tname=QV_0\tnew\t"
            "remoteip=10.9.9.9\n");

  // A crawler whose name holds a key and resolves back is always allowed,
  // past the shield that would refuse its next request.
  answer("127.0.0.1", "/", "Googlebot/2.1");
  ASSERT_TRUE(gate.waitFor("config/GoodIPs.txt", "127.0.0.1\n"));
  EXPECT_TRUE(
      gate.waitFor("stdout.log", "[BotGuard] VERIFIED VALID BOT: 127.0.0.1\n"));
  EXPECT_EQ(answer("127.0.0.1", "/", "Mozilla"), "200");
  EXPECT_EQ(answer("127.0.0.1", "/", "Mozilla"), "200");
}

TEST(RouteE2ETest, SwitchedOffStagesStayOutOfTheWay) {
  GateProcess gate;
  gate.dir().write("config/BadIPs.txt", "10.9.9.9\n");
  gate.writeConfig(strictShield(false, false, false));
  gate.useStandInNetsh();
  gate.start();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bodyOf(gate.check("10.0.0.3")), "OK");
  // With no crawler keys, a self-declared crawler is a fake: blacklisted.
  // The route's test is case-sensitive: YandexBot is not queued at all.
  gate.check("127.0.0.2", "/", "YandexBot/3.0 Spider");
  gate.check("127.0.0.1", "/", "Googlebot/2.1");
  EXPECT_TRUE(gate.waitFor("config/BadIPs.txt", "10.9.9.9\n127.0.0.1\n"));
  EXPECT_EQ(gate.out().find(kRequestLine), std::string::npos);
  EXPECT_EQ(gate.decisionLog(), "");
  EXPECT_FALSE(fs::exists(gate.dir().path() / "netsh.log"));
}

}  // namespace
