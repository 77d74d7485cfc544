// Start-up as a user sees it: the banner and a port that is already taken.
// The settings fallback: SettingsFileE2ETest.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/GateProcess.h"

namespace {

std::string banner(const std::string& listening, const char* shield,
                   const char* firewall) {
  const std::string rule(50, '-');
  return rule + "\n Quorvantel V2.1 Running...\n Listening on  : " + listening +
         "\n Dynamic Shield: " + shield + "\n Firewall Sync : " + firewall +
         "\n" + rule + "\n";
}

TEST(StartupE2ETest, BannerClosesTheStartUpOutput) {
  GateProcess gate;
  gate.writeConfig({{"features", {{"enable_dynamic_shield", false}}}});
  gate.start();
  const std::string expected =
      banner("127.0.0.1:" + std::to_string(gate.port()), "OFF", "OFF");
  const std::string out = gate.out();
  ASSERT_GE(out.size(), expected.size());
  EXPECT_EQ(out.substr(out.size() - expected.size()), expected);
  EXPECT_EQ(gate.err(), "");
}

TEST(StartupE2ETest, PortInUsePrintsTheBannerAndExitsWithZero) {
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(
      bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  socklen_t length = sizeof(address);
  getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);

  GateProcess gate;
  gate.writeConfig({{"server", {{"port", port}}}});
  gate.start(/*waitUntilServing=*/false);
  EXPECT_EQ(gate.waitForExit(10000), 0);
  const std::string out = gate.out();
  EXPECT_NE(out.find(banner("127.0.0.1:" + std::to_string(port), "ON", "OFF")),
            std::string::npos);
  close(holder);
}

TEST(StartupE2ETest, SecondGateOnTheSamePortExitsInsteadOfSharingIt) {
  GateProcess first;
  first.writeConfig();
  first.start();

  GateProcess second;
  second.writeConfig({{"server", {{"port", first.port()}}}});
  second.start(/*waitUntilServing=*/false);
  EXPECT_EQ(second.waitForExit(10000), 0);
  EXPECT_NE(second.out().find(" Listening on  : 127.0.0.1:"),
            std::string::npos);
}

}  // namespace
