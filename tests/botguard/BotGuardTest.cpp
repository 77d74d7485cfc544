#include "botguard/BotGuard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <map>

#include "screening/FPCheck.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

TEST(BotGuardTest, VerifiesEachCrawlerOnceAndDrainsTheQueueOnExit) {
  TempWorkDir dir;
  dir.write("config/GoodIPs.txt", "10.0.0.7\r\n");
  dir.write("config/GoodSpiderDomainKey.txt", "yandex\r\n");
  std::map<std::string, std::string> names{{"5.255.253.1", "Spider.YANDEX.ru"},
                                           {"10.0.0.2", "Fake.Yandex.ru"}};
  BotGuard* guard = nullptr;
  std::vector<std::string> asked;  // reverse questions, by the worker only
  HostResolver resolver{
      [&](const in_addr& address) -> std::optional<std::string> {
        char ip[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &address, ip, sizeof ip);
        asked.push_back(ip);
        // Queued during the first lookup: pending or listed ones are not.
        if (asked.size() == 1) {
          for (const char* next :
               {"5.255.253.1", "10.0.0.7", "10.0.0.2", "2001:db8::1"}) {
            guard->enqueueIfBot(next, "SPIDER");
          }
          guard->enqueueIfBot("10.0.0.8", "Mozilla/5.0");
        }
        return names[ip];
      },
      [](const std::string&) {  // only the genuine crawler resolves back
        return std::vector<in_addr>{{inet_addr("5.255.253.1")}};
      }};
  ConsoleCapture console;
  FPCheck fpCheck("config");
  {
    BotGuard botGuard(&fpCheck, "config", resolver);
    guard = &botGuard;
    botGuard.enqueueIfBot("5.255.253.1", "YandexBot/3.0");
  }  // at once: the destructor must still verify every queued address
  EXPECT_EQ(asked, (std::vector<std::string>{"5.255.253.1", "10.0.0.2"}));
  EXPECT_EQ(dir.read("config/GoodIPs.txt"), "10.0.0.7\r\n5.255.253.1\n");
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.2\n2001:db8::1\n");
  // [DNS反查] DNS check failed for
  EXPECT_NE(console.out().find("[DNS\xb7\xb4\xb2\xe9] DNS check failed for "
                               "10.0.0.2: fake.yandex.ru\n"
                               "[FPCheck] IP added to blacklist: 10.0.0.2\n"
                               "[BotGuard] FAKE BOT DETECTED: 10.0.0.2 -> "
                               "Blocked immediately!\n"),
            std::string::npos);
}

}  // namespace
