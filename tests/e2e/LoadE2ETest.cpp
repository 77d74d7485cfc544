// The real gate under load: many keep-alive clients at once, mixing allowed
// requests, URL-keyword hits from thousands of addresses, denied user agents,
// self-declared crawlers and always-allowed and blacklisted addresses. Then
// every answer, every line of the list files, the decision log, the console
// and the firewall rules is checked against what the rules predict.
#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/TextLines.h"

namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kRequestsPerClient = 256;
#else
constexpr int kRequestsPerClient = 1280;
#endif
constexpr int kClients = 32;
// Each client's requests run in blocks of this many, one of each kind below
// in a fixed pattern.
constexpr int kBlock = 16;
// Crawlers from 192.0.2.x go through a real reverse lookup (no name: fake);
// this many per client, the rest are IPv6 texts judged fake without one.
constexpr int kLookedUpCrawlersPerClient = 4;

const std::string kOkTag = "[OK] 200";
const std::string kUrlTag = "[Block-URL\xd7\xe8\xd6\xb9] 401";
const std::string kAgentTag =
    "[\xb7\xc7\xb7\xa8"
    "Agent\xd7\xe8\xd6\xb9] 401";
const std::string kRefusalBody = "Blocked By Error Handler";
constexpr char kAlwaysAllowedIp[] = "203.0.113.250";
constexpr char kVerifiedCrawlerIp[] = "127.0.0.1";

enum class Kind {
  kAllowed,
  kKeyword,
  kBlacklisted,
  kDeniedAgent,
  kCrawler,
  kAlwaysAllowed,
  kPreloaded,
};

struct Planned {
  Kind kind;
  std::string ip;
  std::string uri;
  std::string userAgent;
};

std::string preloadedIp(int client) {
  return "198.51.100." + std::to_string(client + 1);
}

// Both clients of a pair hit the same addresses, so their inserts race.
std::string keywordIp(int client, int hit) {
  return "198.18." + std::to_string(client / 2) + "." + std::to_string(hit);
}

std::string crawlerIp(int client, int block) {
  if (block < kLookedUpCrawlersPerClient) {
    return "192.0.2." +
           std::to_string(client * kLookedUpCrawlersPerClient + block + 1);
  }
  std::ostringstream ip;
  ip << "2001:db8:" << std::hex << client << "::" << block;
  return ip.str();
}

std::string allowedIp(int client, int i) {
  return "203.0.113." + std::to_string(1 + (client * 7 + i) % 200);
}

Planned plan(int client, int i) {
  const int block = i / kBlock;
  const int slot = i % kBlock;
  const std::string browser =
      "Mozilla/5.0 (X11; Linux) load-" + std::to_string(client);
  const std::string page = "/page/" + std::to_string(i);
  switch (slot) {
    case 8:  // %20 arrives decoded as a blank
      return {Kind::kKeyword, keywordIp(client, block * 2),
              "/q?id=1%20UNION%20SELECT%20pw", browser};
    case 9:
      return {Kind::kKeyword, keywordIp(client, block * 2 + 1),
              "/WP-Login.php?i=" + std::to_string(i), browser};
    case 10:
      return {Kind::kBlacklisted, keywordIp(client, block * 2 + 1), page,
              browser};
    case 11:
      return {Kind::kDeniedAgent, allowedIp(client, i), page,
              "python-requests/2.31"};
    case 12:
      return {Kind::kDeniedAgent, allowedIp(client, i), page,
              "Mozilla/5.0 CURL/8.4"};
    case 13:
      return {Kind::kCrawler, crawlerIp(client, block), page,
              "Mozilla/5.0 (compatible; loadbot/1.0)"};
    case 14:
      return {Kind::kAlwaysAllowed,
              block % 2 == 0 ? kAlwaysAllowedIp : kVerifiedCrawlerIp,
              "/wp-login.php", "curl/8 spiderbot"};
    case 15:
      return {Kind::kPreloaded, preloadedIp(client), page, browser};
    default:
      return {Kind::kAllowed, allowedIp(client, i), page + "?c=1", browser};
  }
}

// What the rules allow for one answer: the status, and the decision-log
// line (ip, tag, user agent) it leaves, if any. A crawler's own request may
// meet its fake verdict already (the verification races it), and then is
// refused at the blacklist stage without a line.
bool judge(const Planned& request, const HttpAnswer& answer,
           std::string* logKey) {
  const bool allowed = answer.status == 200 && answer.body == "OK";
  const bool refused = answer.status == 401 && answer.body == kRefusalBody;
  auto logs = [&](const std::string& tag) {
    *logKey = request.ip + "\t" + tag + "\t" + request.userAgent;
  };
  switch (request.kind) {
    case Kind::kAllowed:
      if (allowed) logs(kOkTag);
      return allowed;
    case Kind::kKeyword:
      if (refused) logs(kUrlTag);
      return refused;
    case Kind::kDeniedAgent:
      if (refused) logs(kAgentTag);
      return refused;
    case Kind::kCrawler:
      if (allowed) logs(kOkTag);
      return allowed || refused;
    case Kind::kAlwaysAllowed:
      return allowed;
    case Kind::kBlacklisted:
    case Kind::kPreloaded:
      return refused;
  }
  return false;
}

