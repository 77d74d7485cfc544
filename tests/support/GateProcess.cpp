#include "support/GateProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/HttpExchange.h"

#include <gtest/gtest.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;

// In the child, before exec: only async-signal-safe calls.
bool dropToNobody() {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 &&
         setuid(kNobody) == 0;
}

bool pollUntil(int timeoutMs, const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

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
  nlohmann::json config = {{"server", {{"host", "127.0.0.1"}, {"port", port_}}},
                           {"features",
                            {{"enable_dynamic_shield", true},
                             {"enable_firewall_sync", false},
                             {"enable_console_log", true}}},
                           {"shield",
                            {{"score_threshold", 100},
                             {"limit_qps", 10},
                             {"limit_burst_1min", 300}}},
                           {"firewall",
                            {{"sync_interval_seconds", 300},
                             {"strategy_name", "VevAdOrIdo_Block"}}}};
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

void GateProcess::runUnprivileged() {
  unprivileged_ = true;
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
}

bool GateProcess::unprivilegedCanRun() {
  const pid_t child = fork();
  if (child == 0) {
    _exit(dropToNobody() && access(QV_APP_PATH, X_OK) == 0 ? 0 : 1);
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
  std::vector<char*> envp;
  for (auto& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);

  const std::string outPath = (dir_.path() / "stdout.log").string();
  const std::string errPath = (dir_.path() / "stderr.log").string();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (chdir(dir_.path().c_str()) != 0) _exit(126);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (unprivileged_ && !dropToNobody()) _exit(125);
    char* argv[] = {const_cast<char*>(QV_APP_PATH), nullptr};
    execve(QV_APP_PATH, argv, envp.data());
    _exit(127);
  }
  if (waitUntilServing && !pollUntil(10000, [this] { return accepts(); })) {
    throw std::runtime_error("the gate did not start serving; stderr: " +
                             err());
  }
}

bool GateProcess::accepts() const {
  try {
    HttpExchange probe(port_);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

int GateProcess::waitForExit(int timeoutMs) {
  int status = 0;
  const bool ended = pollUntil(
      timeoutMs, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
  if (!ended) return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
  if (pid_ <= 0) return;
  expectNoSanitizerReport();
  kill(pid_, SIGTERM);
  if (waitForExit(5000) < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

bool GateProcess::waitFor(const std::string& file, const std::string& needle,
                          int timeoutMs) const {
  return pollUntil(timeoutMs, [&] {
    return dir_.read(file).find(needle) != std::string::npos;
  });
}

bool GateProcess::waitForOut(const std::string& needle, int timeoutMs) const {
  return waitFor("stdout.log", needle, timeoutMs);
}

bool GateProcess::waitForErr(const std::string& needle, int timeoutMs) const {
  return waitFor("stderr.log", needle, timeoutMs);
}
