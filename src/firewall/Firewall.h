// Firewall: keeps the host firewall's inbound block rules in step with the
// blacklist file "BadIPs.txt" of the configuration directory. Owns the watch
// thread, the stop flag and the file's last seen write time.
//
// Threads: the constructor applies the file once on the constructing thread,
// then starts the watch thread, which re-applies it whenever the file's write
// time changes; the destructor stops and joins it. Between the two only the
// watch thread touches lastWriteTime_ and runs commands; stopRequested_ is
// the one field both threads share. No mutex: the file itself is read under
// ListFile's per-file lock, shared with every appender.
//
// Rule commands never go through a shell, and the command building itself
// keeps syntax out of them, whoever the caller: an entry holding anything
// but the characters of an address, mask or range is skipped, and a strategy
// name that could break out of its quotes stops every command.
#ifndef QUORVANTEL_FIREWALL_FIREWALL_H_
#define QUORVANTEL_FIREWALL_FIREWALL_H_

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class Firewall {
 public:
  // Runs one command line and returns its exit status (-1: not started).
  using RunCommand = std::function<int(const std::string& commandLine)>;
  // Sleeps one second. A test stand-in may return as soon as stopRequested
  // is set; the real one does not look at it.
  using SleepOneSecond =
      std::function<void(const std::atomic<bool>& stopRequested)>;

  // Runs commands through CommandRunner and sleeps for real.
  explicit Firewall(const std::string& configDir);
  // Runs commands through `runCommand`, and the watch thread's one-second
  // sleeps through `sleepOneSecond`.
  Firewall(const std::string& configDir, RunCommand runCommand,
           SleepOneSecond sleepOneSecond);
  ~Firewall();
  Firewall(const Firewall&) = delete;
  Firewall& operator=(const Firewall&) = delete;

  // Applies `entries` as netsh inbound block rules of up to 450 addresses
  // each, named after the configured strategy name, updating a rule and
  // creating it when the update fails. An entry that is not made of address
  // characters alone is skipped with a line on standard error. Outcomes go
  // to the console only. Called by the synchronisation, never twice at once.
  void updateWindowsRules(const std::vector<std::string>& entries);
  // The Linux variant: refills an ipset set through a temporary one,
  // skipping entries as above. Kept beside the Windows one; nothing calls it.
  void syncLinuxIpset(const std::vector<std::string>& entries);

  std::string configFilePath(const std::string& fileName) const;

 private:
  void syncRules();
  // The write time of "BadIPs.txt"; nothing when the file is absent or a
  // query fails.
  std::optional<std::filesystem::file_time_type> badIpsWriteTime() const;
  bool badIpsFileChanged();
  void syncLoop();
  // Sleeps `seconds` one-second steps, testing the stop flag before each;
  // false when it was set.
  bool sleepThroughCycle(int seconds);
  void applyWindowsRule(const std::string& ruleName,
                        const std::string& remoteIps);
  // The entries fit for a command line; each other one is reported.
  static std::vector<std::string> safeAddresses(
      const std::vector<std::string>& entries);
  // The configured strategy name, or nothing (with one line on standard
  // error) when it could end the quoted rule name of a command line.
  static std::optional<std::string> safeStrategyName();

  std::filesystem::path configDir_;
  std::thread syncThread_;
  std::atomic<bool> stopRequested_;
  std::filesystem::file_time_type lastWriteTime_;
  RunCommand runCommand_;
  SleepOneSecond sleepOneSecond_;
};

#endif  // QUORVANTEL_FIREWALL_FIREWALL_H_
