#include "screening/FPCheck.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "core/Texts.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

constexpr char kGermany[] = R"({"country":"Germany","countryCode":"DE"})";

// Plays the geo service on loopback: canned answers per address, a count of
// the lookups, and addresses whose answer waits until the service ends.
class FakeGeoService {
 public:
  FakeGeoService() {
    server_.Get(R"(/json/(.*))", [this](const httplib::Request& request,
                                        httplib::Response& response) {
      respond(request.matches[1], response);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~FakeGeoService() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
    }
    ended_.notify_all();
    server_.stop();
    thread_.join();
  }

  std::string url() const {
    return "http://127.0.0.1:" + std::to_string(port_);
  }

  void answer(const std::string& ip, int status, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[ip] = {status, body};
  }
  void stall(const std::string& ip) {
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_.insert(ip);
  }
  int lookups(const std::string& ip) {
    std::lock_guard<std::mutex> lock(mutex_);
    return lookups_[ip];
  }

 private:
  void respond(const std::string& ip, httplib::Response& response) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++lookups_[ip];
    if (stalled_.count(ip)) ended_.wait(lock, [this] { return ending_; });
    const auto& [status, body] = answers_[ip];
    response.status = status;
    response.set_content(body, "application/json");
  }

  httplib::Server server_;
  int port_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool ending_ = false;
  std::map<std::string, std::pair<int, std::string>> answers_;
  std::set<std::string> stalled_;
  std::map<std::string, int> lookups_;
};

// Stands in for the worker's 5-second pause: the test lets one cycle run at
// a time and waits until the worker has finished it and paused again.
class CycleGate {
 public:
  std::function<void()> pause() {
    return [this] {
      std::unique_lock<std::mutex> lock(mutex_);
      ++pauses_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return open_ || passes_ > 0; });
      if (!open_) --passes_;
    };
  }
  void runOneCycle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return pauses_ > cycles_; });
    ++passes_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return pauses_ > cycles_ + 1; });
    ++cycles_;
  }
  // Every pause from now on returns at once.
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int pauses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pauses_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int pauses_ = 0;
  int passes_ = 0;
  int cycles_ = 0;
  bool open_ = false;
};

class GeoTest : public ::testing::Test {
 protected:
  GeoTest() { dir_.write("config/ForeignIps.txt", "198.51.100.1\n"); }
  ~GeoTest() override {
    if (!check_) return;
    check_->requestGeoStop();
    gate_.open();
  }

  FPCheck& check() {
    if (!check_) {
      check_ = std::make_unique<FPCheck>("config");
      check_->setGeoServiceUrlForTesting(service_.url());
      console_.clear();
    }
    return *check_;
  }
  void startWorker() { check().startGeoWorkerForTesting(gate_.pause()); }
  void log(const std::string& ip) {
    check().logAllowedIp(ip, texts::kAllowedTag, "ua");
  }
  static std::string line(const std::string& ip, const std::string& verdict) {
    return texts::kGeoCheckPrefix + ip + " is " + verdict + "\n";
  }

  FakeGeoService service_;
  TempWorkDir dir_;
  ConsoleCapture console_;
  CycleGate gate_;
  std::unique_ptr<FPCheck> check_;
};

void expectVerdict(const GeoResult& result, bool isForeign,
                   const std::string& country) {
  EXPECT_EQ(result.isForeign, isForeign);
  EXPECT_EQ(result.country, country);
}

TEST_F(GeoTest, ClassifiesTheAnswerByPlainByteSearch) {
  const std::pair<const char*, GeoResult> cases[] = {
      {R"({"country":"China","countryCode":"CN"})", {false, "CN"}},
      {R"({"countryCode":"CN"})", {false, "CN"}},
      {kGermany, {true, "Germany"}},
      {R"({"country":"","countryCode":"XX"})", {true, ""}},
      {R"({"country":")", {true, "Foreign"}},
      {R"({"country" : "China", "countryCode" : "CN"})", {true, "Foreign"}},
      {"", {true, "Foreign"}},
      {R"({"countryCode":"cn"})", {true, "Foreign"}},
  };
  for (const auto& [body, expected] : cases) {
    SCOPED_TRACE(body);
    service_.answer("192.0.2.1", 200, body);
    expectVerdict(check().lookupGeo("192.0.2.1"), expected.isForeign,
                  expected.country);
  }
  EXPECT_EQ(service_.lookups("192.0.2.1"), 8);
}

TEST_F(GeoTest, FailedExchangesCountAsDomesticUnknown) {
  for (int status : {404, 429, 503}) {
    service_.answer("192.0.2.1", status, kGermany);
    expectVerdict(check().lookupGeo("192.0.2.1"), false, "Unknown");
  }
  service_.stall("192.0.2.2");  // answers only after the read time-out
  expectVerdict(check().lookupGeo("192.0.2.2"), false, "Unknown");

  // The port of a service that has ended refuses connections.
  check().setGeoServiceUrlForTesting(FakeGeoService().url());
  expectVerdict(check().lookupGeo("192.0.2.1"), false, "Unknown");
}

// "logs" as a plain file: the decision log fails, yet every logged address
// still reaches the worker.
TEST_F(GeoTest, ForeignAddressIsRememberedAndAppendedOnce) {
  dir_.write("logs", "");
  service_.answer("192.0.2.1", 200, kGermany);
  service_.answer("198.51.100.1", 200, kGermany);
  startWorker();
  log("192.0.2.1");
  gate_.runOneCycle();
  log("192.0.2.1");
  gate_.runOneCycle();
  log("198.51.100.1");
  gate_.runOneCycle();
  EXPECT_TRUE(check().isForeignIp("192.0.2.1"));
  EXPECT_TRUE(check().isForeignIp("198.51.100.1"));
  EXPECT_FALSE(check().isForeignIp("192.0.2.2"));
  EXPECT_EQ(dir_.read("config/ForeignIps.txt"), "198.51.100.1\n192.0.2.1\n");
  EXPECT_EQ(console_.out(), line("192.0.2.1", "Foreign - Germany") +
                                line("192.0.2.1", "Foreign - Germany") +
                                line("198.51.100.1", "Foreign - Germany"));
}

TEST_F(GeoTest, EveryVerdictEndsTheWaitAndTheEmptyAddressHoldsUpNobody) {
  service_.answer("192.0.2.1", 503, "");
  service_.answer("192.0.2.2", 200, R"({"country":"","countryCode":"CN"})");
  startWorker();
  for (const char* ip : {"192.0.2.1", "192.0.2.1", "192.0.2.2", ""}) log(ip);
  for (int cycle = 0; cycle < 3; ++cycle) gate_.runOneCycle();
  EXPECT_EQ(service_.lookups("192.0.2.1"), 1);
  EXPECT_EQ(service_.lookups("192.0.2.2"), 1);
  EXPECT_EQ(service_.lookups(""), 0);
  EXPECT_FALSE(check().isForeignIp("192.0.2.2"));
  const std::string out = console_.out();
  EXPECT_TRUE(out == line("192.0.2.1", "Domestic - Unknown") +
                         line("192.0.2.2", "Domestic - CN") ||
              out == line("192.0.2.2", "Domestic - CN") +
                         line("192.0.2.1", "Domestic - Unknown"))
      << out;
}

TEST_F(GeoTest, StopRequestedBeforeStartEndsTheWorkerWithoutAPause) {
  log("192.0.2.1");
  check().requestGeoStop();
  startWorker();
  check_.reset();  // joins the worker
  EXPECT_EQ(gate_.pauses(), 0);
  EXPECT_EQ(service_.lookups("192.0.2.1"), 0);
}

}  // namespace
