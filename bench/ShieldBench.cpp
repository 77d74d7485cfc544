// The behaviour shield's share of the request path, for one busy address and
// across a million, and what it keeps in memory per tracked address.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <iterator>
#include <memory>
#include <vector>

#include "AddressPicker.h"
#include "QuietConsole.h"
#include "ScreeningLists.h"
#include "shield/DynamicShield.h"
#include "support/TempWorkDir.h"

namespace {

using screening_lists::address;

constexpr int64_t kMs = 1000000;

// A shield with the default limits and an empty whitelist whose clock the
// benchmark moves: each request arrives `stepNs` after the one before.
class SteppedShield {
 public:
  explicit SteppedShield(int64_t stepNs)
      : dir_(/*enter=*/false), stepNs_(stepNs) {
    dir_.write("config/GoodIPs.txt", "");
    QuietConsole quiet;
    shield_ = std::make_unique<DynamicShield>((dir_.path() / "config").string(),
                                              [this] { return now_; });
  }

  bool request(const std::string& ip) {
    now_ += stepNs_;
    return shield_->shouldBlock(ip, screening_lists::kBrowser);
  }

 private:
  TempWorkDir dir_;
  int64_t stepNs_;
  int64_t now_ = 1;
  std::unique_ptr<DynamicShield> shield_;
};

// A browser's pace: a request every 250 ms, so its window holds 244.
void BM_ShouldBlock_OneAddress(benchmark::State& state) {
  SteppedShield shield(250 * kMs);
  const std::string ip = "10.0.0.1";
  for (int i = 0; i < 300; ++i) shield.request(ip);
  for (auto _ : state) benchmark::DoNotOptimize(shield.request(ip));
}
BENCHMARK(BM_ShouldBlock_OneAddress);

// 100,000 requests/s spread over a million known addresses.
void BM_ShouldBlock_MillionAddresses(benchmark::State& state) {
  static SteppedShield shield(10000);
  static AddressPicker picker(1000000);
  static bool warm = false;
  if (!warm) {
    for (size_t n = 0; n < picker.size(); ++n) shield.request(picker.at(n));
    warm = true;
  }
  for (auto _ : state) benchmark::DoNotOptimize(shield.request(picker.next()));
}
BENCHMARK(BM_ShouldBlock_MillionAddresses);

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Heap per address once a million addresses have made `requests` requests
// each, a second apart on average; every round visits them in another order
// (multiples of an odd prime modulo a million), so no address shows an even
// rhythm.
void BM_ShieldMemoryPerAddress(benchmark::State& state) {
  const auto requests = static_cast<size_t>(state.range(0));
  constexpr size_t kAddresses = 1000000;
  constexpr size_t kStrides[] = {1, 3, 7, 11, 13, 17, 19, 23, 29, 31};
  AddressPicker picker(kAddresses);
  QuietConsole quiet;  // the first address keeps an even rhythm
  for (auto _ : state) {
    const size_t before = heapInUse();
    SteppedShield shield(1000000000 / kAddresses);
    for (size_t round = 0; round < requests; ++round) {
      const size_t stride = kStrides[round % std::size(kStrides)];
      for (size_t n = 0; n < kAddresses; ++n) {
        shield.request(picker.at(n * stride % kAddresses));
      }
    }
    state.counters["bytes_per_address"] =
        static_cast<double>(heapInUse() - before) / kAddresses;
  }
}
BENCHMARK(BM_ShieldMemoryPerAddress)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
