// The gate behind Debian's nginx, wired with deploy/nginx as users are told
// to: the client's address, URI and user agent must reach the gate, and its
// refusal must reach the client.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "support/GateProcess.h"

namespace {

TEST(NginxE2ETest, ClientFactsReachTheGateAndItsRefusalReachesTheClient) {
  GateProcess gate;
  gate.dir().write("config/BadUrlKeyWord.txt", "wp-login\n");
  gate.writeConfig();
  gate.start();

  std::ifstream deployed(QV_TESTS_DIR "/../deploy/nginx/quorvantel-check.conf");
  std::string check{std::istreambuf_iterator<char>(deployed), {}};
  check.replace(check.find(":5000"), 5, ":" + std::to_string(gate.port()));
  TempWorkDir site(/*enter=*/false);
  const std::string dir = site.path().string();
  const int port = GateProcess::freePort();
  site.write("www/index.html", "page");
  std::string conf = std::string(geteuid() == 0 ? "user root;\n" : "") +
                     "daemon off;\nerror_log " + dir + "/error.log;\npid " +
                     dir + "/nginx.pid;\nevents {}\nhttp {\naccess_log off;\n";
  for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    conf += std::string(kind) + "_temp_path " + dir + "/" + kind + ";\n";
  site.write("nginx.conf", conf + "server {\nlisten 127.0.0.1:" +
                               std::to_string(port) + ";\nroot " + dir +
                               "/www;\nlocation / { auth_request /check; }\n" +
                               check + "}\n}\n");
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
  kill(nginx, SIGTERM);
  waitpid(nginx, nullptr, 0);
}

}  // namespace
