#include "support/NginxProcess.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"

namespace {

constexpr char kNginx[] = "/usr/sbin/nginx";
constexpr char kDeployedGateAddress[] = "127.0.0.1:5000";

}  // namespace

NginxProcess::NginxProcess(int gatePort)
    : dir_(/*enter=*/false), port_(GateProcess::freePort()) {
  std::string location = deployedCheckLocation();
  const size_t address = location.find(kDeployedGateAddress);
  if (address == std::string::npos) {
    throw std::runtime_error("the deployed /check location names no gate");
  }
  location.replace(address, sizeof kDeployedGateAddress - 1,
                   "127.0.0.1:" + std::to_string(gatePort));
  dir_.write("quorvantel-check.conf", location);
  dir_.write("www/index.html", kPage);
  dir_.write("nginx.conf",
             config((dir_.path() / "quorvantel-check.conf").string()));
}

std::string NginxProcess::deployedCheckLocation() {
  std::ifstream in(std::string(QV_TESTS_DIR) +
                   "/../deploy/nginx/quorvantel-check.conf");
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Workers run as root when the tests do (as in CI), since the temporary
// directory is open to its owner only; otherwise nginx ignores the line.
std::string NginxProcess::config(const std::string& checkLocationPath) const {
  const std::string dir = dir_.path().string();
  std::string config = "daemon off;\nworker_processes 1;\n";
  if (geteuid() == 0) config += "user root;\n";
  config += "pid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log;\n";
  config += "events { worker_connections 64; }\nhttp {\n";
  config += "  access_log " + dir + "/access.log;\n";
  for (const char* kind :
       {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    config += std::string("  ") + kind + "_temp_path " + dir + "/" + kind +
              "_temp;\n";
  }
  config += "  server {\n    listen 127.0.0.1:" + std::to_string(port_) +
            ";\n    root " + dir + "/www;\n";
  config += "    location / { auth_request /check; }\n";
  config += "    include " + checkLocationPath + ";\n  }\n}\n";
  return config;
}

void NginxProcess::start() {
  const std::string dir = dir_.path().string();
  process_.start({kNginx, "-p", dir, "-c", dir + "/nginx.conf"}, {}, dir,
                 dir + "/stdout.log", dir + "/stderr.log");
  if (!ChildProcess::pollUntil(
          10000, [this] { return HttpExchange::canConnect(port_); })) {
    throw std::runtime_error("nginx did not start serving; stderr: " +
                             dir_.read("stderr.log") + errorLog());
  }
}
