#include "support/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::dropToNobody() {
  constexpr uid_t kNobody = 65534;
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 &&
         setuid(kNobody) == 0;
}

void ChildProcess::start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment,
                         const std::string& workDir, const std::string& outPath,
                         const std::string& errPath, bool unprivileged) {
  std::vector<std::string> args = argv;
  std::vector<std::string> env = environment;
  std::vector<char*> argp = pointersTo(args);
  std::vector<char*> envp = pointersTo(env);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (chdir(workDir.c_str()) != 0) _exit(126);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (unprivileged && !dropToNobody()) _exit(125);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
}

bool ChildProcess::pollUntil(int timeoutMs, const std::function<bool()>& done) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

int ChildProcess::waitForExit(int timeoutMs) {
  int status = 0;
  const bool ended = pollUntil(
      timeoutMs, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
  if (!ended) return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ChildProcess::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (waitForExit(5000) < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}
