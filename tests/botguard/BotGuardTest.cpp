#include "botguard/BotGuard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Texts.h"
#include "screening/FPCheck.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"
#include "support/TextLines.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kCrawler[] = "Googlebot/2.1";

// DNS answers written down by the test before the worker starts. It records
// the reverse queries, and can hold the worker inside the reverse lookup of
// one address until the test releases it, so that jobs queue up behind it.
class ScriptedDns {
 public:
  // A reverse record of `ip` and the forward record that confirms it.
  void name(const std::string& ip, const std::string& host) {
    names_[ip] = host;
    addresses_.emplace(host, ip);
  }
  void reverseOnly(const std::string& ip, const std::string& host) {
    names_[ip] = host;
  }
  void forward(const std::string& host, const std::string& ip) {
    addresses_.emplace(host, ip);
  }

  void holdAt(const std::string& ip) {
    std::lock_guard<std::mutex> lock(mutex_);
    heldIp_ = ip;
  }
  void waitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return held_; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  Strings reverseQueries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_;
  }

  HostResolver resolver() {
    return HostResolver{
        [this](const in_addr& address) { return nameOf(address); },
        [this](const std::string& host) { return addressesOf(host); }};
  }

 private:
  std::optional<std::string> nameOf(const in_addr& address) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    std::unique_lock<std::mutex> lock(mutex_);
    queries_.push_back(text);
    if (heldIp_ == text) {
      held_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    }
    auto found = names_.find(text);
    if (found == names_.end()) return std::nullopt;
    return found->second;
  }

  std::vector<in_addr> addressesOf(const std::string& host) {
    std::vector<in_addr> answers;
    auto [first, last] = addresses_.equal_range(host);
    for (auto it = first; it != last; ++it) {
      answers.emplace_back();
      inet_pton(AF_INET, it->second.c_str(), &answers.back());
    }
    return answers;
  }

  std::map<std::string, std::string> names_;
  std::multimap<std::string, std::string> addresses_;
  std::mutex mutex_;  // guards what follows
  std::condition_variable changed_;
  Strings queries_;
  std::string heldIp_;
  bool held_ = false;
  bool released_ = false;
};

std::string validLine(const std::string& ip) {
  return texts::kValidBotPrefix + ip + "\n";
}

std::string fakeLine(const std::string& ip) {
  return texts::kFakeBotPrefix + ip + texts::kFakeBotSuffix + "\n";
}

std::string dnsFailedLine(const std::string& ip, const std::string& host) {
  return texts::kDnsCheckFailedPrefix + ip + texts::kDnsCheckFailedSeparator +
         host + "\n";
}

// A BotGuard on scripted DNS with a real FPCheck behind it, the console
// captured until the BotGuard's worker has ended.
class BotGuardTest : public ::testing::Test {
 protected:
  BotGuardTest() {
    dir_.write("config/GoodSpiderDomainKey.txt", "googlebot.com\n");
  }

  BotGuard& start() {
    fpCheck_ = std::make_unique<FPCheck>("config");
    guard_ =
        std::make_unique<BotGuard>(fpCheck_.get(), "config", dns_.resolver());
    return *guard_;
  }

  // Destroys the BotGuard, which verifies what is still queued, and returns
  // the console output.
  std::string finish() {
    guard_.reset();
    return console_.out();
  }

  // Queues `sentinel` and waits until the worker is held in its lookup: every
  // job queued before it has had its verdict by then.
  void settle(const std::string& sentinel) {
    dns_.holdAt(sentinel);
    guard_->enqueueIfBot(sentinel, kCrawler);
    dns_.waitUntilHeld();
  }

  TempWorkDir dir_;
  ScriptedDns dns_;
  ConsoleCapture console_;
  std::unique_ptr<FPCheck> fpCheck_;
  std::unique_ptr<BotGuard> guard_;
};

// ---- Queue -----------------------------------------------------------------

TEST_F(BotGuardTest, QueueHoldsOneJobPerAddressInArrivalOrder) {
  BotGuard& guard = start();
  settle("10.0.0.9");
  // 10.0.0.9 is under lookup; the others are queued.
  for (const char* ip : {"10.0.0.3", "10.0.0.1", "10.0.0.3", "10.0.0.2",
                         "10.0.0.1", "10.0.0.9"}) {
    guard.enqueueIfBot(ip, kCrawler);
  }
  dns_.release();
  finish();
  EXPECT_EQ(dns_.reverseQueries(),
            (Strings{"10.0.0.9", "10.0.0.3", "10.0.0.1", "10.0.0.2"}));
}

