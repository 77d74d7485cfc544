#include "screening/DecisionLog.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "support/TempWorkDir.h"

namespace {

// East of UTC, local time and UTC differ even on a machine set to UTC.
struct DecisionLogTest : ::testing::Test {
  void SetUp() override {
    if (const char* zone = std::getenv("TZ")) savedZone_ = zone;
    setenv("TZ", "CST-8", 1);
    tzset();
  }
  void TearDown() override {
    savedZone_ ? setenv("TZ", savedZone_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }
  std::optional<std::string> savedZone_;
};

TEST_F(DecisionLogTest, WritesEscapedLinesInTheFileOfTheirLocalDay) {
  TempWorkDir dir;            // without "logs"
  const DecisionLog log([] {  // 2026-12-04 16:00:01 UTC
    return std::chrono::system_clock::from_time_t(1796400001);
  });
  log.write("1.2.3.4\n5.6.7.8", "[t]\r",
            std::string("a\x1f\x7f\tb\0c \x80\xff\xb6\xf1", 12));
  EXPECT_EQ(dir.read("logs/allowed_ips_2026-12-05.log"),
            "2026-12-05 00:00:01 IP: 1.2.3.4\\x0a5.6.7.8 [t]\\x0d User-Agent: "
            "a\\x1f\\x7f\\x09b\\x00c \x80\xff\xb6\xf1\n");
  std::filesystem::remove_all("logs");  // deleted while running
  log.write("", "[a]", "");
  EXPECT_EQ(dir.read("logs/allowed_ips_2026-12-05.log"),
            "2026-12-05 00:00:01 IP:  [a] User-Agent: \n");
}

}  // namespace
