#include "botguard/BotGuard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <map>

#include "screening/FPCheck.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

// The lines of a fake crawler, after the DNS line when it had a name.
std::string fake(const std::string& ip, const std::string& name = "") {
  return (name.empty() ? ""
                       : "[DNS\xb7\xb4\xb2\xe9] DNS check failed for " + ip +
                             ": " + name + "\n") +
         "[FPCheck] IP added to blacklist: " + ip +
         "\n[BotGuard] FAKE BOT DETECTED: " + ip + " -> Blocked immediately!\n";
}

TEST(BotGuardTest, VerifiesEachCrawlerOnceAndDrainsTheQueueOnExit) {
  TempWorkDir dir;
  dir.write("config/GoodIPs.txt", "10.0.0.7\r\n");
  dir.write("config/GoodSpiderDomainKey.txt", "googlebot.com\r\nyandex\n");
  // Scripted DNS: address -> its reverse name and what that name resolves to.
  std::map<std::string, std::pair<std::string, std::string>> dns{
      {"66.249.66.1", {"Crawl-1.GoogleBot.COM", "66.249.66.1"}},
      {"5.255.253.1", {"spider-1.yandex.ru", "5.255.253.1"}},
      {"10.0.0.2", {"crawl-2.googlebot.com", "66.249.66.2"}},
      {"10.0.0.3", {"Host-3.Example.NET", "10.0.0.3"}}};
  BotGuard* guard = nullptr;
  std::vector<std::string> asked;  // reverse questions, by the worker only
  HostResolver resolver{
      [&](const in_addr& address) -> std::optional<std::string> {
        char ip[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &address, ip, sizeof ip);
        asked.push_back(ip);
        // The rest arrive while the first is under way: a pending, a listed
        // or a non-crawler address queues nothing.
        if (asked.size() == 1) {
          for (const char* next :
               {"66.249.66.1", "5.255.253.1", "10.0.0.7", "10.0.0.2",
                "10.0.0.3", "10.0.0.4", "2001:db8::1", ""}) {
            guard->enqueueIfBot(next, "SPIDER");
          }
          guard->enqueueIfBot("10.0.0.8", "Mozilla/5.0");
        }
        // By the second question the first verdict is in.
        EXPECT_TRUE(asked.size() != 2 || guard->isGoodIp("66.249.66.1"));
        if (dns.count(ip) == 0) return std::nullopt;
        return dns[ip].first;
      },
      [&](const std::string& name) {
        std::vector<in_addr> answers(1);
        for (const auto& [ip, record] : dns) {
          if (strcasecmp(record.first.c_str(), name.c_str()) != 0) continue;
          inet_pton(AF_INET, record.second.c_str(), answers.data());
        }
        return answers;
      }};
  ConsoleCapture console;
  FPCheck fpCheck("config");
  console.clear();
  {
    BotGuard botGuard(&fpCheck, "config", resolver);
    guard = &botGuard;
    EXPECT_TRUE(botGuard.isGoodIp("10.0.0.7"));
    botGuard.enqueueIfBot("66.249.66.1", "Googlebot/2.1");
  }  // at once: the destructor must still verify every queued address
  EXPECT_EQ(asked,
            (std::vector<std::string>{"66.249.66.1", "5.255.253.1", "10.0.0.2",
                                      "10.0.0.3", "10.0.0.4"}));
  EXPECT_EQ(console.out(),
            "[BotGuard] VERIFIED VALID BOT: 66.249.66.1\n"
            "[BotGuard] VERIFIED VALID BOT: 5.255.253.1\n" +
                fake("10.0.0.2", "crawl-2.googlebot.com") +
                fake("10.0.0.3", "host-3.example.net") + fake("10.0.0.4") +
                fake("2001:db8::1") + fake(""));
  EXPECT_EQ(dir.read("config/GoodIPs.txt"),
            "10.0.0.7\r\n66.249.66.1\n5.255.253.1\n");
}

}  // namespace
