// Static screening through the route: URL keywords, the blacklist, denied
// user agents and the decision log, as the front server sees them.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/TextLines.h"

namespace fs = std::filesystem;

namespace {

// GBK bytes of the decision-log tags.
const std::string kUrlTag = "[Block-URL\xd7\xe8\xd6\xb9] 401";
const std::string kAgentTag =
    "[\xb7\xc7\xb7\xa8"
    "Agent\xd7\xe8\xd6\xb9] 401";

void expectRefused(const HttpAnswer& answer) {
  EXPECT_EQ(answer.status, 401);
  EXPECT_EQ(answer.body, "Blocked By Error Handler");
}

class ScreeningE2ETest : public ::testing::Test {
 protected:
  void start(bool consoleLog) {
    gate_.dir().write("config/BadUrlKeyWord.txt", "wp-login\nadmin\n");
    gate_.dir().write("config/NotAllowed.txt", "curl\n");
    gate_.writeConfig({{"features",
                        {{"enable_console_log", consoleLog},
                         {"enable_dynamic_shield", false}}}});
    gate_.start();
  }

  HttpAnswer check(const std::string& ip, const std::string& uri,
                   const std::string& userAgent = "Mozilla/5.0") {
    return HttpExchange::check(gate_.port(), ip, uri, userAgent);
  }

  GateProcess gate_;
};

TEST_F(ScreeningE2ETest, KeywordHitBlacklistsTheAddressOnce) {
  start(/*consoleLog=*/true);
  expectRefused(check("10.0.0.7", "/WP-LOGIN.php"));
  expectRefused(check("10.0.0.7", "/admin"));       // second hit: no new append
  expectRefused(check("10.0.0.7", "/index.html"));  // blacklist stage
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "10.0.0.7\n");
  const std::string log = gate_.decisionLog();
  EXPECT_EQ(
      countOf(log, " IP: 10.0.0.7 " + kUrlTag + " User-Agent: Mozilla/5.0\n"),
      2u);
  EXPECT_EQ(countOf(log, "10.0.0.7"),
            2u);  // the blacklist refusal logs nothing
  EXPECT_EQ(countOf(gate_.out(),
                    "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.7"
                    " containing URLkeyword: wp-login\n"),
            1u);
  EXPECT_EQ(check("10.0.0.8", "/index.html").body, "OK");
}

TEST_F(ScreeningE2ETest, DeniedUserAgentIsRefusedWithItsTag) {
  start(/*consoleLog=*/false);
  expectRefused(check("10.0.0.9", "/", "Curly/1.0"));
  EXPECT_NE(gate_.decisionLog().find(" IP: 10.0.0.9 " + kAgentTag +
                                     " User-Agent: Curly/1.0\n"),
            std::string::npos);
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "");
}

TEST_F(ScreeningE2ETest, AllowedRequestsAreLoggedOnlyWithConsoleLogging) {
  start(/*consoleLog=*/true);
  EXPECT_EQ(check("10.0.0.1", "/a?b=c").body, "OK");
  EXPECT_NE(gate_.decisionLog().find(
                " IP: 10.0.0.1 [OK] 200 User-Agent: Mozilla/5.0\n"),
            std::string::npos);
  EXPECT_NE(gate_.out().find(
                "[\xb5\xb1\xc7\xb0\xc7\xeb\xc7\xf3] IP:10.0.0.1 URL:/a?b=c\n"),
            std::string::npos);

  GateProcess quiet;
  quiet.writeConfig({{"features", {{"enable_console_log", false}}}});
  quiet.start();
  EXPECT_EQ(HttpExchange::check(quiet.port(), "10.0.0.1").body, "OK");
  EXPECT_EQ(quiet.decisionLog(), "");
  EXPECT_EQ(quiet.out().find("IP:10.0.0.1"), std::string::npos);
}

TEST_F(ScreeningE2ETest, ExceptionInTheStagesIsAnsweredWithTheRefusal) {
  start(/*consoleLog=*/true);
  // A symbolic link loop: testing "logs" for existence fails with an error
  // other than not-found, every time.
  fs::create_directory_symlink("logs", gate_.dir().path() / "logs");
  expectRefused(check("10.0.0.3", "/"));
  EXPECT_TRUE(gate_.waitForErr("[Error-Handler] 401 for IP: 10.0.0.3\n"));
  EXPECT_NE(gate_.err().find("Exception: "), std::string::npos);
  // The gate keeps serving once "logs" is sound again.
  fs::remove(gate_.dir().path() / "logs");
  EXPECT_EQ(check("10.0.0.3", "/").body, "OK");
  EXPECT_NE(gate_.decisionLog().find("10.0.0.3 [OK] 200"), std::string::npos);
}

}  // namespace
