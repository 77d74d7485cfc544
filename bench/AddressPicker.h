// AddressPicker: client addresses 10.x.y.z for the benchmarks, taken by
// index or in a pseudo-random order (xorshift, the same in every run), so no
// address shows the even rhythm of a machine.
#ifndef QUORVANTEL_BENCH_ADDRESSPICKER_H_
#define QUORVANTEL_BENCH_ADDRESSPICKER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ScreeningLists.h"

class AddressPicker {
 public:
  explicit AddressPicker(size_t count) {
    for (size_t n = 0; n < count; ++n)
      ips_.push_back(screening_lists::address(n));
  }
  const std::string& next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return ips_[state_ % ips_.size()];
  }
  const std::string& at(size_t n) const { return ips_[n]; }
  size_t size() const { return ips_.size(); }

 private:
  std::vector<std::string> ips_;
  uint64_t state_ = 88172645463325252ull;
};

#endif  // QUORVANTEL_BENCH_ADDRESSPICKER_H_
