#include "firewall/CommandRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempWorkDir.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

TEST(CommandRunnerTest, SplitsAtBlanksOutsideQuotesAndDropsTheQuotes) {
  EXPECT_EQ(CommandRunner::split("netsh advfirewall firewall set rule "
                                 "name=\"QV_0\" new remoteip=\"1.1.1.1,::1\""),
            (Args{"netsh", "advfirewall", "firewall", "set", "rule",
                  "name=QV_0", "new", "remoteip=1.1.1.1,::1"}));
  EXPECT_EQ(CommandRunner::split("  a\t \"b c\"d \"\" "),
            (Args{"a", "b cd", ""}));
  EXPECT_EQ(CommandRunner::split(" "), Args{});
}

TEST(CommandRunnerTest, ReturnsTheExitStatusOrMinusOne) {
  EXPECT_EQ(CommandRunner::run({"true"}), 0);
  EXPECT_EQ(CommandRunner::run({"sh", "-c", "exit 7"}), 7);
  EXPECT_EQ(CommandRunner::run({"sh", "-c", "kill -9 $$"}), 128 + 9);
  EXPECT_EQ(CommandRunner::run({"qv-no-such-program"}), -1);
  EXPECT_EQ(CommandRunner::run({}), -1);
}

TEST(CommandRunnerTest, ShellSyntaxReachesTheProgramAsPlainText) {
  TempWorkDir dir;
  EXPECT_EQ(
      CommandRunner::runCommandLine(
          "touch \"a;touch b\" $(touch${IFS}c) `touch${IFS}d`|touch${IFS}e"),
      0);
  std::vector<std::string> created;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    created.push_back(entry.path().filename().string());
  }
  std::sort(created.begin(), created.end());
  EXPECT_EQ(created, (Args{"$(touch${IFS}c)", "`touch${IFS}d`|touch${IFS}e",
                           "a;touch b"}));
}

}  // namespace
