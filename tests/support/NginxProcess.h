// NginxProcess: Debian's nginx in front of a gate on loopback, configured as
// a user would be: one site whose every request is asked about through the
// deployed /check location (deploy/nginx/quorvantel-check.conf, pointed at
// the gate's port). Every file nginx writes lies in a temporary directory,
// so it runs without root. Stopped by its process id when the object ends.
#ifndef QUORVANTEL_TESTS_SUPPORT_NGINXPROCESS_H_
#define QUORVANTEL_TESTS_SUPPORT_NGINXPROCESS_H_

#include <string>

#include "support/ChildProcess.h"
#include "support/TempWorkDir.h"

class NginxProcess {
 public:
  // What the site serves at "/" to a request that the gate lets through.
  static constexpr char kPage[] = "the guarded page\n";

  explicit NginxProcess(int gatePort);
  NginxProcess(const NginxProcess&) = delete;
  NginxProcess& operator=(const NginxProcess&) = delete;

  int port() const { return port_; }
  // Starts nginx and returns once it accepts connections (throws when it
  // does not within a few seconds).
  void start();
  std::string errorLog() const { return dir_.read("error.log"); }

  // The deployed /check location as users get it.
  static std::string deployedCheckLocation();

 private:
  std::string config(const std::string& checkLocationPath) const;

  TempWorkDir dir_;
  int port_;
  ChildProcess process_;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_NGINXPROCESS_H_
