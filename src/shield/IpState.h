// IpState: what the behaviour shield remembers of one client address.
//
// A plain record without a lock of its own: DynamicShield::stateMutex_ guards
// every instance, and only DynamicShield::shouldBlock touches one.
#ifndef QUORVANTEL_SHIELD_IPSTATE_H_
#define QUORVANTEL_SHIELD_IPSTATE_H_

#include <chrono>
#include <cstdint>
#include <vector>

#include "shield/RequestWindow.h"

// The fields are ordered to leave no padding: the shield keeps one record per
// address it has ever seen.
struct IpState {
  // Sum of every increment so far; it never decays.
  int32_t score = 0;
  // Once set, every later request of the address is refused at once.
  bool blocked = false;
  // Arrival times of the requests less than 61 s older than the latest one,
  // oldest first.
  RequestWindow requestTimes;
  // The newest gaps (at most 20) between consecutive requests, in whole
  // milliseconds; only gaps over 100 ms are kept.
  std::vector<double> intervalsMs;
  // Arrival of the previous request; the clock's zero means none yet.
  std::chrono::steady_clock::time_point lastRequestTime{};
};

#endif  // QUORVANTEL_SHIELD_IPSTATE_H_
