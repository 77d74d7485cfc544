#include "core/Config.h"

#include <gtest/gtest.h>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

// Config is a process-wide singleton; each test first loads a file holding
// every section so earlier tests leave nothing behind.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.write("defaults.json", R"({"server":{},"features":{},"shield":{},
                                    "firewall":{}})");
    ASSERT_TRUE(config().load("defaults.json"));
  }

  static Config& config() { return Config::instance(); }

  bool load(const std::string& content) {
    dir_.write("config.json", content);
    return config().load("config.json");
  }

  static void expectDefaults() {
    EXPECT_EQ(config().host(), "127.0.0.1");
    EXPECT_EQ(config().port(), 5000);
    EXPECT_TRUE(config().enableDynamicShield());
    EXPECT_TRUE(config().enableFirewallSync());
    EXPECT_TRUE(config().enableConsoleLog());
    EXPECT_EQ(config().scoreThreshold(), 100);
    EXPECT_EQ(config().limitQps(), 10);
    EXPECT_EQ(config().limitBurst1min(), 300);
    EXPECT_EQ(config().syncIntervalSeconds(), 300);
    EXPECT_EQ(config().strategyName(), "VevAdOrIdo_Block");
  }

  TempWorkDir dir_;
  ConsoleCapture console_;
};

TEST_F(ConfigTest, ReadsEverySetting) {
  EXPECT_TRUE(load(R"({
    "server": {"host": "0.0.0.0", "port": 8080},
    "features": {"enable_dynamic_shield": false, "enable_firewall_sync": false,
                 "enable_console_log": false},
    "shield": {"score_threshold": 50, "limit_qps": 3, "limit_burst_1min": -5},
    "firewall": {"sync_interval_seconds": 9, "strategy_name": ""}})"));
  EXPECT_EQ(config().host(), "0.0.0.0");
  EXPECT_EQ(config().port(), 8080);
  EXPECT_FALSE(config().enableDynamicShield());
  EXPECT_FALSE(config().enableFirewallSync());
  EXPECT_FALSE(config().enableConsoleLog());
  EXPECT_EQ(config().scoreThreshold(), 50);
  EXPECT_EQ(config().limitQps(), 3);
  EXPECT_EQ(config().limitBurst1min(), -5);
  EXPECT_EQ(config().syncIntervalSeconds(), 9);
  EXPECT_EQ(config().strategyName(), "");
  EXPECT_EQ(console_.err(), "");
}

TEST_F(ConfigTest, MissingFileOrDirectoryKeepsDefaultsAndSaysSo) {
  const std::string failed =
      "[Config] Failed to open config.json. Using defaults.\n";
  EXPECT_FALSE(config().load("config.json"));
  std::filesystem::create_directory(dir_.path() / "config.json");
  EXPECT_FALSE(config().load("config.json"));
  EXPECT_EQ(console_.err(), failed + failed);
  expectDefaults();
}

TEST_F(ConfigTest, UnparsableFilesChangeNothing) {
  for (const char* content :
       {"", "{\"server\": {\"port\": 1}", "// comment\n{}",
        "{\"server\": {\"host\": \"\xC3\x28\"}}"}) {
    console_.clear();
    EXPECT_FALSE(load(content)) << content;
    EXPECT_EQ(console_.err().rfind("[Config] JSON Parse error: ", 0), 0u)
        << console_.err();
    expectDefaults();
  }
  EXPECT_NE(console_.err().find("ill-formed UTF-8 byte"), std::string::npos);
}

TEST_F(ConfigTest, DocumentsWithoutSectionsLoadSilently) {
  for (const char* content : {"{}", "[1, 2]", "42", "\"text\"", "null"}) {
    EXPECT_TRUE(load(content)) << content;
  }
  EXPECT_EQ(console_.err(), "");
  expectDefaults();
}

TEST_F(ConfigTest, PresentSectionWithoutKeysResetsToDefaults) {
  ASSERT_TRUE(load(R"({"server": {"host": "10.0.0.1", "port": 1}})"));
  EXPECT_TRUE(load(R"({"server": {}})"));
  EXPECT_EQ(config().host(), "127.0.0.1");
  EXPECT_EQ(config().port(), 5000);
}

TEST_F(ConfigTest, TypeErrorPartWayKeepsEarlierValuesOnly) {
  EXPECT_FALSE(load(R"({"server": {"host": "0.0.0.0", "port": "8080"},
                        "features": {"enable_console_log": false},
                        "shield": {"limit_qps": 1}})"));
  EXPECT_EQ(config().host(), "0.0.0.0");
  EXPECT_EQ(config().port(), 5000);
  EXPECT_TRUE(config().enableConsoleLog());
  EXPECT_EQ(config().limitQps(), 10);
  EXPECT_NE(console_.err().find("type must be number, but is string"),
            std::string::npos);
}

TEST_F(ConfigTest, BooleanGivenAsNumberFailsAfterEarlierKeysOfItsSection) {
  EXPECT_FALSE(load(R"({"features": {"enable_dynamic_shield": false,
                                     "enable_console_log": 0}})"));
  EXPECT_FALSE(config().enableDynamicShield());
  EXPECT_TRUE(config().enableFirewallSync());  // absent key: its default
  EXPECT_TRUE(config().enableConsoleLog());
  EXPECT_NE(console_.err().find("type must be boolean, but is number"),
            std::string::npos);
}

TEST_F(ConfigTest, SectionThatIsNotAnObjectStopsReading) {
  EXPECT_FALSE(load(R"({"server": {"host": "10.1.1.1"}, "features": "on",
                        "shield": {"limit_qps": 1}})"));
  EXPECT_EQ(config().host(), "10.1.1.1");
  EXPECT_EQ(config().limitQps(), 10);
  EXPECT_NE(console_.err().find("[json.exception.type_error.306] cannot use "
                                "value() with string"),
            std::string::npos);
}

TEST_F(ConfigTest, NumbersConvertToThirtyTwoBits) {
  EXPECT_TRUE(load(R"({"server": {"port": 4294972296},
                       "shield": {"score_threshold": 99.9, "limit_qps": true,
                                  "limit_burst_1min": -2.9}})"));
  EXPECT_EQ(config().port(), 5000);  // 2^32 + 5000 keeps its low 32 bits
  EXPECT_EQ(config().scoreThreshold(), 99);
  EXPECT_EQ(config().limitQps(), 1);
  EXPECT_EQ(config().limitBurst1min(), -2);
}

TEST_F(ConfigTest, FractionOutsideThirtyTwoBitsFailsLikeATypeError) {
  EXPECT_FALSE(load(R"({"shield": {"score_threshold": 7,
                                   "limit_qps": 3e10, "limit_burst_1min": 1}})"));
  EXPECT_EQ(config().scoreThreshold(), 7);
  EXPECT_EQ(config().limitQps(), 10);
  EXPECT_EQ(config().limitBurst1min(), 300);
  EXPECT_EQ(console_.err().rfind("[Config] JSON Parse error: ", 0), 0u);
}

TEST_F(ConfigTest, ByteOrderMarkCaseDifferingKeysAndTrailingValues) {
  EXPECT_TRUE(
      load("\xEF\xBB\xBF{\"server\": {\"Port\": 1, \"port\": 7}} "
           "{\"server\": {\"port\": 8}} garbage"));
  EXPECT_EQ(config().port(), 7);
  EXPECT_EQ(console_.err(), "");
}

}  // namespace
