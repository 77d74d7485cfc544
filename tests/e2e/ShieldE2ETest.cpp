// The behaviour shield as a client meets it: refused from the request its
// limits predict, and never consulted when switched off. The volume limit
// drives these runs, since it needs only a few requests within a minute and
// no particular timing.
#include <gtest/gtest.h>

#include "support/GateProcess.h"
#include "support/HttpExchange.h"

namespace {

// Two requests within a minute are tolerated; the third and fourth add 20
// each, so the fourth reaches 40.
const nlohmann::json kSmallLimits = {
    {"shield",
     {{"score_threshold", 40}, {"limit_qps", 1000}, {"limit_burst_1min", 2}}}};

TEST(ShieldE2ETest, FastSenderIsRefusedFromThePredictedRequest) {
  GateProcess gate;
  gate.writeConfig(kSmallLimits);
  gate.start();
  const int port = gate.port();
  for (int request = 1; request <= 6; ++request) {
    EXPECT_EQ(HttpExchange::check(port, "10.9.0.1").status,
              request < 4 ? 200 : 401)
        << "request " << request;
  }
  EXPECT_EQ(HttpExchange::check(port, "10.9.0.2").status, 200);

  EXPECT_EQ(gate.dir().read("config/BadIPs.txt"), "10.9.0.1\n");
  EXPECT_NE(gate.out().find("[DynamicShield] BLOCKING MALICIOUS IP: 10.9.0.1 "
                            "(Score exceeded threshold)\n"),
            std::string::npos);
  // [Block-动态评估阻止] 401, in GBK
  EXPECT_NE(gate.decisionLog().find(
                " IP: 10.9.0.1 [Block-\xb6\xaf\xcc\xac\xc6\xc0\xb9\xc0\xd7"
                "\xe8\xd6\xb9] 401 User-Agent: Mozilla/5.0\n"),
            std::string::npos);
}

TEST(ShieldE2ETest, SwitchedOffShieldRefusesNobody) {
  GateProcess gate;
  nlohmann::json config = kSmallLimits;
  config["shield"]["score_threshold"] = 0;  // would refuse every request
  config["features"] = {{"enable_dynamic_shield", false}};
  gate.writeConfig(config);
  gate.dir().write("config/GoodIPs.txt", " 10.9.0.9\n");
  gate.start();
  for (int request = 1; request <= 10; ++request) {
    EXPECT_EQ(HttpExchange::check(gate.port(), "10.9.0.1").status, 200)
        << "request " << request;
  }
  // Built all the same: it loaded its whitelist at start.
  EXPECT_NE(
      gate.out().find("[DynamicShield] Loaded 1 IPs into local whitelist.\n"),
      std::string::npos);
  EXPECT_EQ(gate.out().find("BLOCKING"), std::string::npos);
  EXPECT_EQ(gate.dir().read("config/BadIPs.txt"), "");
}

}  // namespace
