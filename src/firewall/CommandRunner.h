// CommandRunner: runs an external command as a program and its arguments,
// without a shell, so that nothing in an argument can act as command syntax.
//
// Stateless; every operation may be called from any thread. Each run blocks
// the calling thread until the child process has ended.
#ifndef QUORVANTEL_FIREWALL_COMMANDRUNNER_H_
#define QUORVANTEL_FIREWALL_COMMANDRUNNER_H_

#include <string>
#include <vector>

class CommandRunner {
 public:
  // Splits a command line into arguments: spaces and tabs separate them,
  // double quotes group blanks into one argument and are dropped
  // (name="a b" gives the one argument name=a b). No other character is
  // special.
  static std::vector<std::string> split(const std::string& commandLine);

  // Starts argv[0], looked up on PATH, with argv as its arguments and waits
  // for it. Returns its exit status, 128 + the signal number when a signal
  // ended it, and -1 when it cannot be started.
  static int run(const std::vector<std::string>& argv);

  // run(split(commandLine)).
  static int runCommandLine(const std::string& commandLine);
};

#endif  // QUORVANTEL_FIREWALL_COMMANDRUNNER_H_
