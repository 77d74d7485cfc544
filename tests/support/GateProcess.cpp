#include "support/GateProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

GateProcess::GateProcess() : dir_(/*enter=*/false), port_(freePort()) {
  fs::create_directory(dir_.path() / "config");
}

GateProcess::~GateProcess() {
  if (pid_ <= 0) return;
  const std::string errors = err();
  for (const char* report : {"Sanitizer", "runtime error:"})
    EXPECT_EQ(errors.find(report), std::string::npos) << errors;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

void GateProcess::writeConfig(const nlohmann::json& overrides) const {
  nlohmann::json config = {{"server", {{"host", "127.0.0.1"}, {"port", port_}}},
                           {"features", {{"enable_firewall_sync", false}}},
                           {"firewall", {{"strategy_name", "QV"}}}};
  config.merge_patch(overrides);
  dir_.write("config.json", config.dump(2));
}

void GateProcess::start(bool waitUntilServing) {
  const std::string netsh = std::string(QV_TESTS_DIR) + "/firewall/fake-bin";
  pid_ =
      spawn({QV_APP_PATH}, dir_.path().string(), useStandInNetsh_ ? netsh : "");
  if (waitUntilServing && !pollUntil([this] { return canConnect(port_); }))
    throw std::runtime_error("the gate did not start serving: " + err());
}

int GateProcess::waitForExit() {
  int status = 0;
  if (!pollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }))
    return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string GateProcess::decisionLog() const {
  std::set<fs::path> days;
  std::error_code missing;
  for (const auto& entry :
       fs::directory_iterator(dir_.path() / "logs", missing))
    days.insert(entry.path().filename());
  std::string log;
  for (const fs::path& day : days) log += dir_.read("logs" / day);
  return log;
}

bool GateProcess::waitFor(const std::string& file,
                          const std::string& needle) const {
  return pollUntil(
      [&] { return dir_.read(file).find(needle) != std::string::npos; });
}

std::string GateProcess::exchange(int port, const std::string& request) {
  const int fd = connectTo(port);
  if (fd < 0) return "";
  // Asked to close, the server marks the end of its answer by closing.
  const std::string closing =
      request.substr(0, request.size() - 2) + "Connection: close\r\n\r\n";
  send(fd, closing.data(), closing.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
    answer.append(buffer, n);
  close(fd);
  return answer;
}

std::string GateProcess::check(const std::string& ip, const std::string& uri,
                               const std::string& userAgent) const {
  return exchange(port_, "GET /check HTTP/1.1\r\nX-Real-IP: " + ip +
                             "\r\nX-Original-URI: " + uri +
                             "\r\nUser-Agent: " + userAgent + "\r\n\r\n");
}

int GateProcess::connectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const timeval bound{10, 0};  // a gate that hangs fails the test instead
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  sockaddr_in address = loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
    return fd;
  close(fd);
  return -1;
}

int GateProcess::freePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool GateProcess::canConnect(int port) {
  const int fd = connectTo(port);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

bool GateProcess::pollUntil(const std::function<bool()>& done) {
  for (int waited = 0; waited < 10000; waited += 10) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// Everything is prepared before the fork: the child of a threaded process
// may only make system calls. env sets PATH for the program it starts.
pid_t GateProcess::spawn(const std::vector<std::string>& argv,
                         const std::string& dir,
                         const std::string& pathPrefix) {
  const std::string prefix = pathPrefix.empty() ? "" : pathPrefix + ":";
  std::vector<std::string> args = {"/usr/bin/env",
                                   "PATH=" + prefix + getenv("PATH")};
  args.insert(args.end(), argv.begin(), argv.end());
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(127);
  // Without root's rights to pass over file modes, as a service user: a mode
  // a test sets means what it says.
  prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE);
  prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH);
  dup2(open("stdout.log", O_WRONLY | O_CREAT | O_APPEND, 0644), 1);
  dup2(open("stderr.log", O_WRONLY | O_CREAT | O_APPEND, 0644), 2);
  execv(pointers[0], pointers.data());
  _exit(127);
}

std::string bodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}
