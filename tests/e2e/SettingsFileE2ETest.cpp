// "config.json" malformed in each way the settings loader accepts or
// refuses, through the real gate: what it says, the settings its banner
// shows, and whether it serves on the configured port.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"

namespace {

constexpr char kWarning[] =
    "[Warning] Config load failed, using default values.\n";
constexpr char kParseError[] = "[Config] JSON Parse error: ";

struct SettingsCase {
  std::string name;
  std::string content;  // with the placeholders of withPort
  std::string errStart;
  std::string errDetail;  // must appear in standard error as well
  bool servesOnItsPort;   // else it fell back to the default 5000
  std::string shieldAndFirewall;
};

std::vector<SettingsCase> cases() {
  const std::string parseFailed = kParseError;
  const std::string off = R"("features": {"enable_firewall_sync": false})";
  return {
      {"syntax error", R"({"server": {"port": $P,}})", parseFailed,
       "parse error", false, "ON ON"},
      {"comment", "{\"server\": {\"port\": $P} // port\n}", parseFailed,
       "parse error", false, "ON ON"},
      {"empty file", "", parseFailed, "parse error", false, "ON ON"},
      {"ill-formed UTF-8", "{\"firewall\": {\"strategy_name\": \"\xb2\xbb\"}}",
       parseFailed, "ill-formed UTF-8 byte", false, "ON ON"},
      {"not an object", "[1, 2]", "", "", false, "ON ON"},
      {"section not an object", R"({"server": "$P"})", parseFailed,
       "cannot use value() with string", false, "ON ON"},
      {"port as a string", R"({"server": {"host": "127.0.0.1", "port": "$P"}})",
       parseFailed, "type must be number, but is string", false, "ON ON"},
      {"boolean as a number",
       R"({"server": {"port": $P}, "features": {"enable_dynamic_shield": false,
           "enable_firewall_sync": false, "enable_console_log": 0},
           "firewall": {"strategy_name": "later"}})",
       parseFailed, "type must be boolean, but is number", true, "OFF OFF"},
      {"port past 32 bits", R"({"server": {"port": $Q}, )" + off + "}", "", "",
       true, "ON OFF"},
      {"port with a fraction", R"({"server": {"port": $P.9}, )" + off + "}", "",
       "", true, "ON OFF"},
      {"fraction past 32 bits", R"({"server": {"port": 1e12}})", parseFailed,
       "out of the 32-bit integer range", false, "ON ON"},
      {"byte-order mark and a second value",
       "\xef\xbb\xbf{\"server\": {\"port\": $P}, " + off + "} {\"x\": [", "",
       "", true, "ON OFF"},
  };
}

std::string replaced(std::string text, const std::string& from,
                     const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// "$P" is the port; "$Q" is 2^32 plus the port, whose low 32 bits are the
// port again.
std::string withPort(const std::string& text, int port) {
  return replaced(replaced(text, "$Q", std::to_string((1LL << 32) + port)),
                  "$P", std::to_string(port));
}

TEST(SettingsFileE2ETest, EachMalformedFileIsReportedOrAcceptedAsItShouldBe) {
  for (const SettingsCase& c : cases()) {
    SCOPED_TRACE(c.name);
    GateProcess gate;
    const std::string content = withPort(c.content, gate.port());
    gate.dir().write("config.json", content);
    gate.start(/*waitUntilServing=*/c.servesOnItsPort);
    ASSERT_TRUE(gate.waitForOut(" Firewall Sync : "));
    const int port = c.servesOnItsPort ? gate.port() : 5000;
    const size_t blank = c.shieldAndFirewall.find(' ');
    const std::string shield = c.shieldAndFirewall.substr(0, blank);
    const std::string firewall = c.shieldAndFirewall.substr(blank + 1);
    EXPECT_NE(
        gate.out().find(" Listening on  : 127.0.0.1:" + std::to_string(port) +
                        "\n Dynamic Shield: " + shield +
                        "\n Firewall Sync : " + firewall),
        std::string::npos)
        << gate.out();
    const std::string err = gate.err();
    if (c.errStart.empty()) {
      EXPECT_EQ(err.find("[Config]"), std::string::npos) << err;
      EXPECT_EQ(err.find(kWarning), std::string::npos) << err;
    } else {
      EXPECT_EQ(err.rfind(c.errStart, 0), 0u) << err;
      EXPECT_NE(err.find(c.errDetail), std::string::npos) << err;
      EXPECT_NE(err.find(kWarning), std::string::npos) << err;
    }
    if (c.servesOnItsPort) {
      EXPECT_EQ(HttpExchange::check(gate.port(), "203.0.113.1").body, "OK");
    }
  }
}

TEST(SettingsFileE2ETest, AbsentFileOrADirectoryInItsPlaceGivesTheDefaults) {
  for (const bool directory : {false, true}) {
    SCOPED_TRACE(directory ? "directory" : "absent");
    GateProcess gate;
    if (directory)
      std::filesystem::create_directory(gate.dir().path() / "config.json");
    gate.start(/*waitUntilServing=*/false);
    const std::string rule(50, '-');
    ASSERT_TRUE(gate.waitForOut(rule +
                                "\n Quorvantel V2.1 Running...\n"
                                " Listening on  : 127.0.0.1:5000\n"
                                " Dynamic Shield: ON\n"
                                " Firewall Sync : ON\n" +
                                rule + "\n"))
        << gate.out();
    EXPECT_EQ(
        gate.err().rfind(std::string("[Config] Failed to open config.json. "
                                     "Using defaults.\n") +
                             kWarning,
                         0),
        0u)
        << gate.err();
  }
}

}  // namespace
