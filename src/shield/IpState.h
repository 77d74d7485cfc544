// IpState: what the behaviour shield remembers of one client address.
//
// A plain record without a lock of its own: DynamicShield::stateMutex_ guards
// every instance, and only DynamicShield::shouldBlock touches one.
#ifndef QUORVANTEL_SHIELD_IPSTATE_H_
#define QUORVANTEL_SHIELD_IPSTATE_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

struct IpState {
  // Sum of every increment so far; it never decays.
  int32_t score = 0;
  // Arrival times of the requests less than 61 s older than the latest one,
  // oldest first.
  std::deque<std::chrono::steady_clock::time_point> requestTimes;
  // The newest gaps (at most 20) between consecutive requests, in whole
  // milliseconds; only gaps over 100 ms are kept.
  std::vector<double> intervalsMs;
  // Arrival of the previous request; the clock's zero means none yet.
  std::chrono::steady_clock::time_point lastRequestTime{};
  // Once set, every later request of the address is refused at once.
  bool blocked = false;
};

#endif  // QUORVANTEL_SHIELD_IPSTATE_H_
