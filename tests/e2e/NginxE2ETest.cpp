// The gate behind Debian's nginx, wired as deploy/nginx tells users: nginx
// asks the gate about every request with auth_request and forwards the
// client's address, URI and user agent.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/NginxProcess.h"

namespace {

constexpr char kBrowser[] = "Mozilla/5.0 (X11; Linux x86_64) Firefox/120.0";

class NginxE2ETest : public ::testing::Test {
 protected:
  // Lists of the gate's configuration directory must be written before.
  void startBoth() {
    gate_.writeConfig();
    gate_.start();
    nginx_.start();
  }

  // A client request to the site from 127.0.0.1.
  HttpAnswer visit(const std::string& target,
                   const std::string& userAgent = kBrowser) {
    return HttpExchange::ask(nginx_.port(),
                             "GET " + target + " HTTP/1.1\r\nHost: site\r\n" +
                                 "User-Agent: " + userAgent +
                                 "\r\nConnection: close\r\n\r\n");
  }

  GateProcess gate_;
  NginxProcess nginx_{gate_.port()};
};

TEST_F(NginxE2ETest, AllowedRequestGetsThePageAndTheGateSeesTheClient) {
  startBoth();
  const HttpAnswer answer = visit("/?q=1");
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, NginxProcess::kPage);
  // The three facts arrived: the client's address, its request URI and its
  // user agent.
  EXPECT_TRUE(gate_.waitForOut(" IP:127.0.0.1 URL:/?q=1\n"));
  EXPECT_NE(gate_.decisionLog().find(
                std::string(" IP: 127.0.0.1 [OK] 200 User-Agent: ") + kBrowser +
                "\n"),
            std::string::npos);
  EXPECT_EQ(gate_.err(), "");
}

TEST_F(NginxE2ETest, UrlKeywordIsRefusedByNginxAndTheAddressThenBlocked) {
  gate_.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
  startBoth();
  const HttpAnswer refused = visit("/wp-login.php");
  EXPECT_EQ(refused.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_NE(refused.header("Server").value_or("").find("nginx"),
            std::string::npos);
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "127.0.0.1\n");

  EXPECT_EQ(visit("/").status, 401);
}

TEST_F(NginxE2ETest, CrawlerFromLoopbackIsVerified) {
  gate_.dir().write("config/GoodSpiderDomainKey.txt", "localhost\n");
  startBoth();
  EXPECT_EQ(visit("/", "Mozilla/5.0 (compatible; Googlebot/2.1)").status, 200);
  EXPECT_TRUE(gate_.waitForFile("config/GoodIPs.txt", "127.0.0.1\n"));
}

TEST(NginxDeployTest, ReadmeShowsTheDeployedCheckLocation) {
  std::ifstream readmeFile(std::string(QV_TESTS_DIR) + "/../README.md");
  std::ostringstream readme;
  readme << readmeFile.rdbuf();
  std::istringstream location(NginxProcess::deployedCheckLocation());
  std::string line;
  int directives = 0;
  while (std::getline(location, line)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line[start] == '#') continue;
    EXPECT_NE(readme.str().find(line), std::string::npos) << line;
    ++directives;
  }
  EXPECT_GE(directives, 8);
}

}  // namespace
