#include "firewall/Firewall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "core/Config.h"
#include "firewall/CommandRunner.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

using Lines = std::vector<std::string>;

void nap() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// Records each command and answers it with `answer`. The watch thread parks
// in its sleeps until letSleepsPass() lets them go; read fields only then.
struct Harness {
  explicit Harness(const std::string& badIps = "", int interval = 10) {
    configure(interval, "QV");
    if (!badIps.empty()) writeBadIps(badIps, 0);
    auto run = [this](const std::string& line) {
      commands.push_back(line);
      return answer(line);
    };
    firewall = std::make_unique<Firewall>(
        "config", run, [this](const std::atomic<bool>& stop) {
          for (++sleeps; sleeps > allowed && !stop;) nap();
        });
    letSleepsPass(0);
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
    std::filesystem::last_write_time(dir.path() / "config/BadIPs.txt",
                                     base + std::chrono::seconds(second));
  }
  void letSleepsPass(int count) {  // and waits until the thread parks again
    for (allowed += count; sleeps <= allowed;) nap();
  }

  TempWorkDir dir;
  ConsoleCapture console;
  const std::filesystem::file_time_type base =
      std::filesystem::file_time_type::clock::now();
  Lines commands;
  std::function<int(const std::string&)> answer = [](auto&) { return 0; };
  std::atomic<int> sleeps = 0, allowed = 0;
  std::unique_ptr<Firewall> firewall;  // last: stopped first
};

std::string rule(const std::string& name, const std::string& ips,
                 bool add = false) {
  return "netsh advfirewall firewall " + std::string(add ? "add" : "set") +
         " rule name=\"" + name + (add ? "\" dir=in action=block" : "\" new") +
         " remoteip=\"" + ips + "\"";
}

std::string updating(int ips, int rules) {
  return "[Firewall-Win] Updating " + std::to_string(ips) + " IPs into " +
         std::to_string(rules) + " rules.\n";
}

// A failed update creates the rule; a failed creation is reported.
TEST(FirewallTest, UpdatesOrCreatesRulesOf450) {
  Harness h;
  h.answer = [](const std::string& command) {
    if (command.find(" set ") != std::string::npos) return 1;
    return command.find("QV_0") != std::string::npos ? 5 : 0;
  };
  Lines ips;
  std::string joined[2];
  for (int i = 0; i < 451; ++i) {
    ips.push_back("2001:db8::" + std::to_string(i));
    joined[i / 450] += (i % 450 ? "," : "") + ips.back();
  }
  h.firewall->updateWindowsRules(ips);
  ips.pop_back();
  h.firewall->updateWindowsRules(ips);
  const std::string set0 = rule("QV_0", joined[0]);
  const std::string add0 = rule("QV_0", joined[0], true);
  EXPECT_EQ(h.commands, (Lines{set0, add0, rule("QV_1", joined[1]),
                               rule("QV_1", joined[1], true), set0, add0}));
  const std::string created = "[Firewall] Creating new rule: QV_";
  EXPECT_EQ(h.console.out(), updating(451, 2) + created + "0...\n" + created +
                                 "1...\n" + updating(450, 1) + created +
                                 "0...\n");
  const std::string failed =
      "!!! [Firewall Error] Failed to add rule. Error Code: 5\n"
      "!!! Please ensure you are running as ADMINISTRATOR.\n";
  EXPECT_EQ(h.console.err(), failed + failed);
}

// What could act as syntax or split an argument never reaches a command.
TEST(FirewallTest, UnsafeEntriesAndNamesReachNoCommand) {
  const Lines entries = {
      "10.0.0.0/8",      "10.0.0.1-10.0.0.9", "1.1.1.1\"", "1.1.1.1;2.2.2.2",
      "1.1.1.1 2.2.2.2", "1.1.$(id).1",       "",          "-exist",
      "--1.1.1.1"};
  const Lines unsafe(entries.begin() + 2, entries.end());
  Harness h;
  h.firewall->updateWindowsRules(entries);
  h.firewall->updateWindowsRules(unsafe);  // nothing left: nothing announced
  std::string err;
  for (const std::string& entry : unsafe)
    err += "[Firewall] Skipping unsafe entry: " + entry + "\n";
  err += err;
  for (const std::string name : {"QV\"", "QV 0", "QV\t", "-QV"}) {
    h.configure(10, name);
    h.firewall->updateWindowsRules({"1.1.1.1"});
    err += "!!! [Firewall Error] Unsafe strategy name, no rule command run: " +
           (name == "QV\t" ? "QV\\x09" : name) + "\n";
  }
  EXPECT_EQ(h.commands, Lines{rule("QV_0", "10.0.0.0/8,10.0.0.1-10.0.0.9")});
  EXPECT_EQ(h.console.out(),
            updating(2, 1) + "[Firewall] Updated rule: QV_0\n");
  EXPECT_EQ(h.console.err(), err);
}

// Entries are trimmed and need 7 characters and a dot. The interval is read
// once, at least 10; a write time changed either way syncs once; stop is quick.
TEST(FirewallTest, WatchSyncsOncePerChangedWriteTime) {
  for (const auto& [configured, effective] : {std::pair{9, 10}, {11, 11}}) {
    Harness h(" 10.0.0.1 \n1.2.3.4\n1.2.34\n2001:db8::1\n", configured);
    h.configure(30, "QV");  // read once: ignored from now on
    h.writeBadIps("1.1.1.1\n", 5);
    h.letSleepsPass(effective - 1);
    EXPECT_EQ(h.commands.size(), 1u);
    h.letSleepsPass(1);
    EXPECT_EQ(h.commands.size(), 2u);
    h.letSleepsPass(effective);     // unchanged: nothing
    h.writeBadIps("short\n", -60);  // an older copy: nothing to apply
    h.letSleepsPass(effective + 3);
    h.writeBadIps("1.1.1.1\n", 6);  // pending at the stop: never synced
    h.firewall.reset();
    EXPECT_EQ(h.sleeps, 3 * effective + 4);
    EXPECT_EQ(h.commands, (Lines{rule("QV_0", "10.0.0.1,1.2.3.4"),
                                 rule("QV_0", "1.1.1.1")}));
    const std::string change =
        "[Firewall] Detected BadIPs.txt change. Syncing rules.....\n";
    const std::string updated = "[Firewall] Updated rule: QV_0\n";
    EXPECT_EQ(h.console.out(), updating(2, 1) + updated + change +
                                   updating(1, 1) + updated + change);
  }
}

// No shell: quotes group blanks and are dropped; the rest is plain text.
TEST(CommandRunnerTest, RunsTheSplitLineWithoutAShell) {
  EXPECT_EQ(CommandRunner::split("n=\"b c\"\t\"\" "), (Lines{"n=b c", ""}));
  TempWorkDir dir;
  EXPECT_EQ(CommandRunner::runCommandLine("touch a;b $(touch${IFS}c)"), 0);
  EXPECT_TRUE(std::filesystem::exists("a;b") &&
              std::filesystem::exists("$(touch${IFS}c)"));
  EXPECT_EQ(CommandRunner::runCommandLine("qv-no-such-program"), -1);
}

}  // namespace
