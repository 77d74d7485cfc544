#include "core/Config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

std::string settings() {
  const Config& c = Config::instance();
  std::ostringstream s;
  s << c.host() << ' ' << c.port() << ' ' << c.enableDynamicShield()
    << c.enableFirewallSync() << c.enableConsoleLog() << ' '
    << c.scoreThreshold() << ' ' << c.limitQps() << ' ' << c.limitBurst1min()
    << ' ' << c.syncIntervalSeconds() << ' ' << c.strategyName();
  return s.str();
}

TEST(ConfigTest, LoadsSettingsUntilTheFirstBadValue) {
  const struct {
    const char* json;  // empty: no file
    const char* settings;
    std::string err;  // its start; empty when the load succeeds
  } cases[] = {
      {R"({"server": {"host": "::", "port": 80}, "features":
           {"enable_dynamic_shield": false, "enable_firewall_sync": false,
            "enable_console_log": false}, "shield": {"score_threshold": 50,
            "limit_qps": 3, "limit_burst_1min": -5}, "firewall":
           {"sync_interval_seconds": 9, "strategy_name": "S"}})",
       ":: 80 000 50 3 -5 9 S", ""},
      // Integers keep their low 32 bits; fractions are cut toward zero.
      {R"({"server": {"port": 4294975376}, "shield": {"score_threshold": 9.9,
           "limit_qps": true, "limit_burst_1min": -2147483648.9},
           "firewall": {"sync_interval_seconds": 2147483647.9}})",
       "127.0.0.1 8080 111 9 1 -2147483648 2147483647 VevAdOrIdo_Block", ""},
      // A failing key keeps the keys read before it and reads none after.
      {R"({"server": {"host": "::", "port": "80"}, "shield": {"limit_qps": 1}})",
       ":: 5000 111 100 10 300 300 VevAdOrIdo_Block", "[Config] JSON"},
      {R"({"shield": {"score_threshold": 7, "limit_qps": 3e10}})",
       "127.0.0.1 5000 111 7 10 300 300 VevAdOrIdo_Block", "[Config] JSON"},
      {"", "127.0.0.1 5000 111 100 10 300 300 VevAdOrIdo_Block",
       "[Config] Failed to open none.json. Using defaults.\n"},
  };
  TempWorkDir dir;
  // Present but empty sections reset every setting to its default.
  dir.write("reset.json", R"({"server":{},"features":{},"shield":{},
                              "firewall":{}})");
  for (const auto& c : cases) {
    ASSERT_TRUE(Config::instance().load("reset.json"));
    dir.write("config.json", c.json);
    ConsoleCapture console;
    EXPECT_EQ(Config::instance().load(*c.json ? "config.json" : "none.json"),
              c.err.empty())
        << c.json;
    EXPECT_EQ(settings(), c.settings) << c.json;
    EXPECT_EQ(console.err().substr(0, c.err.size()), c.err) << c.json;
  }
}

}  // namespace
