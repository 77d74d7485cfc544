#include "support/GateProcess.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "support/HttpExchange.h"
#include "support/TextLines.h"

extern char** environ;

GateProcess::GateProcess() : dir_(/*enter=*/false), port_(freePort()) {
  for (const char* list :
       {"NotAllowed.txt", "BadIPs.txt", "ForeignIps.txt", "BadUrlKeyWord.txt",
        "GoodIPs.txt", "GoodSpiderDomainKey.txt"}) {
    dir_.write(std::string("config/") + list, "");
  }
}

GateProcess::~GateProcess() { stop(); }

int GateProcess::freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  socklen_t length = sizeof(address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

void GateProcess::writeConfig(const nlohmann::json& overrides) const {
  nlohmann::json config = {
      {"server", {{"host", "127.0.0.1"}, {"port", port_}}},
      {"features",
       {{"enable_dynamic_shield", true},
        {"enable_firewall_sync", false},
        {"enable_console_log", true}}},
      {"shield",
       {{"score_threshold", 100},
        {"limit_qps", 10},
        {"limit_burst_1min", 300}}},
      {"firewall", {{"sync_interval_seconds", 10}, {"strategy_name", "QV"}}}};
  config.merge_patch(overrides);
  dir_.write("config.json", config.dump(2));
}

void GateProcess::setEnv(const std::string& name, const std::string& value) {
  env_[name] = value;
}

void GateProcess::prependPath(const std::string& directory) {
  const char* path = getenv("PATH");
  const std::string current =
      env_.count("PATH") ? env_["PATH"] : (path ? path : "");
  env_["PATH"] = directory + ":" + current;
}

void GateProcess::useStandInNetsh() {
  prependPath(std::string(QV_TESTS_DIR) + "/firewall/fake-bin");
  setEnv("QV_NETSH_LOG", (dir_.path() / "netsh.log").string());
  setEnv("QV_NETSH_STATE", (dir_.path() / "rules").string());
  dir_.write("rules/.keep", "");
}

void GateProcess::runUnprivileged() {
  unprivileged_ = true;
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
}

bool GateProcess::unprivilegedCanRun() {
  const pid_t child = fork();
  if (child == 0) {
    _exit(ChildProcess::dropToNobody() && access(QV_APP_PATH, X_OK) == 0 ? 0
                                                                         : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void GateProcess::start(bool waitUntilServing) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    if (!env_.count(text.substr(0, text.find('='))))
      environment.push_back(text);
  }
  for (const auto& [name, value] : env_)
    environment.push_back(name + "=" + value);
  process_.start({QV_APP_PATH}, environment, dir_.path().string(),
                 (dir_.path() / "stdout.log").string(),
                 (dir_.path() / "stderr.log").string(), unprivileged_);
  if (waitUntilServing &&
      !ChildProcess::pollUntil(10000, [this] { return accepts(); })) {
    throw std::runtime_error("the gate did not start serving; stderr: " +
                             err());
  }
}

bool GateProcess::accepts() const { return HttpExchange::canConnect(port_); }

int GateProcess::waitForExit(int timeoutMs) {
  return process_.waitForExit(timeoutMs);
}

// A sanitizer report in the gate's own process fails the test that ran it.
void GateProcess::expectNoSanitizerReport() const {
  const std::string errors = err();
  for (const char* marker :
       {"WARNING: ThreadSanitizer", "ERROR: AddressSanitizer",
        "runtime error:", "ERROR: LeakSanitizer"}) {
    EXPECT_EQ(errors.find(marker), std::string::npos) << errors;
  }
}

void GateProcess::stop() {
  if (!process_.running()) return;
  expectNoSanitizerReport();
  process_.stop();
}

std::string GateProcess::decisionLog() const {
  return decisionLogOf(dir_.path());
}

bool GateProcess::waitForFile(const std::string& file,
                              const std::string& needle, int timeoutMs) const {
  return ChildProcess::pollUntil(timeoutMs, [&] {
    return dir_.read(file).find(needle) != std::string::npos;
  });
}

bool GateProcess::waitForOut(const std::string& needle, int timeoutMs) const {
  return waitForFile("stdout.log", needle, timeoutMs);
}

bool GateProcess::waitForErr(const std::string& needle, int timeoutMs) const {
  return waitForFile("stderr.log", needle, timeoutMs);
}
