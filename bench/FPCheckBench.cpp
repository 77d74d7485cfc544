// The static screening's share of the request path: the two list tests with
// the list sizes of a busy site, the blacklist test with a million entries,
// and the decision log.
#include <benchmark/benchmark.h>

#include <memory>

#include "QuietConsole.h"
#include "ScreeningLists.h"
#include "screening/FPCheck.h"
#include "support/TempWorkDir.h"

namespace {

using namespace screening_lists;

// An FPCheck loaded from lists of the given sizes, in a scratch directory
// that lives as long as it.
class LoadedCheck {
 public:
  LoadedCheck(size_t fragments, size_t keywords, size_t badIps = 0)
      : dir_(/*enter=*/false) {
    dir_.write("config/NotAllowed.txt", userAgentFragments(fragments));
    dir_.write("config/BadUrlKeyWord.txt", urlKeywords(keywords));
    std::string ips;
    for (size_t n = 0; n < badIps; ++n) ips += address(n) + "\n";
    dir_.write("config/BadIPs.txt", ips);
    dir_.write("config/ForeignIps.txt", "");
    QuietConsole quiet;
    check_ = std::make_unique<FPCheck>((dir_.path() / "config").string());
  }

  FPCheck& check() { return *check_; }

 private:
  TempWorkDir dir_;
  std::unique_ptr<FPCheck> check_;
};

void BM_ContainsIgnoreCase(benchmark::State& state, const char* pattern) {
  const std::string text = kBrowser;
  const std::string needle = pattern;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FPCheck::containsIgnoreCase(text, needle));
  }
}
BENCHMARK_CAPTURE(BM_ContainsIgnoreCase, miss, "HeadlessChrome");
BENCHMARK_CAPTURE(BM_ContainsIgnoreCase, hit_at_the_end, "SAFARI/537");

// A browser's user agent against 0 or 600 fragments: every one is tried.
void BM_IsUserAgentAllowed(benchmark::State& state) {
  LoadedCheck loaded(static_cast<size_t>(state.range(0)), 0);
  const std::string userAgent = kBrowser;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loaded.check().isUserAgentAllowed(userAgent));
  }
}
BENCHMARK(BM_IsUserAgentAllowed)->Arg(0)->Arg(600);

// An ordinary page against 0 or 1,000 keywords: no hit, every one is tried.
void BM_CheckBadUrlKeyword(benchmark::State& state) {
  LoadedCheck loaded(0, static_cast<size_t>(state.range(0)));
  const std::string ip = "10.0.0.1";
  const std::string uri = kPage;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loaded.check().checkBadUrlKeyword(ip, uri));
  }
}
BENCHMARK(BM_CheckBadUrlKeyword)->Arg(0)->Arg(1000);

// The last of 1,000 keywords hits an address already blacklisted, so only
// the search and the set lookup repeat.
void BM_CheckBadUrlKeyword_LastKeywordHits(benchmark::State& state) {
  LoadedCheck loaded(0, 1000);
  const std::string ip = "10.0.0.1";
  const std::string uri = std::string(kPage) + "&f=dump999.sql";
  {
    QuietConsole quiet;
    loaded.check().checkBadUrlKeyword(ip, uri);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(loaded.check().checkBadUrlKeyword(ip, uri));
  }
}
BENCHMARK(BM_CheckBadUrlKeyword_LastKeywordHits);

// A million blacklisted addresses; the lookups alternate hits and misses.
void BM_IsBadIp_MillionEntries(benchmark::State& state) {
  static LoadedCheck loaded(0, 0, 1000000);
  std::vector<std::string> probes;
  for (size_t n = 0; n < 4096; ++n) probes.push_back(address(n * 499));
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loaded.check().isBadIp(probes[next++ & 4095]));
  }
}
BENCHMARK(BM_IsBadIp_MillionEntries)->ThreadRange(1, 8);

// One decision-log line per call, for addresses spread over 100,000.
void BM_LogAllowedIp(benchmark::State& state) {
  TempWorkDir workDir;  // "logs" lies in the working directory
  LoadedCheck loaded(0, 0);
  std::vector<std::string> ips;
  for (size_t n = 0; n < 100000; ++n) ips.push_back(address(n));
  size_t next = 0;
  for (auto _ : state) {
    loaded.check().logAllowedIp(ips[next++ % ips.size()], "[OK] 200", kBrowser);
  }
}
BENCHMARK(BM_LogAllowedIp);

}  // namespace
