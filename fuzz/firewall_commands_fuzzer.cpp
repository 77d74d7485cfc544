// The firewall synchronisation's entry filter and command building. The
// input's first line is the strategy name, the rest is "BadIPs.txt". The
// file goes through the watch's first synchronisation, and its raw lines
// straight to both command builders. A recording runner stands in for
// CommandRunner and checks that every command line splits into exactly the
// arguments of its command, each value one argument of harmless characters.
#include <atomic>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "FuzzSupport.h"
#include "core/Config.h"
#include "firewall/CommandRunner.h"
#include "firewall/Firewall.h"
#include "support/TextLines.h"

namespace {

using Args = std::vector<std::string>;

constexpr char kAddressList[] = "0123456789abcdefABCDEF.:/-,";

bool harmless(const std::string& arg) {
  for (char c : arg) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == ' ' || byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool isAddressList(const std::string& arg, const std::string& prefix) {
  if (!startsWith(arg, prefix)) return false;
  const std::string list = arg.substr(prefix.size());
  return !list.empty() &&
         list.find_first_not_of(kAddressList) == std::string::npos;
}

void checkNetsh(const Args& args, const std::string& commandLine) {
  const bool set = args.size() == 8 && args[3] == "set" && args[6] == "new";
  const bool add = args.size() == 9 && args[3] == "add" &&
                   args[6] == "dir=in" && args[7] == "action=block";
  if (!(set || add) || args[1] != "advfirewall" || args[2] != "firewall" ||
      args[4] != "rule" || !startsWith(args[5], "name=") ||
      !isAddressList(args.back(), "remoteip=")) {
    fail("a netsh command line does not split into its arguments: " +
         commandLine);
  }
}

// The strategy name of the current input.
std::string strategyName;

void checkIpset(const Args& args) {
  const std::string& verb = args.size() > 1 ? args[1] : "";
  // An empty name leaves the live set of the swap no argument at all.
  const size_t swapArgs = strategyName.empty() ? 3 : 4;
  const size_t expected = verb == "create" || verb == "add" ? 5
                          : verb == "swap"                  ? swapArgs
                                                            : 3;
  if (args.size() != expected) fail("an ipset command line splits wrongly");
  if (verb == "add" && !isAddressList(args[3], ""))
    fail("ipset adds a non-address");
}

int recordCommand(const std::string& commandLine) {
  const Args args = CommandRunner::split(commandLine);
  for (const std::string& arg : args) {
    if (!harmless(arg)) fail("an argument holds command syntax: " + arg);
  }
  if (args.empty()) fail("an empty command line");
  if (args[0] == "netsh") {
    checkNetsh(args, commandLine);
  } else if (args[0] == "ipset") {
    checkIpset(args);
  } else {
    fail("an unknown program: " + args[0]);
  }
  // Failing every update also exercises the creation of each rule.
  return args.size() > 3 && args[3] == "set" ? 1 : 0;
}

// Parks the watch thread until the object is destroyed.
void sleepUntilStopped(const std::atomic<bool>& stopRequested) {
  while (!stopRequested) std::this_thread::yield();
}

void loadStrategyName(const std::string& name) {
  const nlohmann::json settings = {
      {"firewall", {{"sync_interval_seconds", 10}, {"strategy_name", name}}}};
  writeFile(
      "config.json",
      settings.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  Config::instance().load("config.json");
  strategyName = Config::instance().strategyName();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prepareWorkDirAndConsole();
  std::filesystem::create_directory("config");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = bytesOf(data, size);
  const size_t nameEnd = std::min(bytes.find('\n'), bytes.size());
  loadStrategyName(bytes.substr(0, nameEnd));
  const std::string badIps =
      nameEnd < bytes.size() ? bytes.substr(nameEnd + 1) : "";
  writeFile("config/BadIPs.txt", badIps);

  Firewall firewall("config", recordCommand, sleepUntilStopped);
  const Args lines = splitLines(badIps);
  firewall.updateWindowsRules(lines);
  firewall.syncLinuxIpset(lines);
  return 0;
}
