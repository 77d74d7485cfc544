// The server around the route, through the real executable: start-up, the
// one refusal for everything else, Range, keep-alive and idle connections.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>

#include "support/GateProcess.h"

namespace {

class ServerE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A denied agent's refusal is logged, and "logs" is a symlink loop: the
    // log fails, and so does the route's log of that failure.
    gate_.dir().write("config/NotAllowed.txt", "curl\n");
    std::filesystem::create_directory_symlink("logs",
                                              gate_.dir().path() / "logs");
    gate_.writeConfig(
        {{"features",
          {{"enable_console_log", false}, {"enable_dynamic_shield", false}}}});
    gate_.start();
  }

  GateProcess gate_;
};

TEST_F(ServerE2ETest, BannerEndsStartUpAndASecondGateOnThePortExits) {
  const std::string rule(50, '-');
  const std::string banner =
      rule + "\n Quorvantel V2.1 Running...\n Listening on  : 127.0.0.1:" +
      std::to_string(gate_.port()) +
      "\n Dynamic Shield: OFF\n Firewall Sync : OFF\n" + rule + "\n";
  const std::string out = gate_.out();
  ASSERT_GE(out.size(), banner.size());
  EXPECT_EQ(out.substr(out.size() - banner.size()), banner);

  // Its settings fail after the port: it warns and carries on to the bind.
  GateProcess second;
  second.writeConfig({{"server", {{"port", gate_.port()}}},
                      {"shield", {{"limit_qps", "10"}}}});
  second.start(/*waitUntilServing=*/false);
  EXPECT_EQ(second.waitForExit(), 0);
  EXPECT_NE(second.err().find(
                "\n[Warning] Config load failed, using default values.\n"),
            std::string::npos);
}

// Other requests, failures, and a Range that the library parses only in part
// or that "OK" cannot satisfy (judged against "OK" itself whatever the client
// accepts), get the error handler's refusal, never cut and naming no
// exception; a satisfiable Range gets the whole answer.
TEST_F(ServerE2ETest, EveryOtherAnswerIsTheWholeRefusal) {
  const std::string refusal =
      "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\n"
      "Content-Length: 24\r\nContent-Type: text/plain\r\n\r\n"
      "Blocked By Error Handler";
  for (const std::string request :
       {"GET / HTTP/1.1\r\nX-Real-IP: 10.0.0.1", "GET /check/ HTTP/1.1",
        "GET /check HTTP/1.1\r\nRange: bytes=5-10",
        "GET /check HTTP/1.1\r\nRange: bytes=0-1,5-10",
        "GET /check HTTP/1.1\r\nAccept-Encoding: gzip\r\nRange: bytes=5-",
        "GET /check HTTP/1.1\r\nRange: bytes=0-1,5-3",
        "GET /check HTTP/1.1\r\nRange: bytes=3-4,1-0",
        "GET /check HTTP/1.1\r\nRange: bytes=100-200,5-3",
        "GET /check HTTP/1.1\r\nRange: bytes=0-1,2-3,5-4",
        "GET /check HTTP/1.1\r\nRange: bytes=-,5-3",
        "GET /check HTTP/1.1\r\nUser-Agent: curl\r\nRange: bytes=0-1"}) {
    EXPECT_EQ(GateProcess::exchange(gate_.port(), request + "\r\n\r\n"),
              refusal)
        << request;
  }
  EXPECT_TRUE(
      gate_.waitFor("stderr.log", "[Error-Handler] 401 for IP: 10.0.0.1\n"));
  EXPECT_TRUE(gate_.waitFor(
      "stderr.log",
      "Exception: filesystem error: status: Too many levels of symbolic "
      "links [logs]\n"));
  // Compressed, the refusal is whole all the same.
  const std::string gzipped =
      GateProcess::exchange(gate_.port(),
                            "GET /check HTTP/1.1\r\nAccept-Encoding: "
                            "gzip\r\nRange: bytes=0-1,5-3\r\n\r\n");
  EXPECT_EQ(gzipped.find("Content-Range"), std::string::npos) << gzipped;
  for (const std::string request :
       {"GET /check?x=1 HTTP/1.1\r\nRange: bytes=0-0",
        "GET /check HTTP/1.1\r\nAccept-Encoding: gzip\r\nRange: bytes=0-1"}) {
    const std::string answer =
        GateProcess::exchange(gate_.port(), request + "\r\n\r\n");
    EXPECT_EQ(answer.find("Content-Encoding"), std::string::npos);
    EXPECT_EQ(answer.substr(0, 15) + bodyOf(answer), "HTTP/1.1 200 OKOK");
  }
}

// Each idle connection holds a worker until it times out after 5 s; the pool
// must grow so that a client is still served well before that.
TEST_F(ServerE2ETest, KeepAliveServesAHundredRequestsPastIdleConnections) {
  std::vector<int> idle;
  for (int i = 0; i < 64; ++i)
    idle.push_back(GateProcess::connectTo(gate_.port()));
  httplib::Client client("127.0.0.1", gate_.port());
  client.set_keep_alive(true);
  client.set_read_timeout(3, 0);
  for (int i = 1; i <= 100; ++i) {
    const auto answer = client.Get("/check");
    ASSERT_TRUE(answer) << i;
    EXPECT_EQ(answer->get_header_value("Connection"), i < 100 ? "" : "close")
        << i;
  }
  for (int fd : idle) close(fd);
}

}  // namespace
