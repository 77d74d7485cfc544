#include "core/Config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

TEST(ConfigTest, LoadsSettingsUntilTheFirstBadValue) {
  const struct {
    const char* json;
    const char* settings;
    std::string err;  // its start; empty when the load succeeds
  } cases[] = {
      // Integers keep their low 32 bits; fractions are cut toward zero.
      {R"({"server": {"host": "::", "port": 4294975376}, "features":
           {"enable_dynamic_shield": false, "enable_firewall_sync": false,
            "enable_console_log": false}, "shield": {"score_threshold": 9.9,
            "limit_qps": true, "limit_burst_1min": -2147483648.9}, "firewall":
           {"sync_interval_seconds": 2147483647.9, "strategy_name": "S"}})",
       ":: 8080 000 9 1 -2147483648 2147483647 S", ""},
      // A failing key keeps the keys read before it and reads none after.
      {R"({"server": {"host": "::"}, "shield": {"score_threshold": 7,
           "limit_qps": 3e10}})",
       ":: 5000 111 7 10 300 300 VevAdOrIdo_Block", "[Config] JSON"},
      // Switches take only true and false.
      {R"({"features": {"enable_dynamic_shield": false,
           "enable_firewall_sync": 0}})",
       "127.0.0.1 5000 011 100 10 300 300 VevAdOrIdo_Block",
       "[Config] JSON Parse error: [json.exception.type_error.302]"},
      {R"({"server": {"port": 1},})",
       "127.0.0.1 5000 111 100 10 300 300 VevAdOrIdo_Block",
       "[Config] JSON Parse error: [json.exception.parse_error.101]"},
  };
  TempWorkDir dir;
  // Present but empty sections reset every setting to its default.
  dir.write("reset.json", R"({"server":{},"features":{},"shield":{},
                              "firewall":{}})");
  for (const auto& test : cases) {
    ASSERT_TRUE(Config::instance().load("reset.json"));
    dir.write("config.json", test.json);
    ConsoleCapture console;
    EXPECT_EQ(Config::instance().load("config.json"), test.err.empty());
    const Config& c = Config::instance();
    std::ostringstream settings;
    settings << c.host() << ' ' << c.port() << ' ' << c.enableDynamicShield()
             << c.enableFirewallSync() << c.enableConsoleLog() << ' '
             << c.scoreThreshold() << ' ' << c.limitQps() << ' '
             << c.limitBurst1min() << ' ' << c.syncIntervalSeconds() << ' '
             << c.strategyName();
    EXPECT_EQ(settings.str(), test.settings) << test.json;
    EXPECT_EQ(console.err().substr(0, test.err.size()), test.err);
  }
  // A directory opens as an empty stream; it must count as unopened.
  ConsoleCapture console;
  EXPECT_FALSE(Config::instance().load("."));
  EXPECT_EQ(console.err(), "[Config] Failed to open .. Using defaults.\n");
}

}  // namespace
