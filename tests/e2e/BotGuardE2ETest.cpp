// Crawler verification through the real executable and the host's resolver,
// where 127.0.0.1 is named localhost (and localhost is 127.0.0.1) and
// 192.0.2.x has no name. Crawlers judged fake: FaultE2ETest.
#include <gtest/gtest.h>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"

namespace {

class BotGuardE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    gate_.dir().write("config/GoodSpiderDomainKey.txt", "localhost\n");
    gate_.dir().write("config/BadUrlKeyWord.txt", "passwd\n");
    gate_.writeConfig({{"features", {{"enable_dynamic_shield", false}}}});
    gate_.start();
  }

  std::string fakeLine(const std::string& ip) const {
    return "[BotGuard] FAKE BOT DETECTED: " + ip + " -> Blocked immediately!\n";
  }

  GateProcess gate_;
};

TEST_F(BotGuardE2ETest, CrawlerNamedAfterAKeyThatResolvesBackIsAlwaysAllowed) {
  EXPECT_EQ(HttpExchange::check(gate_.port(), "127.0.0.1", "/", "bot").body,
            "OK");
  ASSERT_TRUE(gate_.waitForOut("[BotGuard] VERIFIED VALID BOT: 127.0.0.1\n"));
  EXPECT_EQ(gate_.dir().read("config/GoodIPs.txt"), "127.0.0.1\n");
  // Past every screen now, a URL keyword included.
  EXPECT_EQ(HttpExchange::check(gate_.port(), "127.0.0.1", "/etc/passwd").body,
            "OK");
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "");
}

TEST_F(BotGuardE2ETest, RouteQueuesOnlyTheLowerCaseWords) {
  const int port = gate_.port();
  HttpExchange::check(port, "192.0.2.2", "/", "SomeBot/1.0");
  HttpExchange::check(port, "192.0.2.3", "/", "SPIDER");
  HttpExchange::check(port, "192.0.2.4", "/", "a spider");
  // Jobs run in arrival order: had the first two been queued, their verdicts
  // would already be out.
  ASSERT_TRUE(gate_.waitForOut(fakeLine("192.0.2.4")));
  EXPECT_EQ(gate_.out().find(fakeLine("192.0.2.2")), std::string::npos);
  EXPECT_EQ(gate_.out().find(fakeLine("192.0.2.3")), std::string::npos);
  EXPECT_EQ(HttpExchange::check(port, "192.0.2.2").body, "OK");
}

}  // namespace
