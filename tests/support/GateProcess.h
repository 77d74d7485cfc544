// GateProcess: the real QuorvantelApp, started in a fresh temporary working
// directory on a free loopback port, with its standard output and standard
// error captured to files of that directory. Stopped by its process id when
// the object ends.
#ifndef QUORVANTEL_TESTS_SUPPORT_GATEPROCESS_H_
#define QUORVANTEL_TESTS_SUPPORT_GATEPROCESS_H_

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempWorkDir.h"

class GateProcess {
 public:
  // The working directory starts with a "config" directory of empty lists.
  GateProcess();
  ~GateProcess();
  GateProcess(const GateProcess&) = delete;
  GateProcess& operator=(const GateProcess&) = delete;

  // The working directory; write "config/..." lists into it before start().
  const TempWorkDir& dir() const { return dir_; }
  int port() const { return port_; }

  // A config.json on this port with firewall synchronisation off (rules
  // named "QV_<n>", a 10 s cycle when switched on), the other switches on and
  // default limits; `overrides` is merged over it.
  void writeConfig(
      const nlohmann::json& overrides = nlohmann::json::object()) const;
  // Sets an environment variable of the gate; PATH entries are prepended.
  void setEnv(const std::string& name, const std::string& value);
  void prependPath(const std::string& directory);
  // Puts the tests' stand-in netsh first on PATH, recording its calls in
  // "netsh.log" and keeping its rules under "rules/".
  void useStandInNetsh();
  // Runs the gate as the unprivileged user "nobody" when the tests run as
  // root, so that permission bits bind it; the working directory is opened
  // to everyone for that.
  void runUnprivileged();
  // Whether "nobody" may run the gate's executable where it was built.
  static bool unprivilegedCanRun();

  // Starts the gate; with waitUntilServing, returns once it accepts
  // connections (throws when it does not within a few seconds).
  void start(bool waitUntilServing = true);
  // Waits for the process to end by itself; its exit code, or -1 on timeout.
  int waitForExit(int timeoutMs);
  void stop();

  std::string out() const { return dir_.read("stdout.log"); }
  std::string err() const { return dir_.read("stderr.log"); }
  // Every day's decision log, joined.
  std::string decisionLog() const;
  // Polls standard output, standard error or a file of the working directory
  // until it holds `needle`.
  bool waitForOut(const std::string& needle, int timeoutMs = 5000) const;
  bool waitForErr(const std::string& needle, int timeoutMs = 5000) const;
  bool waitForFile(const std::string& relative, const std::string& needle,
                   int timeoutMs = 5000) const;

  static int freePort();

 private:
  bool accepts() const;
  void expectNoSanitizerReport() const;

  TempWorkDir dir_;
  int port_;
  ChildProcess process_;
  bool unprivileged_ = false;
  std::map<std::string, std::string> env_;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_GATEPROCESS_H_
