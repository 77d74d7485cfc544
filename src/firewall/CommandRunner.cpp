#include "firewall/CommandRunner.h"

#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kNotStarted = -1;
constexpr int kSignalStatusBase = 128;

int statusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return kSignalStatusBase + WTERMSIG(waitStatus);
  return kNotStarted;
}

}  // namespace

std::vector<std::string> CommandRunner::split(const std::string& commandLine) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

int CommandRunner::run(const std::vector<std::string>& argv) {
  if (argv.empty()) return kNotStarted;
  std::vector<char*> rawArgv;
  for (const std::string& arg : argv) {
    rawArgv.push_back(const_cast<char*>(arg.c_str()));
  }
  rawArgv.push_back(nullptr);

  pid_t pid;
  if (posix_spawnp(&pid, rawArgv[0], nullptr, nullptr, rawArgv.data(),
                   environ) != 0) {
    return kNotStarted;
  }
  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) == -1) {
    if (errno != EINTR) return kNotStarted;
  }
  return statusOf(waitStatus);
}

int CommandRunner::runCommandLine(const std::string& commandLine) {
  return run(split(commandLine));
}