// Everything the clients saw, merged under one lock at the end of each
// client.
struct Tally {
  std::mutex mutex;
  int answered = 0;
  std::vector<std::string> wrongAnswers;
  std::map<std::string, int> expectedLog;
  std::map<std::string, int> refusedIps;
  std::set<std::string> crawlerIps;
};

class LoadE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string preloaded;
    for (int c = 0; c < kClients; ++c) preloaded += preloadedIp(c) + "\n";
    gate_.dir().write("config/BadIPs.txt", preloaded);
    gate_.dir().write("config/BadUrlKeyWord.txt",
                      "wp-login\nunion select\n/etc/passwd\n");
    gate_.dir().write("config/NotAllowed.txt", "python-requests\ncurl\n");
    gate_.dir().write("config/GoodIPs.txt",
                      std::string(kAlwaysAllowedIp) + "\n");
    gate_.dir().write("config/GoodSpiderDomainKey.txt", "localhost\n");
    gate_.useStandInNetsh();
    // The shield scores every request but never reaches its threshold, so
    // the static rules alone predict every answer.
    gate_.writeConfig({{"features", {{"enable_firewall_sync", true}}},
                       {"shield",
                        {{"score_threshold", 2147483647},
                         {"limit_qps", 1000000000},
                         {"limit_burst_1min", 1000000000}}}});
    gate_.start();
    verifyTheLocalCrawler();
  }

  // 127.0.0.1 is named localhost, which resolves back: once verified it is
  // always allowed, whatever it asks.
  void verifyTheLocalCrawler() {
    ASSERT_EQ(
        HttpExchange::check(gate_.port(), kVerifiedCrawlerIp, "/", "warmupbot")
            .status,
        200);
    ++sent_;
    ASSERT_TRUE(
        gate_.waitForOut("[BotGuard] VERIFIED VALID BOT: 127.0.0.1\n", 20000));
    tally_.expectedLog[std::string(kVerifiedCrawlerIp) + "\t" + kOkTag +
                       "\twarmupbot"] = 1;
  }

  void runClient(int client) {
    std::unique_ptr<HttpExchange> connection;
    std::vector<std::string> wrong;
    std::map<std::string, int> expectedLog;
    std::map<std::string, int> refusedIps;
    std::set<std::string> crawlerIps;
    int answered = 0;
    for (int i = 0; i < kRequestsPerClient; ++i) {
      const Planned request = plan(client, i);
      if (request.kind == Kind::kCrawler) crawlerIps.insert(request.ip);
      if (!connection)
        connection = std::make_unique<HttpExchange>(gate_.port());
      connection->send(HttpExchange::checkRequest(request.ip, request.uri,
                                                  request.userAgent));
      const std::optional<HttpAnswer> answer = connection->receive();
      if (!answer) {
        wrong.push_back("no answer to " + request.ip + " " + request.uri);
        connection.reset();
        continue;
      }
      ++answered;
      std::string logKey;
      if (!judge(request, *answer, &logKey)) {
        wrong.push_back(request.ip + " " + request.uri + " " +
                        request.userAgent + " -> " + answer->statusLine);
      }
      if (!logKey.empty()) ++expectedLog[logKey];
      if (answer->status == 401) ++refusedIps[request.ip];
      if (answer->header("Connection") == std::optional<std::string>("close"))
        connection.reset();
    }
    std::lock_guard<std::mutex> lock(tally_.mutex);
    tally_.answered += answered;
    tally_.wrongAnswers.insert(tally_.wrongAnswers.end(), wrong.begin(),
                               wrong.end());
    for (const auto& [key, n] : expectedLog) tally_.expectedLog[key] += n;
    for (const auto& [ip, n] : refusedIps) tally_.refusedIps[ip] += n;
    tally_.crawlerIps.insert(crawlerIps.begin(), crawlerIps.end());
  }

  void runClients() {
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.emplace_back([this, c] { runClient(c); });
    }
    for (std::thread& client : clients) client.join();
    sent_ += kClients * kRequestsPerClient;
  }

  // Every queued crawler has had its verdict. Bounded generously: the
  // lookups go to the host's resolver.
  bool waitForVerdicts(size_t expected) const {
    return ChildProcess::pollUntil(120000, [&] {
      return countOf(gate_.out(), "[BotGuard] FAKE BOT DETECTED: ") >= expected;
    });
  }

  // The addresses the firewall rules hold, in rule order.
  std::vector<std::string> ruleAddresses() const {
    std::vector<std::string> addresses;
    for (int rule = 0;; ++rule) {
      const std::string list =
          gate_.dir().read("rules/QV_" + std::to_string(rule));
      if (list.empty()) return addresses;
      std::stringstream entries(list.substr(0, list.find('\n')));
      for (std::string entry; std::getline(entries, entry, ',');)
        addresses.push_back(entry);
    }
  }

  GateProcess gate_;
  Tally tally_;
  int sent_ = 0;
};

