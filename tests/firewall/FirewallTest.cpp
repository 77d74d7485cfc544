#include "firewall/Firewall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/Config.h"
#include "firewall/CommandRunner.h"
#include "support/ConsoleCapture.h"
#include "support/GateProcess.h"
#include "support/TempWorkDir.h"

namespace {

using Lines = std::vector<std::string>;

// Records each command; those on rule QV_1 fail with status 5. The watch
// thread parks in its sleeps until letSleepsPass() lets them go.
struct FirewallTest : testing::Test {
  FirewallTest() {
    configure(9, "QV");  // below the minimum interval of 10
    firewall.emplace(
        "config",
        [this](const std::string& line) {
          commands.push_back(line);
          return line.find("QV_1") == std::string::npos ? 0 : 5;
        },
        [this](const std::atomic<bool>& stop) {
          for (++sleeps; sleeps > allowed && !stop;) std::this_thread::yield();
        });
    letSleepsPass(0);  // settings may change once the interval is read
  }
  void configure(int interval, const std::string& strategyName) {
    nlohmann::json settings;
    settings["firewall"] = {{"sync_interval_seconds", interval},
                            {"strategy_name", strategyName}};
    dir.write("config.json", settings.dump());
    Config::instance().load("config.json");
  }
  // Times from a fixed base: a change is seen whatever the clock resolution.
  void writeBadIps(const std::string& content, int second) {
    dir.write("config/BadIPs.txt", content);
    std::filesystem::last_write_time("config/BadIPs.txt",
                                     base + std::chrono::seconds(second));
  }
  void letSleepsPass(int count) {  // and waits until the thread parks again
    allowed += count;
    EXPECT_TRUE(GateProcess::pollUntil([this] { return sleeps > allowed; }))
        << "the watch never reached sleep " << allowed + 1;
  }

  TempWorkDir dir;
  ConsoleCapture console;
  const std::filesystem::file_time_type base =
      std::filesystem::file_time_type::clock::now();
  Lines commands;
  std::atomic<int> sleeps = 0, allowed = 0;
  std::optional<Firewall> firewall;  // last: stopped first
};

std::string rule(std::string name, std::string ips, bool add = false) {
  return "netsh advfirewall firewall " + std::string(add ? "add" : "set") +
         " rule name=\"" + name + (add ? "\" dir=in action=block" : "\" new") +
         " remoteip=\"" + ips + "\"";
}

// Rules of 450 addresses; a failed update creates the rule. What could act as
// syntax or split an argument never reaches a command; if that is all, no line.
TEST_F(FirewallTest, AppliesSafeEntriesInRulesOf450) {
  Lines entries(451, "2001:db8::1");
  firewall->updateWindowsRules(entries);
  EXPECT_EQ(console.err(),
            "!!! [Firewall Error] Failed to add rule. Error Code: 5\n"
            "!!! Please ensure you are running as ADMINISTRATOR.\n");
  entries.back() = "1.1.$(id).1";  // 450 left
  firewall->updateWindowsRules(entries);
  firewall->updateWindowsRules({"1.1.1.1\"", "1.1.1.1;2.2.2.2",
                                "1.1.1.1 2.2.2.2", "1.1.1.1\t2.2.2.2", "",
                                "-exist", "--1.1.1.1"});
  EXPECT_EQ(console.out(),
            "[Firewall-Win] Updating 451 IPs into 2 rules.\n"
            "[Firewall] Updated rule: QV_0\n"
            "[Firewall] Creating new rule: QV_1...\n"
            "[Firewall-Win] Updating 450 IPs into 1 rules.\n"
            "[Firewall] Updated rule: QV_0\n");
  for (const std::string name : {"QV\"", "QV 0", "QV\t", "-QV"}) {
    configure(9, name);
    firewall->updateWindowsRules({"1.1.1.1"});
  }
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[1], rule("QV_1", "2001:db8::1"));
  EXPECT_EQ(commands[2], rule("QV_1", "2001:db8::1", true));
  configure(9, "QV");  // the ipset variant filters alike
  firewall->syncLinuxIpset({"1.1.1.1", "-exist", "1.1.1.1 2.2.2.2"});
  EXPECT_EQ(Lines(commands.begin() + 4, commands.end()),
            (Lines{"ipset create QV_tmp hash:ip -exist", "ipset flush QV_tmp",
                   "ipset add QV_tmp 1.1.1.1 -exist", "ipset swap QV_tmp QV",
                   "ipset destroy QV_tmp"}));
}

// Entries are trimmed and need 7 characters and a dot. The interval is read
// once, at least 10; a write time changed either way syncs once; stop is quick.
TEST_F(FirewallTest, WatchSyncsOncePerChangedWriteTime) {
  writeBadIps("1.1.1.1\n", 5);  // replaced before the first cycle ends
  letSleepsPass(9);
  configure(30, "QV");  // read once: ignored from now on
  writeBadIps(" 10.0.0.1 \n1.2.3.4\n1.2.34\n2001:db8::1\n", 6);
  letSleepsPass(11);            // a cycle without a change: nothing
  writeBadIps("short\n", -60);  // an older copy: nothing to apply
  letSleepsPass(13);
  writeBadIps("1.1.1.1\n", 7);  // pending at the stop: never synced
  firewall.reset();
  EXPECT_EQ(commands, Lines{rule("QV_0", "10.0.0.1,1.2.3.4")});
  EXPECT_EQ(console.out(),
            "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n"
            "[Firewall-Win] Updating 2 IPs into 1 rules.\n"
            "[Firewall] Updated rule: QV_0\n"
            "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n");
}

// No shell: quotes group blanks and are dropped; the rest is plain text.
TEST(CommandRunnerTest, RunsTheSplitLineWithoutAShell) {
  EXPECT_EQ(CommandRunner::split("n=\"b c\"\t\"\" "), (Lines{"n=b c", ""}));
  EXPECT_EQ(CommandRunner::runCommandLine("test a;b = a;b"), 0);
  EXPECT_EQ(CommandRunner::runCommandLine("qv-no-such-program"), -1);
}

}  // namespace
