// The two answers on the wire: 200 "OK" and 401 "Blocked By Error Handler",
// whatever the reason for the refusal.
#include <gtest/gtest.h>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"

namespace {

class AnswerE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The shield would rightly refuse one address sending fast.
    gate_.writeConfig(
        {{"features",
          {{"enable_console_log", false}, {"enable_dynamic_shield", false}}}});
    gate_.start();
  }

  void expectRefusal(const HttpAnswer& answer) {
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(answer.header("Content-Type"), "text/plain");
    EXPECT_EQ(answer.body, "Blocked By Error Handler");
    EXPECT_EQ(answer.header("Content-Length"), "24");
    EXPECT_FALSE(answer.header("Content-Encoding"));
  }

  GateProcess gate_;
};

TEST_F(AnswerE2ETest, CheckIsAllowedWithoutAnErrorLine) {
  const HttpAnswer answer = HttpExchange::check(gate_.port(), "10.0.0.1");
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(answer.header("Content-Type"), "text/plain");
  EXPECT_EQ(answer.body, "OK");
  // A query string still reaches the route.
  EXPECT_EQ(
      HttpExchange::ask(gate_.port(), "GET /check?x=1 HTTP/1.1\r\n\r\n").body,
      "OK");
  EXPECT_EQ(gate_.err(), "");
}

TEST_F(AnswerE2ETest, EveryOtherRequestLeavesAsTheOneRefusal) {
  const int port = gate_.port();
  expectRefusal(
      HttpExchange::ask(port, "GET / HTTP/1.1\r\nX-Real-IP: 10.0.0.1\r\n\r\n"));
  expectRefusal(HttpExchange::ask(
      port, "GET /check/ HTTP/1.1\r\nX-Real-IP: 10.0.0.2\r\n\r\n"));
  expectRefusal(HttpExchange::ask(
      port, "GET /Check HTTP/1.1\r\nX-Real-IP: 10.0.0.3\r\n\r\n"));
  expectRefusal(HttpExchange::ask(port,
                                  "POST /check HTTP/1.1\r\nX-Real-IP: "
                                  "10.0.0.4\r\nContent-Length: 0\r\n\r\n"));
  expectRefusal(HttpExchange::ask(port, "NONSENSE\r\n\r\n"));
  ASSERT_TRUE(gate_.waitForErr("[Error-Handler] 401 for IP: \n"));
  EXPECT_EQ(gate_.err(),
            "[Error-Handler] 401 for IP: 10.0.0.1\n"
            "[Error-Handler] 401 for IP: 10.0.0.2\n"
            "[Error-Handler] 401 for IP: 10.0.0.3\n"
            "[Error-Handler] 401 for IP: 10.0.0.4\n"
            "[Error-Handler] 401 for IP: \n");
}

TEST_F(AnswerE2ETest, RangesNeverCutOrBypassTheAnswer) {
  const int port = gate_.port();
  // Beyond the two bytes of "OK": the route allowed it, the wire refuses.
  expectRefusal(
      HttpExchange::ask(port,
                        "GET /check HTTP/1.1\r\nX-Real-IP: 10.0.0.9\r\n"
                        "Range: bytes=5-10\r\n\r\n"));
  expectRefusal(HttpExchange::ask(
      port, "GET /check HTTP/1.1\r\nRange: bytes=0-1,5-10\r\n\r\n"));
  expectRefusal(
      HttpExchange::ask(port, "GET /check HTTP/1.1\r\nRange: junk\r\n\r\n"));
  // Judged against "OK" itself, not its compressed form, whatever the
  // client accepts.
  for (const char* ranged : {"gzip\r\nRange: bytes=5-", "br\r\nRange: bytes=5-",
                             "gzip\r\nRange: bytes=30-"}) {
    expectRefusal(HttpExchange::ask(
        port, std::string("GET /check HTTP/1.1\r\nAccept-Encoding: ") + ranged +
                  "\r\n\r\n"));
  }
  // A refusal is never cut to the requested bytes.
  expectRefusal(
      HttpExchange::ask(port, "GET /x HTTP/1.1\r\nRange: bytes=0-1\r\n\r\n"));
  // A range that "OK" satisfies still gets the whole answer.
  const HttpAnswer whole = HttpExchange::ask(
      port, "GET /check HTTP/1.1\r\nRange: bytes=0-0\r\n\r\n");
  EXPECT_EQ(whole.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(whole.body, "OK");
  const HttpAnswer plain =
      HttpExchange::ask(port,
                        "GET /check HTTP/1.1\r\nAccept-Encoding: "
                        "gzip\r\nRange: bytes=0-1\r\n\r\n");
  EXPECT_EQ(plain.statusLine, "HTTP/1.1 200 OK");
  EXPECT_FALSE(plain.header("Content-Encoding"));
  EXPECT_EQ(plain.body, "OK");
  EXPECT_TRUE(gate_.waitForErr("[Error-Handler] 401 for IP: 10.0.0.9\n"));
}

TEST_F(AnswerE2ETest, HeadGetsTheHeadersOfGetWithoutABody) {
  HttpExchange exchange(gate_.port());
  exchange.send(HttpExchange::checkRequest("10.0.0.1", "/", "ua", "HEAD"));
  auto head = exchange.receive(/*head=*/true);
  ASSERT_TRUE(head);
  exchange.send(HttpExchange::checkRequest("10.0.0.1", "/", "ua"));
  auto get = exchange.receive();
  ASSERT_TRUE(get);
  EXPECT_EQ(head->statusLine, get->statusLine);
  EXPECT_EQ(head->header("Content-Length"), "2");
  EXPECT_EQ(head->header("Content-Type"), get->header("Content-Type"));
  EXPECT_EQ(get->body, "OK");
}

TEST_F(AnswerE2ETest, KeepAliveServesAHundredRequestsPerConnection) {
  HttpExchange exchange(gate_.port());
  for (int i = 1; i <= 100; ++i) {
    exchange.send(HttpExchange::checkRequest("10.0.0.1", "/", "ua"));
    auto answer = exchange.receive();
    ASSERT_TRUE(answer) << "request " << i;
    ASSERT_EQ(answer->body, "OK");
    if (i == 1) {
      EXPECT_EQ(answer->header("Keep-Alive"), "timeout=5, max=100");
    }
    if (i < 100) {
      ASSERT_FALSE(answer->header("Connection")) << "request " << i;
    } else {
      EXPECT_EQ(answer->header("Connection"), "close");
    }
  }
  EXPECT_TRUE(exchange.closedByPeer(2000));
}

}  // namespace
