// Clients that break the protocol on purpose, over raw sockets: idle and
// half-sent connections, lines over the library's limits, malformed headers.
// The gate answers each with one of its two answers or closes it, and keeps
// answering everybody else meanwhile.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "server/GateServer.h"
#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/TextLines.h"

namespace {

constexpr int kReadTimeOutMs = 5000;
// Well past the read time-out, for waits that expect it to pass.
constexpr int kAfterReadTimeOutMs = 3 * kReadTimeOutMs;

void expectRefused(const HttpAnswer& answer) {
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(answer.body, "Blocked By Error Handler");
}

class HostileClientE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    gate_.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
    gate_.writeConfig({{"features", {{"enable_dynamic_shield", false}}}});
    gate_.start();
  }

  // Sends complete requests on fresh connections; each must be allowed.
  void expectOthersServed(int count) {
    for (int i = 0; i < count; ++i) {
      const HttpAnswer answer = HttpExchange::check(
          gate_.port(), "203.0.113." + std::to_string(i + 1));
      ASSERT_EQ(answer.body, "OK") << "request " << i;
    }
  }

  GateProcess gate_;
};

TEST_F(HostileClientE2ETest, IdleConnectionsLeaveNobodyWithoutAWorker) {
  // Twice as many silent connections as the gate has workers at first.
  std::vector<std::unique_ptr<HttpExchange>> idle;
  for (size_t i = 0; i < 2 * GateServer::workerThreadCount(); ++i)
    idle.push_back(std::make_unique<HttpExchange>(gate_.port()));
  expectOthersServed(1);
  // Served while every idle connection still waits for its time-out, not
  // once a time-out had freed a worker.
  for (const auto& connection : idle) EXPECT_FALSE(connection->closedByPeer(0));
  expectOthersServed(20);
}

TEST_F(HostileClientE2ETest, HalfSentRequestsAreClosedAfterTheReadTimeOut) {
  HttpExchange halfLine(gate_.port());
  halfLine.send("GET /check HTT");
  HttpExchange halfHeaders(gate_.port());
  halfHeaders.send("GET /check HTTP/1.1\r\nX-Real-IP: 198.51.100.9\r\n");
  expectOthersServed(10);

  // No request line: closed without a byte of answer.
  EXPECT_TRUE(halfLine.closedByPeer(kAfterReadTimeOutMs));
  // Headers cut short: this library version answers the time-out like a
  // malformed header, with the one refusal, and closes.
  const std::optional<HttpAnswer> answer =
      halfHeaders.receive(/*head=*/false, kAfterReadTimeOutMs);
  ASSERT_TRUE(answer);
  expectRefused(*answer);
  EXPECT_TRUE(halfHeaders.closedByPeer(kAfterReadTimeOutMs));
  // The route never ran for either.
  EXPECT_EQ(gate_.decisionLog().find("198.51.100.9"), std::string::npos);
  expectOthersServed(1);
}

TEST_F(HostileClientE2ETest, LinesOverTheLibraryLimitsAreRefusedUnrouted) {
  const std::string longTarget = "/check?" + std::string(9000, 'a');
  expectRefused(HttpExchange::ask(gate_.port(),
                                  "GET " + longTarget +
                                      " HTTP/1.1\r\nX-Real-IP: 198.51.100.1\r\n"
                                      "X-Original-URI: /wp-login\r\n\r\n"));
  expectRefused(
      HttpExchange::ask(gate_.port(),
                        "GET /check HTTP/1.1\r\nX-Real-IP: 198.51.100.2\r\n"
                        "X-Original-URI: /wp-login\r\nX-Pad: " +
                            std::string(9000, 'b') + "\r\n\r\n"));
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), "");
  EXPECT_EQ(gate_.decisionLog(), "");
  expectOthersServed(1);
}

TEST_F(HostileClientE2ETest, ValuesOfEightKilobytesStayWholeLines) {
  const std::string longIp = "198.51.100." + std::string(8000, '7');
  const std::string longAgent = "Mozilla/5.0 " + std::string(8000, 'x');
  expectRefused(HttpExchange::check(gate_.port(), longIp, "/wp-login"));
  EXPECT_EQ(
      HttpExchange::check(gate_.port(), "203.0.113.9", "/", longAgent).body,
      "OK");
  EXPECT_EQ(gate_.dir().read("config/BadIPs.txt"), longIp + "\n");
  const std::vector<std::string> lines = splitLines(gate_.decisionLog());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" IP: " + longIp + " "), std::string::npos);
  EXPECT_NE(lines[1].find(" User-Agent: " + longAgent), std::string::npos);
}

TEST_F(HostileClientE2ETest, MalformedHeaderLinesNeverBecomeFacts) {
  // This library version skips a header line without a colon, or one ended
  // by a bare line feed, instead of refusing the request: neither may carry
  // the address.
  const HttpAnswer answer =
      HttpExchange::ask(gate_.port(),
                        "GET /check HTTP/1.1\r\nX-Real-IP 198.51.100.3\r\n"
                        "X-Real-IP: 198.51.100.4\nUser-Agent: ua\r\n\r\n");
  EXPECT_TRUE(answer.body == "OK" || answer.body == "Blocked By Error Handler");
  EXPECT_EQ(gate_.decisionLog().find("198.51.100.3"), std::string::npos);
  EXPECT_EQ(gate_.decisionLog().find("198.51.100.4"), std::string::npos);

  std::string manyHeaders = "GET /check HTTP/1.1\r\nX-Real-IP: 203.0.113.5\r\n";
  for (int i = 0; i < 20000; ++i) manyHeaders += "X-A: b\r\n";
  EXPECT_EQ(HttpExchange::ask(gate_.port(), manyHeaders + "\r\n").body, "OK");
  expectOthersServed(1);
}

}  // namespace
