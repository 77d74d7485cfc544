#include "server/GateServer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class InspectedServer : public GateServer {
 public:
  using GateServer::svr_sock_;
};

// A port another process listens on must fail to bind rather than be shared,
// and answers must not wait for delayed acknowledgements.
TEST(GateServerTest, ListeningSocketIsExclusiveAndSendsWithoutDelay) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  GateServer::configureSocket(sock);
  for (const auto& [level, name, expected] :
       {std::tuple{SOL_SOCKET, SO_REUSEADDR, 1},
        std::tuple{SOL_SOCKET, SO_REUSEPORT, 0},
        std::tuple{IPPROTO_TCP, TCP_NODELAY, 1}}) {
    int value = -1;
    socklen_t length = sizeof value;
    getsockopt(sock, level, name, &value, &length);
    EXPECT_EQ(value, expected) << name;
  }
  close(sock);
}

// The library's backlog of 5 drops bursts of new connections; Linux reports
// a listening socket's backlog in tcpi_sacked.
TEST(GateServerTest, ListensWithABacklogThatHoldsABurstOfConnections) {
  InspectedServer server;
  ASSERT_TRUE(server.bindWithLargeBacklog("127.0.0.1", 0));
  tcp_info info{};
  socklen_t length = sizeof info;
  getsockopt(server.svr_sock_, IPPROTO_TCP, TCP_INFO, &info, &length);
  EXPECT_GE(info.tcpi_sacked, 128u);
  close(server.svr_sock_);  // never served, so the library keeps it open
}

}  // namespace