TEST_F(BotGuardTest, ListedAddressesAreAlwaysAllowedAndNeverQueued) {
  dir_.write("config/GoodIPs.txt", "10.0.0.1 \t\r\n  10.0.0.2\n \n");
  BotGuard& guard = start();
  EXPECT_TRUE(guard.isGoodIp("10.0.0.1"));
  EXPECT_FALSE(guard.isGoodIp("10.0.0.2"));  // leading blanks stay
  EXPECT_TRUE(guard.isGoodIp("  10.0.0.2"));
  EXPECT_FALSE(guard.isGoodIp(""));
  guard.enqueueIfBot("10.0.0.1", kCrawler);
  finish();
  EXPECT_TRUE(dns_.reverseQueries().empty());
}

TEST_F(BotGuardTest, CrawlerWordsMatchInAnyCaseButNotShorter) {
  BotGuard& guard = start();
  guard.enqueueIfBot("10.0.0.1", "robot");
  guard.enqueueIfBot("10.0.0.2", "SomeBot");
  guard.enqueueIfBot("10.0.0.3", "SPIDER");
  guard.enqueueIfBot("10.0.0.4", "Mozilla/5.0");
  guard.enqueueIfBot("10.0.0.5", "bo");
  guard.enqueueIfBot("10.0.0.6", "Spide");
  finish();
  Strings queried = dns_.reverseQueries();
  std::sort(queried.begin(), queried.end());
  EXPECT_EQ(queried, (Strings{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
}

// ---- Verdicts --------------------------------------------------------------

TEST_F(BotGuardTest, KeyedNameThatResolvesBackIsAdmittedOnce) {
  // Capitals in the name still match the lower-case key.
  dns_.name("66.249.66.1", "Crawl-66-249-66-1.GoogleBot.com");
  BotGuard& guard = start();
  guard.enqueueIfBot("66.249.66.1", kCrawler);
  settle("10.9.9.9");
  EXPECT_TRUE(guard.isGoodIp("66.249.66.1"));
  guard.enqueueIfBot("66.249.66.1", kCrawler);
  dns_.release();
  std::string out = finish();

  EXPECT_EQ(countOf(out, validLine("66.249.66.1")), 1u);
  EXPECT_EQ(countOf(out, fakeLine("66.249.66.1")), 0u);
  EXPECT_EQ(dir_.read("config/GoodIPs.txt"), "66.249.66.1\n");
  EXPECT_FALSE(fpCheck_->isBadIp("66.249.66.1"));
  EXPECT_EQ(dns_.reverseQueries(), (Strings{"66.249.66.1", "10.9.9.9"}));
}

// Anyone can give their own address a reverse name under a crawler's domain;
// only the crawler's operator can point that name back at it.
TEST_F(BotGuardTest, NameWithoutKeyOrForwardConfirmationIsFake) {
  dns_.name("10.0.0.1", "Host-1.Example.NET");
  dns_.reverseOnly("10.0.0.2", "crawl-2.googlebot.com");
  dns_.forward("crawl-2.googlebot.com", "66.249.66.1");
  dns_.reverseOnly("10.0.0.3", "crawl-3.googlebot.com");  // no forward record
  BotGuard& guard = start();
  for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
    guard.enqueueIfBot(ip, kCrawler);
  }
  std::string out = finish();

  const std::pair<std::string, std::string> printedNames[] = {
      {"10.0.0.1", "host-1.example.net"},
      {"10.0.0.2", "crawl-2.googlebot.com"},
      {"10.0.0.3", "crawl-3.googlebot.com"}};
  for (const auto& [ip, name] : printedNames) {
    EXPECT_EQ(countOf(out, dnsFailedLine(ip, name)), 1u) << ip;
    EXPECT_EQ(countOf(out, fakeLine(ip)), 1u) << ip;
    EXPECT_TRUE(fpCheck_->isBadIp(ip)) << ip;
  }
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "10.0.0.1\n10.0.0.2\n10.0.0.3\n");
  EXPECT_EQ(dir_.read("config/GoodIPs.txt"), "");
}

TEST_F(BotGuardTest, UnparsableOrUnnamedAddressIsFakeWithoutDnsLine) {
  BotGuard& guard = start();
  for (const char* ip : {"2001:db8::1", "", "10.0.0.1"}) {
    guard.enqueueIfBot(ip, kCrawler);
  }
  std::string out = finish();

  EXPECT_EQ(countOf(out, texts::kDnsCheckFailedPrefix), 0u);
  for (const char* ip : {"2001:db8::1", "", "10.0.0.1"}) {
    EXPECT_EQ(countOf(out, fakeLine(ip)), 1u) << ip;
    EXPECT_TRUE(fpCheck_->isBadIp(ip)) << ip;
  }
  // Only dotted IPv4 text reaches the resolver.
  EXPECT_EQ(dns_.reverseQueries(), Strings{"10.0.0.1"});
}

TEST_F(BotGuardTest, FakeIsReportedEachTimeButBlacklistedOnce) {
  BotGuard& guard = start();
  guard.enqueueIfBot("10.0.0.1", kCrawler);
  settle("10.9.9.9");
  guard.enqueueIfBot("10.0.0.1", kCrawler);  // finished, so queued again
  dns_.release();
  std::string out = finish();
  EXPECT_EQ(countOf(out, fakeLine("10.0.0.1")), 2u);
  EXPECT_EQ(countOf(dir_.read("config/BadIPs.txt"), "10.0.0.1\n"), 1u);
}

TEST_F(BotGuardTest, KeysMatchAnywhereInTheNameButOnlyInLowerCase) {
  dir_.write("config/GoodSpiderDomainKey.txt", "GoogleBot.com\nyandex\n");
  dns_.name("10.0.0.1", "crawl.googlebot.com");
  dns_.name("10.0.0.2", "spider-5-255-253-1.yandex.ru");
  BotGuard& guard = start();
  guard.enqueueIfBot("10.0.0.1", kCrawler);
  guard.enqueueIfBot("10.0.0.2", kCrawler);
  std::string out = finish();
  EXPECT_EQ(countOf(out, dnsFailedLine("10.0.0.1", "crawl.googlebot.com")), 1u);
  EXPECT_EQ(dir_.read("config/GoodIPs.txt"), "10.0.0.2\n");
}

TEST(BotGuardWithoutFilesTest, EveryNamedCrawlerIsFakeAndNothingElseIsSaid) {
  TempWorkDir dir;  // no config directory: no keys, nowhere to append
  ScriptedDns dns;
  dns.name("66.249.66.1", "crawl.googlebot.com");
  ConsoleCapture console;
  {
    BotGuard guard(nullptr, "config", dns.resolver());
    guard.enqueueIfBot("66.249.66.1", kCrawler);
  }
  EXPECT_EQ(console.out(), dnsFailedLine("66.249.66.1", "crawl.googlebot.com") +
                               fakeLine("66.249.66.1"));
  EXPECT_EQ(console.err(), "");
}

// ---- Lifecycle -------------------------------------------------------------

TEST_F(BotGuardTest, DestructorVerifiesEveryQueuedJobBeforeReturning) {
  constexpr int kQueued = 200;
  for (int i = 0; i < kQueued; i += 2) {
    dns_.name("10.0.1." + std::to_string(i), "crawl.googlebot.com");
  }
  BotGuard& guard = start();
  settle("10.0.0.0");
  for (int i = 0; i < kQueued; ++i) {
    guard.enqueueIfBot("10.0.1." + std::to_string(i), kCrawler);
  }
  // Release the held lookup only once destruction is under way, so that the
  // stop request finds the queue full.
  std::promise<void> destroying;
  std::thread destroyer([&] {
    destroying.set_value();
    guard_.reset();
  });
  destroying.get_future().wait();
  dns_.release();
  destroyer.join();
  std::string out = finish();

  EXPECT_EQ(dns_.reverseQueries().size(), size_t{kQueued + 1});
  EXPECT_EQ(countOf(out, texts::kValidBotPrefix), size_t{kQueued / 2});
  EXPECT_EQ(countOf(out, texts::kFakeBotPrefix), size_t{kQueued / 2 + 1});
  EXPECT_EQ(countOf(dir_.read("config/GoodIPs.txt"), "\n"),
            size_t{kQueued / 2});
}

// Requests race the worker between a job's end and its verdict; an address
// must still be admitted and written once.
TEST_F(BotGuardTest, ManyRequestThreadsGetOneGenuineVerdictPerAddress) {
  const Strings genuine{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"};
  const Strings fake{"10.0.1.1", "10.0.1.2", "10.0.1.3", "10.0.1.4"};
  for (const std::string& ip : genuine) dns_.name(ip, ip + ".googlebot.com");
  BotGuard& guard = start();
  std::vector<std::thread> requests;
  for (int t = 0; t < 8; ++t) {
    requests.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        for (const Strings* ips : {&genuine, &fake}) {
          const std::string& ip = (*ips)[i % ips->size()];
          if (!guard.isGoodIp(ip)) guard.enqueueIfBot(ip, kCrawler);
        }
      }
    });
  }
  for (std::thread& request : requests) request.join();
  std::string out = finish();

  for (const std::string& ip : genuine) {
    EXPECT_EQ(countOf(out, validLine(ip)), 1u) << ip;
    EXPECT_EQ(countOf(dir_.read("config/GoodIPs.txt"), ip + "\n"), 1u);
  }
  for (const std::string& ip : fake) {
    EXPECT_TRUE(fpCheck_->isBadIp(ip)) << ip;
    EXPECT_EQ(countOf(dir_.read("config/BadIPs.txt"), ip + "\n"), 1u);
  }
}

}  // namespace
