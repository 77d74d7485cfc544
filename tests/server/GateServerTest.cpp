#include "server/GateServer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reads the library settings that the gate sets, which the library keeps in
// protected members.
class InspectedServer : public GateServer {
 public:
  using GateServer::keep_alive_max_count_;
  using GateServer::keep_alive_timeout_sec_;
  using GateServer::read_timeout_sec_;
  using GateServer::svr_sock_;
  using GateServer::write_timeout_sec_;
};

int configuredOption(int level, int name) {
  int sock = socket(AF_INET, SOCK_STREAM, 0);
  GateServer::configureSocket(sock);
  int value = -1;
  socklen_t length = sizeof(value);
  getsockopt(sock, level, name, &value, &length);
  close(sock);
  return value;
}

TEST(GateServerTest, SetsTheLibrarySettingsTheGateReliesOn) {
  InspectedServer server;
  EXPECT_EQ(server.keep_alive_max_count_, 100u);
  EXPECT_EQ(server.keep_alive_timeout_sec_, 5);
  EXPECT_EQ(server.read_timeout_sec_, 5);
  EXPECT_EQ(server.write_timeout_sec_, 5);
  EXPECT_GE(GateServer::workerThreadCount(), 8u);
}

TEST(GateServerTest, ListeningSocketIsExclusiveAndSendsWithoutDelay) {
  EXPECT_EQ(configuredOption(SOL_SOCKET, SO_REUSEADDR), 1);
  EXPECT_EQ(configuredOption(SOL_SOCKET, SO_REUSEPORT), 0);
  EXPECT_EQ(configuredOption(IPPROTO_TCP, TCP_NODELAY), 1);
}

// Linux reports a listening socket's backlog in tcpi_sacked.
TEST(GateServerTest, ListensWithABacklogThatHoldsABurstOfConnections) {
  InspectedServer server;
  ASSERT_TRUE(server.bindWithLargeBacklog("127.0.0.1", 0));
  tcp_info info{};
  socklen_t length = sizeof(info);
  EXPECT_EQ(getsockopt(server.svr_sock_, IPPROTO_TCP, TCP_INFO, &info, &length),
            0);
  EXPECT_GE(info.tcpi_sacked, 128u);
  close(server.svr_sock_);  // never served, so the library keeps it open
}

}  // namespace
