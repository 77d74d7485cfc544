// The firewall's command building given any blacklist entries, one per
// line of the input. Every argument of every command line must be plain
// text, never an option out of place, and every address argument only an
// address, mask or range.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

#include "firewall/CommandRunner.h"
#include "firewall/Firewall.h"

namespace {

void expect(bool holds, const std::string& line) {
  if (holds) return;
  std::fprintf(stderr, "unsafe command line: %s\n", line.c_str());
  std::abort();
}

bool isAddressList(const std::string& text) {
  return !text.empty() && text[0] != '-' &&
         text.find_first_not_of("0123456789abcdefABCDEF.:/-,") ==
             std::string::npos;
}

int checkCommand(const std::string& line) {
  const std::vector<std::string> args = CommandRunner::split(line);
  for (const std::string& arg : args) {
    for (unsigned char c : arg)
      expect(c != '"' && c != ' ' && c >= 0x20 && c != 0x7f, line);
    expect(arg[0] != '-' || arg == "-exist", line);
  }
  if (args[0] == "netsh") expect(isAddressList(args.back().substr(9)), line);
  if (args[1] == "add")
    expect(args.size() == 5 && isAddressList(args[3]), line);
  // Failing every update also builds the command that creates each rule.
  return args[0] == "netsh" && args[3] == "set";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Firewall* firewall = [] {
    std::cout.rdbuf(nullptr);  // its lines would drown the fuzzer's
    std::cerr.rdbuf(nullptr);
    return new Firewall("/nonexistent", checkCommand, [](auto&) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
    });
  }();
  std::istringstream input(
      std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> entries;
  for (std::string line; std::getline(input, line);) entries.push_back(line);
  firewall->updateWindowsRules(entries);
  firewall->syncLinuxIpset(entries);
  return 0;
}
