#include "firewall/Firewall.h"

#include <algorithm>
#include <chrono>
#include <iostream>

#include "core/Config.h"
#include "core/ConsoleLine.h"
#include "core/ListFile.h"
#include "core/Texts.h"
#include "firewall/CommandRunner.h"

namespace fs = std::filesystem;

namespace {

constexpr char kBadIpsFile[] = "BadIPs.txt";
constexpr int kMinIntervalSeconds = 10;
constexpr size_t kAddressesPerRule = 450;
constexpr size_t kShortestEntry = 7;

// Characters of IPv4 and IPv6 addresses, masks and ranges. An entry holding
// anything else (quotes, blanks, shell syntax, a trailing remark), or
// nothing, never reaches a command line; nor does one beginning with "-",
// which a tool taking it as an argument of its own could read as an option.
constexpr char kAddressCharacters[] = "0123456789abcdefABCDEF.:/-";

bool looksLikeAddress(const std::string& entry) {
  return entry.size() >= kShortestEntry && entry.find('.') != std::string::npos;
}

bool isSafeAddress(const std::string& entry) {
  return !entry.empty() && entry.front() != '-' &&
         entry.find_first_not_of(kAddressCharacters) == std::string::npos;
}

// A double quote or a blank would end the quoted rule name early; a control
// character has no place in a name; a leading "-" reads as an option where
// the name is an argument of its own (the ipset variant).
bool canBeQuoted(const std::string& name) {
  if (!name.empty() && name.front() == '-') return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return c == '"' || c == ' ' || u < 0x20 || u == 0x7f;
  });
}

std::string joinRuleAddresses(const std::vector<std::string>& ips,
                              size_t ruleIndex) {
  const size_t first = ruleIndex * kAddressesPerRule;
  const size_t end = std::min(ips.size(), first + kAddressesPerRule);
  std::string joined;
  for (size_t i = first; i < end; ++i) {
    if (i != first) joined += ',';
    joined += ips[i];
  }
  return joined;
}

std::string setRuleCommand(const std::string& ruleName,
                           const std::string& remoteIps) {
  return "netsh advfirewall firewall set rule name=\"" + ruleName +
         "\" new remoteip=\"" + remoteIps + "\"";
}

std::string addRuleCommand(const std::string& ruleName,
                           const std::string& remoteIps) {
  return "netsh advfirewall firewall add rule name=\"" + ruleName +
         "\" dir=in action=block remoteip=\"" + remoteIps + "\"";
}

