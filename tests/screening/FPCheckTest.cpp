#include "screening/FPCheck.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "screening/KeywordMatcher.h"
#include "support/ConsoleCapture.h"
#include "support/GateProcess.h"
#include "support/TempWorkDir.h"

namespace {

TEST(FPCheckTest, ListsLoadWithLineEndsTrimmedAndBlock) {
  TempWorkDir dir;
  dir.write("config/BadUrlKeyWord.txt", "login\r\n \t\r\nadmin\r\n");
  dir.write("config/BadIPs.txt", "10.0.0.1 \r\n10.0.0.9");  // hand-edited
  dir.write("config/NotAllowed.txt", "  curl\r\n\xc5\xc0\n");
  ConsoleCapture console;
  FPCheck check("config");
  // User agents: ASCII letters fold, other bytes and leading blanks do not.
  EXPECT_FALSE(check.isUserAgentAllowed("x  CURL/8"));
  EXPECT_TRUE(check.isUserAgentAllowed("curl/8 \xe5\xc0"));
  console.clear();
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(check.checkBadUrlKeyword("10.0.0.2", "/ADMIN/Login"));
  // A decoded line break stays in memory; the file refuses it.
  EXPECT_TRUE(check.checkBadUrlKeyword("10.0.0.3\r10.0.0.4", "/admin"));
  EXPECT_TRUE(check.isBadIp("10.0.0.3\r10.0.0.4"));
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.1 \r\n10.0.0.9\n10.0.0.2\n");
  // One line per address, naming the first keyword in file order.
  EXPECT_EQ(console.out(),
            "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.2 containing "
            "URLkeyword: login\n"
            "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.3\\x0d10.0.0.4 "
            "containing URLkeyword: admin\n");
}

// One pending address per cycle goes to the service; the foreign ones are
// remembered, a failing service means "Unknown", the empty address is
// dropped.
TEST(FPCheckTest, GeoWorkerAsksTheServiceAndRemembersForeignAddresses) {
  TempWorkDir dir;
  dir.write("config/ForeignIps.txt", "");
  httplib::Server service;  // 404 for any other address
  service.Get("/json/10.0.0.1", [](auto&, httplib::Response& response) {
    response.set_content(R"({"country":"Japan","countryCode":"JP"})",
                         "text/json");
  });
  service.Get("/json/10.0.0.2", [](auto&, httplib::Response& response) {
    response.set_content(R"({"country":"China","countryCode":"CN"})",
                         "text/json");
  });
  const int port = service.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { service.listen_after_bind(); });
  ConsoleCapture console;
  std::atomic<int> cycles = 0;
  {
    FPCheck check("config");
    check.setGeoServiceUrlForTesting("http://127.0.0.1:" +
                                     std::to_string(port));
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3", ""})
      check.logAllowedIp(ip, "[OK] 200", "");
    check.startGeoWorkerForTesting([&] { ++cycles; });
    EXPECT_TRUE(GateProcess::pollUntil([&] { return cycles > 3; }));
  }  // joins the worker
  service.stop();
  serving.join();
  EXPECT_EQ(dir.read("config/ForeignIps.txt"), "10.0.0.1\n");
  std::multiset<std::string> verdicts;  // one per lookup, in any order
  std::istringstream lines(console.out());
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("[Check] ", 0) == 0) verdicts.insert(line);
  EXPECT_EQ(verdicts, (std::multiset<std::string>{
                          "[Check] 10.0.0.1 is Foreign - Japan",
                          "[Check] 10.0.0.2 is Domestic - CN",
                          "[Check] 10.0.0.3 is Domestic - Unknown"}));
}

// Against a plain walk of the list, over bytes that tempt a wrong folding.
TEST(FPCheckTest, KeywordMatcherAgreesWithWalkingTheListInOrder) {
  const char bytes[] = "aAzZ@`[{\xc9\xe9 ";
  std::mt19937 random(20261206);
  auto randomText = [&](size_t maxLength) {
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = bytes[random() % (sizeof bytes - 1)];
    return text;
  };
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::string> keywords(1 + random() % 12);
    for (auto& keyword : keywords) keyword = randomText(4);
    const std::string text = randomText(16);
    size_t expected = KeywordMatcher::kNone;
    for (size_t i = keywords.size(); i-- > 0;)
      if (FPCheck::containsIgnoreCase(text, keywords[i])) expected = i;
    const KeywordMatcher matcher(keywords);
    ASSERT_EQ(matcher.firstMatch(text), expected) << text;
    ASSERT_EQ(matcher.matchesAny(text), expected != KeywordMatcher::kNone);
  }
}

}  // namespace
