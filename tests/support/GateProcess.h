// GateProcess: the real QuorvantelApp, started in a fresh temporary working
// directory (with an empty "config" directory) on a free loopback port, its
// standard output and error captured to "stdout.log" and "stderr.log" there.
// Killed when the object ends; a sanitizer report in it fails the test.
#ifndef QUORVANTEL_TESTS_SUPPORT_GATEPROCESS_H_
#define QUORVANTEL_TESTS_SUPPORT_GATEPROCESS_H_

#include <sys/types.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/TempWorkDir.h"

class GateProcess {
 public:
  GateProcess();
  ~GateProcess();
  GateProcess(const GateProcess&) = delete;
  GateProcess& operator=(const GateProcess&) = delete;

  const TempWorkDir& dir() const { return dir_; }
  int port() const { return port_; }

  // A config.json on port() with the firewall off and its rules named
  // "QV_<n>", all else default; `overrides` is merged over it.
  void writeConfig(
      const nlohmann::json& overrides = nlohmann::json::object()) const;
  // The tests' stand-in netsh comes first on PATH; it logs each call's
  // arguments, tab-separated, as one line of "netsh.log".
  void useStandInNetsh() { useStandInNetsh_ = true; }

  // With waitUntilServing, returns once the gate accepts connections.
  void start(bool waitUntilServing = true);
  // The exit code once the gate ends by itself, or -1 after 10 s.
  int waitForExit();

  std::string out() const { return dir_.read("stdout.log"); }
  std::string err() const { return dir_.read("stderr.log"); }
  // Every day's decision log, joined.
  std::string decisionLog() const;
  // Polls a file of the working directory until it holds `needle`.
  bool waitFor(const std::string& file, const std::string& needle) const;

  // The whole answer to one request (ending in an empty line, to which
  // "Connection: close" is added) sent on a fresh connection.
  static std::string exchange(int port, const std::string& request);
  // A GET /check carrying the three facts, answered on a fresh connection.
  std::string check(const std::string& ip, const std::string& uri = "/",
                    const std::string& userAgent = "Mozilla/5.0") const;

  static int freePort();
  // A socket connected to the loopback port, whose reads give up after
  // 10 s; -1 when it does not connect.
  static int connectTo(int port);
  static bool canConnect(int port);
  static bool pollUntil(const std::function<bool()>& done);
  // Starts argv (argv[0] a path) in `dir`, with pathPrefix first on PATH,
  // output to the directory's "stdout.log" and "stderr.log", and file modes
  // binding even for root.
  static pid_t spawn(const std::vector<std::string>& argv,
                     const std::string& dir, const std::string& pathPrefix);

 private:
  TempWorkDir dir_;
  int port_;
  bool useStandInNetsh_ = false;
  pid_t pid_ = -1;
};

// The body of a raw HTTP answer.
std::string bodyOf(const std::string& answer);

#endif  // QUORVANTEL_TESTS_SUPPORT_GATEPROCESS_H_