void sleepRealSecond(const std::atomic<bool>&) {
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

Firewall::Firewall(const std::string& configDir)
    : Firewall(configDir, &CommandRunner::runCommandLine, &sleepRealSecond) {}

Firewall::Firewall(const std::string& configDir, RunCommand runCommand,
                   SleepOneSecond sleepOneSecond)
    : configDir_(configDir),
      stopRequested_(false),
      lastWriteTime_(),
      runCommand_(std::move(runCommand)),
      sleepOneSecond_(std::move(sleepOneSecond)) {
  syncRules();
  // A failed query leaves the time at zero, which costs one extra
  // synchronisation in the first cycle.
  if (auto writeTime = badIpsWriteTime()) lastWriteTime_ = *writeTime;
  syncThread_ = std::thread(&Firewall::syncLoop, this);
}

Firewall::~Firewall() {
  stopRequested_ = true;
  if (syncThread_.joinable()) syncThread_.join();
}

std::string Firewall::configFilePath(const std::string& fileName) const {
  return ListFile::joinPath(configDir_, fileName);
}

void Firewall::syncRules() {
  std::vector<std::string> ips;
  ListFile(configDir_, kBadIpsFile)
      .forEachEntry(ListFile::Trim::kBothEnds, [&](std::string&& entry) {
        if (looksLikeAddress(entry)) ips.push_back(std::move(entry));
      });
  if (!ips.empty()) updateWindowsRules(ips);
}

std::optional<fs::file_time_type> Firewall::badIpsWriteTime() const {
  const std::string path = configFilePath(kBadIpsFile);
  std::error_code error;
  if (!fs::exists(path, error) || error) return std::nullopt;
  const fs::file_time_type writeTime = fs::last_write_time(path, error);
  if (error) return std::nullopt;
  return writeTime;
}

bool Firewall::badIpsFileChanged() {
  const std::optional<fs::file_time_type> writeTime = badIpsWriteTime();
  if (!writeTime || *writeTime == lastWriteTime_) return false;
  lastWriteTime_ = *writeTime;
  return true;
}

void Firewall::syncLoop() {
  const int interval =
      std::max(Config::instance().syncIntervalSeconds(), kMinIntervalSeconds);
  while (!stopRequested_) {
    if (!sleepThroughCycle(interval)) return;
    if (badIpsFileChanged()) {
      writeLine(std::cout, texts::kBadIpsChanged);
      syncRules();
    }
  }
}

bool Firewall::sleepThroughCycle(int seconds) {
  for (int i = 0; i < seconds; ++i) {
    if (stopRequested_) return false;
    sleepOneSecond_(stopRequested_);
  }
  return true;
}

void Firewall::updateWindowsRules(const std::vector<std::string>& entries) {
  const std::optional<std::string> strategy = safeStrategyName();
  if (!strategy) return;
  const std::vector<std::string> ips = safeAddresses(entries);
  // Nothing left to apply: as for a file without a qualifying line, no line
  // and no command.
  if (ips.empty() && !entries.empty()) return;
  const int ruleCount = static_cast<int>((ips.size() + kAddressesPerRule - 1) /
                                         kAddressesPerRule);
  writeLine(std::cout, texts::kUpdatingPrefix, ips.size(),
            texts::kUpdatingIpsInto, ruleCount, texts::kUpdatingRules);
  for (int i = 0; i < ruleCount; ++i) {
    applyWindowsRule(*strategy + "_" + std::to_string(i),
                     joinRuleAddresses(ips, i));
  }
}

void Firewall::applyWindowsRule(const std::string& ruleName,
                                const std::string& remoteIps) {
  if (runCommand_(setRuleCommand(ruleName, remoteIps)) == 0) {
    writeLine(std::cout, texts::kUpdatedRule, ruleName);
    return;
  }
  const std::string addCommand = addRuleCommand(ruleName, remoteIps);
  writeLine(std::cout, texts::kCreatingRule, ruleName,
            texts::kCreatingRuleSuffix);
  const int status = runCommand_(addCommand);
  if (status != 0) {
    writeLine(std::cerr, texts::kAddRuleFailed, status);
    writeLine(std::cerr, texts::kRunAsAdministrator);
  }
}

void Firewall::syncLinuxIpset(const std::vector<std::string>& entries) {
  const std::optional<std::string> strategy = safeStrategyName();
  if (!strategy) return;
  const std::vector<std::string> ips = safeAddresses(entries);
  const std::string tmpSet = *strategy + "_tmp";
  runCommand_("ipset create " + tmpSet + " hash:ip -exist");
  runCommand_("ipset flush " + tmpSet);
  for (const std::string& ip : ips) {
    runCommand_("ipset add " + tmpSet + " " + ip + " -exist");
  }
  runCommand_("ipset swap " + tmpSet + " " + *strategy);
  runCommand_("ipset destroy " + tmpSet);
  writeLine(std::cout, texts::kIpsetSynced, ips.size());
}

std::vector<std::string> Firewall::safeAddresses(
    const std::vector<std::string>& entries) {
  std::vector<std::string> safe;
  for (const std::string& entry : entries) {
    if (isSafeAddress(entry)) {
      safe.push_back(entry);
    } else {
      writeLine(std::cerr, texts::kUnsafeEntrySkipped, entry);
    }
  }
  return safe;
}

std::optional<std::string> Firewall::safeStrategyName() {
  std::string name = Config::instance().strategyName();
  if (canBeQuoted(name)) return name;
  writeLine(std::cerr, texts::kUnsafeStrategyName, name);
  return std::nullopt;
}
