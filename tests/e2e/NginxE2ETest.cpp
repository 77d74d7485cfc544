// The gate behind Debian's nginx, wired with deploy/nginx as users are told
// to: the client's address, URI and user agent must reach the gate, and its
// refusal must reach the client.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/GateProcess.h"

namespace {

std::string deployedCheckLocation(int gatePort) {
  std::ifstream in(std::string(QV_TESTS_DIR) +
                   "/../deploy/nginx/quorvantel-check.conf");
  std::stringstream text;
  text << in.rdbuf();
  std::string location = text.str();
  const std::string deployed = "127.0.0.1:5000";
  location.replace(location.find(deployed), deployed.size(),
                   "127.0.0.1:" + std::to_string(gatePort));
  return location;
}

TEST(NginxE2ETest, ClientFactsReachTheGateAndItsRefusalReachesTheClient) {
  GateProcess gate;
  gate.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
  gate.writeConfig({{"features", {{"enable_dynamic_shield", false}}}});
  gate.start();

  TempWorkDir site(/*enter=*/false);
  const std::string dir = site.path().string();
  const int port = GateProcess::freePort();
  site.write("check.conf", deployedCheckLocation(gate.port()));
  site.write("www/index.html", "page");
  std::string conf = "daemon off;\nerror_log " + dir + "/error.log;\npid " +
                     dir + "/nginx.pid;\n";
  if (geteuid() == 0) conf += "user root;\n";  // the directory is owner-only
  conf += "events {}\nhttp {\n access_log off;\n";
  for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    conf += std::string(" ") + kind + "_temp_path " + dir + "/" + kind + ";\n";
  conf += " server {\n  listen 127.0.0.1:" + std::to_string(port) +
          ";\n  root " + dir +
          "/www;\n  location / { auth_request /check; }\n" + "  include " +
          dir + "/check.conf;\n }\n}\n";
  site.write("nginx.conf", conf);
  const pid_t nginx = GateProcess::spawn(
      {"/usr/sbin/nginx", "-p", dir, "-c", dir + "/nginx.conf"}, dir, "");
  ASSERT_TRUE(GateProcess::pollUntil([&] {
    return GateProcess::canConnect(port);
  })) << site.read("stderr.log")
      << site.read("error.log");

  auto visit = [&](const std::string& target) {
    return GateProcess::exchange(port, "GET " + target +
                                           " HTTP/1.1\r\nHost: site\r\n"
                                           "User-Agent: Firefox/120\r\n\r\n");
  };
  EXPECT_EQ(bodyOf(visit("/?q=1")), "page");
  EXPECT_NE(gate.decisionLog().find(" IP: 127.0.0.1 [OK] 200 User-Agent: "
                                    "Firefox/120\n"),
            std::string::npos);
  EXPECT_TRUE(gate.waitFor("stdout.log", " IP:127.0.0.1 URL:/?q=1\n"));
  EXPECT_EQ(visit("/wp-login.php").substr(0, 12), "HTTP/1.1 401");
  EXPECT_EQ(gate.dir().read("config/BadIPs.txt"), "127.0.0.1\n");
  EXPECT_EQ(visit("/").substr(0, 12), "HTTP/1.1 401");
  kill(nginx, SIGTERM);
  waitpid(nginx, nullptr, 0);
}

}  // namespace
