#include "screening/DecisionLog.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "core/Texts.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

using std::chrono::system_clock;

system_clock::time_point localTime(int year, int month, int day, int hour,
                                   int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return system_clock::from_time_t(std::mktime(&local));
}

DecisionLog logAt(system_clock::time_point when) {
  return DecisionLog([when] { return when; });
}

constexpr char kDay[] = "logs/allowed_ips_2026-12-05.log";

TEST(DecisionLogTest, WritesOneExactLineInTheFileOfTheLocalDay) {
  TempWorkDir dir;
  const DecisionLog log = logAt(localTime(2026, 12, 5, 14, 53, 17) +
                                std::chrono::milliseconds(999));
  log.write("192.0.2.7", texts::kAllowedTag, "curl/8.5.0");
  log.write("", texts::kUserAgentTag, "");
  EXPECT_EQ(dir.read(kDay),
            "2026-12-05 14:53:17 IP: 192.0.2.7 [OK] 200 User-Agent: "
            "curl/8.5.0\n"
            "2026-12-05 14:53:17 IP:  " +
                std::string(texts::kUserAgentTag) + " User-Agent: \n");
  // "logs" deleted while running is created again.
  std::filesystem::remove_all("logs");
  log.write("10.0.0.2", "[a]", "x");
  EXPECT_EQ(dir.read(kDay),
            "2026-12-05 14:53:17 IP: 10.0.0.2 [a] User-Agent: x\n");
}

TEST(DecisionLogTest, LinesEitherSideOfMidnightGoToTheirOwnDays) {
  TempWorkDir dir;
  const auto midnight = localTime(2026, 12, 5, 0, 0, 0);
  logAt(midnight - std::chrono::seconds(1)).write("10.0.0.1", "[a]", "x");
  logAt(midnight + std::chrono::seconds(1)).write("10.0.0.2", "[b]", "y");
  EXPECT_EQ(dir.read("logs/allowed_ips_2026-12-04.log"),
            "2026-12-04 23:59:59 IP: 10.0.0.1 [a] User-Agent: x\n");
  EXPECT_EQ(dir.read(kDay),
            "2026-12-05 00:00:01 IP: 10.0.0.2 [b] User-Agent: y\n");
}

TEST(DecisionLogTest, ControlBytesAreWrittenAsVisibleEscapes) {
  TempWorkDir dir;
  logAt(localTime(2026, 12, 5, 8, 0, 0))
      .write("1.2.3.4\n5.6.7.8", "[t]\r",
             std::string("a\x1f\x7f\tb\0c", 7) + "\x80\xff\xb6\xf1");
  EXPECT_EQ(dir.read(kDay),
            "2026-12-05 08:00:00 IP: 1.2.3.4\\x0a5.6.7.8 [t]\\x0d User-Agent: "
            "a\\x1f\\x7f\\x09b\\x00c\x80\xff\xb6\xf1\n");
}

TEST(DecisionLogTest, LogsAsPlainFileGivesOnlyTheOpenFailure) {
  TempWorkDir dir;
  dir.write("logs", "");
  ConsoleCapture console;
  logAt(localTime(2026, 12, 5, 8, 0, 0)).write("10.0.0.1", "[a]", "x");
  EXPECT_EQ(console.err(),
            std::string("Failed to open ") + kDay + " for writing.\n");
  EXPECT_EQ(dir.read("logs"), "");
}

TEST(DecisionLogTest, FailedCreationIsReportedBeforeTheOpenFailure) {
  TempWorkDir dir;
  // A dangling link: "logs" does not exist, yet it cannot be created.
  std::filesystem::create_symlink("missing/logs", "logs");
  ConsoleCapture console;
  logAt(localTime(2026, 12, 5, 8, 0, 0)).write("10.0.0.1", "[a]", "x");
  const std::string err = console.err();
  EXPECT_EQ(err.rfind(texts::kLogDirCreateError, 0), 0u) << err;
  EXPECT_NE(
      err.find(std::string("\nFailed to open ") + kDay + " for writing.\n"),
      std::string::npos)
      << err;
}

}  // namespace
