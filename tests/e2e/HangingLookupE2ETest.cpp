// A reverse lookup that hangs, through the gate's real server and route in
// this process: the host's resolver cannot be made to hang on demand, so the
// crawler verification gets a resolver that blocks until the test lets it
// go. Requests are answered all the while; the verdicts follow the release.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "botguard/BotGuard.h"
#include "core/Config.h"
#include "screening/FPCheck.h"
#include "server/CheckRoute.h"
#include "server/GateServer.h"
#include "shield/DynamicShield.h"
#include "support/ChildProcess.h"
#include "support/GateProcess.h"
#include "support/HttpExchange.h"
#include "support/TempWorkDir.h"

namespace {

constexpr char kHangingIp[] = "198.51.100.20";

// Every name lookup fails, after blocking while it is about kHangingIp and
// the test has not released it. Records what it was asked.
class HangingResolver {
 public:
  HostResolver resolver() {
    return HostResolver{
        [this](const in_addr& address) -> std::optional<std::string> {
          char text[INET_ADDRSTRLEN];
          inet_ntop(AF_INET, &address, text, sizeof text);
          std::unique_lock<std::mutex> lock(mutex_);
          asked_.push_back(text);
          changed_.notify_all();
          if (asked_.back() == kHangingIp)
            changed_.wait(lock, [this] { return released_; });
          return std::nullopt;
        },
        [](const std::string&) { return std::vector<in_addr>(); }};
  }

  bool waitUntilAsked(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return asked_.size() >= count; });
  }

  std::vector<std::string> asked() {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
  }

  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> asked_;
  bool released_ = false;
};

class HangingLookupE2ETest : public ::testing::Test {
 protected:
  HangingLookupE2ETest()
      : fpCheck_("config"),
        botGuard_(&fpCheck_, "config", resolver_.resolver()),
        shield_("config"),
        port_(GateProcess::freePort()) {}

  void SetUp() override {
    dir_.write("config.json",
               R"({"features": {"enable_dynamic_shield": false,
                                "enable_console_log": false}})");
    ASSERT_TRUE(Config::instance().load("config.json"));
    server_.Get("/check", [this](const httplib::Request& request,
                                 httplib::Response& response) {
      checkHandler(context_, request, response);
    });
    serving_ = std::thread([this] { server_.serve("127.0.0.1", port_); });
    while (!server_.is_running()) std::this_thread::yield();
  }

  void TearDown() override {
    resolver_.release();
    server_.stop();
    serving_.join();
  }

  bool waitUntilBlacklisted(const std::string& ip) {
    return ChildProcess::pollUntil(10000, [&] { return fpCheck_.isBadIp(ip); });
  }

  std::string check(const std::string& ip, const std::string& userAgent) {
    return HttpExchange::check(port_, ip, "/", userAgent).body;
  }

  TempWorkDir dir_;
  HangingResolver resolver_;
  FPCheck fpCheck_;
  BotGuard botGuard_;
  DynamicShield shield_;
  const CheckHandlerContext context_{Config::instance(), botGuard_, fpCheck_,
                                     shield_};
  GateServer server_;
  const int port_;
  std::thread serving_;
};

TEST_F(HangingLookupE2ETest, RequestsAreAnsweredWhileALookupHangs) {
  EXPECT_EQ(check(kHangingIp, "hangbot"), "OK");
  ASSERT_TRUE(resolver_.waitUntilAsked(1));
  for (int i = 1; i <= 20; ++i) {
    EXPECT_EQ(check("198.51.100." + std::to_string(100 + i), "otherbot"), "OK");
  }
  // Everything else waits behind the hanging lookup, not the requests.
  EXPECT_EQ(resolver_.asked(), std::vector<std::string>{kHangingIp});
  EXPECT_FALSE(fpCheck_.isBadIp(kHangingIp));

  resolver_.release();
  // Verdicts come in queue order: the last one means all are in.
  ASSERT_TRUE(waitUntilBlacklisted("198.51.100.120"));
  EXPECT_EQ(check(kHangingIp, "Mozilla/5.0"), "Blocked By Error Handler");
  EXPECT_EQ(check("198.51.100.101", "Mozilla/5.0"), "Blocked By Error Handler");
}

}  // namespace
