// ChildProcess: a program that a test runs as a child process, in a working
// directory of its choice with its standard output and standard error sent to
// files. Stopped by its process id when the object ends.
#ifndef QUORVANTEL_TESTS_SUPPORT_CHILDPROCESS_H_
#define QUORVANTEL_TESTS_SUPPORT_CHILDPROCESS_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs argv[0] (a path) with `argv` and the environment `environment`
  // ("NAME=value" entries) in `workDir`; with `unprivileged`, as "nobody"
  // when the tests run as root.
  void start(const std::vector<std::string>& argv,
             const std::vector<std::string>& environment,
             const std::string& workDir, const std::string& outPath,
             const std::string& errPath, bool unprivileged = false);
  // Waits for the process to end by itself; its exit code (128 + signal when
  // a signal ended it), or -1 on timeout.
  int waitForExit(int timeoutMs);
  bool running() const { return pid_ > 0; }
  // SIGTERM, then SIGKILL when it has not ended within five seconds.
  void stop();

  // Calls done every 10 ms until it answers true (then true) or timeoutMs
  // passes (then false).
  static bool pollUntil(int timeoutMs, const std::function<bool()>& done);

  // Becomes "nobody" when running as root; true otherwise. Only
  // async-signal-safe calls, so a forked child may call it before exec.
  static bool dropToNobody();

 private:
  pid_t pid_ = -1;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_CHILDPROCESS_H_
