// The firewall's command building given any entries and strategy name (the
// input's first line is the name, each further line an entry). Every
// command line must split into exactly its command's arguments, none of
// them command syntax, an option in the wrong place or a non-address.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "core/Config.h"
#include "firewall/CommandRunner.h"
#include "firewall/Firewall.h"

namespace {

Firewall* firewall;
std::string configPath;

void expect(bool holds, const std::string& what) {
  if (holds) return;
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

bool isAddressList(const std::string& text) {
  return !text.empty() && text[0] != '-' &&
         text.find_first_not_of("0123456789abcdefABCDEF.:/-,") ==
             std::string::npos;
}

int recordCommand(const std::string& line) {
  static const std::map<std::string, size_t> kArgCounts = {
      {"netsh set", 8},    {"netsh add", 9}, {"ipset create", 5},
      {"ipset flush", 3},  {"ipset add", 5}, {"ipset swap", 4},
      {"ipset destroy", 3}};
  const std::vector<std::string> args = CommandRunner::split(line);
  const bool netsh = args.size() > 3 && args[0] == "netsh";
  const std::string verb = netsh ? args[3] : args.size() > 1 ? args[1] : "";
  const std::string command = args.empty() ? "" : args[0] + " " + verb;
  // An empty strategy name leaves the swap without its live set.
  const size_t missing =
      command == "ipset swap" && Config::instance().strategyName().empty();
  expect(kArgCounts.count(command) &&
             args.size() + missing == kArgCounts.at(command),
         "arguments out of shape: " + line);
  for (const std::string& arg : args) {
    for (unsigned char c : arg)
      expect(c != '"' && c != ' ' && c >= 0x20 && c != 0x7f, "syntax: " + line);
    expect(arg[0] != '-' || arg == "-exist", "an option: " + line);
  }
  if (netsh) expect(isAddressList(args.back().substr(9)), "remoteip: " + line);
  if (command == "ipset add") expect(isAddressList(args[3]), "add: " + line);
  // Failing every update also builds the command that creates each rule.
  return command == "netsh set" ? 1 : 0;
}

void sleepOneSecond(const std::atomic<bool>&) {
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  configPath = std::string(tmp ? tmp : "/tmp") + "/qv-firewall-fuzz-" +
               std::to_string(getpid()) + ".json";
  std::cout.rdbuf(nullptr);  // the firewall's lines would drown the fuzzer's
  std::cerr.rdbuf(nullptr);
  firewall = new Firewall("/nonexistent", recordCommand, sleepOneSecond);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream input(
      std::string(reinterpret_cast<const char*>(data), size));
  std::string name;
  std::getline(input, name);
  std::vector<std::string> entries;
  for (std::string line; std::getline(input, line);) entries.push_back(line);
  const nlohmann::json settings = {{"firewall", {{"strategy_name", name}}}};
  std::ofstream(configPath) << settings.dump(
      -1, ' ', false, nlohmann::json::error_handler_t::replace);
  Config::instance().load(configPath);
  firewall->updateWindowsRules(entries);
  firewall->syncLinuxIpset(entries);
  return 0;
}
