// DynamicShield: refuses client addresses by their behaviour: too many
// requests within a second, too many within 61 seconds, and gaps so even that
// they look machine-made. An address whose score reaches the threshold is
// appended to "BadIPs.txt" and refused for the rest of the run, unless it is
// on the local whitelist read from "GoodIPs.txt".
//
// Owns one IpState per address it has seen (never evicted) and the whitelist.
// Locking: stateMutex_ guards ipStates_ and is held for the whole of every
// shouldBlock call, console lines and the blacklist append included, so checks
// are fully serialised. whitelist_ is filled by the constructor and never
// changes afterwards, so it is read without a lock.
// Threads: the constructor runs on the main thread at start-up; shouldBlock
// runs on the HTTP server's pool threads, concurrently.
#ifndef QUORVANTEL_SHIELD_DYNAMICSHIELD_H_
#define QUORVANTEL_SHIELD_DYNAMICSHIELD_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "shield/IpState.h"

class DynamicShield {
 public:
  // A steady-clock reading in nanoseconds.
  using Clock = std::function<int64_t()>;

  explicit DynamicShield(const std::string& configDir);
  // Lets tests place requests at exact instants.
  DynamicShield(const std::string& configDir, Clock clock);

  DynamicShield(const DynamicShield&) = delete;
  DynamicShield& operator=(const DynamicShield&) = delete;

  // Counts one request of `ip` and answers whether to refuse it. The user
  // agent is taken for the route's convenience and has no influence.
  bool shouldBlock(const std::string& ip, const std::string& userAgent);

 private:
  // Blocks `ip` for the rest of the run and answers true; a whitelisted
  // address is instead scored afresh from its next request and let through.
  bool blockIp(const std::string& ip, IpState& state);
  void addToBlacklist(const std::string& ip) const;
  bool isWhitelisted(const std::string& ip) const;
  void loadWhitelist();

  std::unordered_map<std::string, IpState> ipStates_;
  std::mutex stateMutex_;
  std::filesystem::path configDir_;
  std::unordered_set<std::string> whitelist_;
  Clock clock_;
};

#endif  // QUORVANTEL_SHIELD_DYNAMICSHIELD_H_