// Lines of the decision log as (ip, tag, user agent), each checked for its
// shape on the way.
std::map<std::string, int> parseDecisionLog(const std::string& log,
                                            std::vector<std::string>* bad) {
  static const std::regex kLine(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d IP: (\S*) (.+?) User-Agent: (.*))");
  std::map<std::string, int> entries;
  for (const std::string& line : splitLines(log)) {
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) {
      bad->push_back(line);
      continue;
    }
    ++entries[match[1].str() + "\t" + match[2].str() + "\t" + match[3].str()];
  }
  return entries;
}

TEST_F(LoadE2ETest, EveryAnswerAndEveryLineIsTheOneTheRulesPredict) {
  runClients();
  ASSERT_TRUE(tally_.wrongAnswers.empty())
      << tally_.wrongAnswers.size()
      << " wrong answers, first: " << tally_.wrongAnswers.front();
  EXPECT_EQ(tally_.answered, kClients * kRequestsPerClient);
  ASSERT_TRUE(waitForVerdicts(tally_.crawlerIps.size()));

  // The blacklist file: every offender exactly once, nothing else.
  std::map<std::string, int> expectedBadIps;
  for (int c = 0; c < kClients; ++c) expectedBadIps[preloadedIp(c)] = 1;
  for (int c = 0; c < kClients; ++c) {
    for (int hit = 0; hit < 2 * kRequestsPerClient / kBlock; ++hit)
      expectedBadIps[keywordIp(c, hit)] = 1;
  }
  for (const std::string& ip : tally_.crawlerIps) expectedBadIps[ip] = 1;
  const std::string badIps = gate_.dir().read("config/BadIPs.txt");
  ASSERT_FALSE(badIps.empty());
  EXPECT_EQ(badIps.back(), '\n');
  EXPECT_EQ(countLines(badIps), expectedBadIps);

  EXPECT_EQ(gate_.dir().read("config/GoodIPs.txt"),
            std::string(kAlwaysAllowedIp) + "\n" + kVerifiedCrawlerIp + "\n");

  std::vector<std::string> malformed;
  const std::map<std::string, int> logged =
      parseDecisionLog(gate_.decisionLog(), &malformed);
  EXPECT_TRUE(malformed.empty()) << malformed.front();
  EXPECT_EQ(logged, tally_.expectedLog);

  // Console lines stay whole: one request line per request, one error line
  // per refusal, one blacklisting line per keyword offender.
  const std::string out = gate_.out();
  EXPECT_EQ(countOf(out, "\n[\xb5\xb1\xc7\xb0\xc7\xeb\xc7\xf3] IP:"),
            static_cast<size_t>(sent_));
  std::map<std::string, int> expectedErr;
  for (const auto& [ip, n] : tally_.refusedIps)
    expectedErr["[Error-Handler] 401 for IP: " + ip] = n;
  EXPECT_EQ(countLines(gate_.err()), expectedErr);
  for (int c = 0; c < kClients; c += 2) {
    EXPECT_EQ(countOf(out, "\n[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP " +
                               keywordIp(c, 0) +
                               " containing URLkeyword: union select\n"),
              1u);
  }

  // The firewall's reads, under the same appends, never took a partial line:
  // its rules end up holding exactly the dotted entries of the file.
  std::vector<std::string> dotted;
  for (const std::string& line : splitLines(badIps)) {
    if (line.find('.') != std::string::npos) dotted.push_back(line);
  }
  ChildProcess::pollUntil(60000, [&] { return ruleAddresses() == dotted; });
  EXPECT_EQ(ruleAddresses(), dotted);

  EXPECT_EQ(HttpExchange::check(gate_.port(), "203.0.113.7").body, "OK");
  std::cout << "[ FIGURES  ] " << sent_ + 1
            << " requests answered and checked, " << splitLines(badIps).size()
            << " blacklist lines, " << splitLines(gate_.decisionLog()).size()
            << " decision-log lines, " << splitLines(out).size()
            << " standard-output lines, " << splitLines(gate_.err()).size()
            << " standard-error lines\n";
}

}  // namespace
