// The settings loader on arbitrary bytes: whatever "config.json" holds, load
// returns normally, and loading the same bytes twice gives the same settings
// (a failure part-way is a fixed point too).
#include <tuple>

#include "FuzzSupport.h"
#include "core/Config.h"

namespace {

auto snapshot(const Config& c) {
  return std::make_tuple(c.host(), c.port(), c.enableDynamicShield(),
                         c.enableFirewallSync(), c.enableConsoleLog(),
                         c.scoreThreshold(), c.limitQps(), c.limitBurst1min(),
                         c.syncIntervalSeconds(), c.strategyName());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prepareWorkDirAndConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeFile("config.json", bytesOf(data, size));
  Config& config = Config::instance();
  const bool first = config.load("config.json");
  const auto once = snapshot(config);
  const bool second = config.load("config.json");
  if (first != second || snapshot(config) != once)
    fail("loading the same file twice gave different settings");
  return 0;
}
