// FPCheck: the static screening. Owns the lists read from the configuration
// directory (denied user-agent fragments, URL keywords, the blacklist, the
// foreign addresses), the in-memory blacklist that the crawler verification
// extends, the daily decision log and the geo lookup worker (never started).
//
// Threads: constructed and destroyed on the main thread; the tests and the
// decision log run on the HTTP worker threads, addToBlacklist on the crawler
// verification worker.
// Locks: badIpsMutex_ guards badIps_, pendingMutex_ guards pendingGeoIps_,
// foreignMutex_ guards foreignIps_. No two are ever held at once, and none is
// held across a file append or a console line except foreignMutex_ around the
// append to "ForeignIps.txt". The two lists are fixed after construction and
// read without a lock.
#ifndef QUORVANTEL_SCREENING_FPCHECK_H_
#define QUORVANTEL_SCREENING_FPCHECK_H_

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "screening/DecisionLog.h"
#include "screening/GeoResult.h"

class FPCheck {
 public:
  explicit FPCheck(const std::string& configDir);
  ~FPCheck();
  FPCheck(const FPCheck&) = delete;
  FPCheck& operator=(const FPCheck&) = delete;

  // True when the URI holds a bad URL keyword; the address is then
  // blacklisted (and appended to "BadIPs.txt" the first time).
  bool checkBadUrlKeyword(const std::string& ip, const std::string& uri);
  bool isBadIp(const std::string& ip);
  // False when the user agent holds a denied fragment.
  bool isUserAgentAllowed(const std::string& userAgent) const;
  // Blacklists a fake crawler; called by the crawler verification worker.
  void addToBlacklist(const std::string& ip);
  bool isIpAllowed(const std::string& ip);
  bool isRequestAllowed(const std::string& ip, const std::string& userAgent);

  // Registers the address for the geo lookup and writes one decision-log
  // line. Throws std::filesystem::filesystem_error when "logs" cannot even be
  // tested for existence.
  void logAllowedIp(const std::string& ip, const std::string& tag,
                    const std::string& userAgent);

  GeoResult lookupGeo(const std::string& ip);
  void geoCheckWorker();
  bool isForeignIp(const std::string& ip);

  // Pattern search ignoring the case of ASCII letters only.
  static bool containsIgnoreCase(const std::string& text,
                                 const std::string& pattern);

  std::string configFilePath(const std::string& fileName) const;

 private:
  void appendToFile(const std::string& fileName, const std::string& line);
  void loadNotAllowed(const std::string& fileName);
  void loadBadIps(const std::string& fileName);
  void loadForeignIps(const std::string& fileName);
  void loadBadUrlKeywords(const std::string& fileName);

  std::vector<std::string> notAllowed_;
  std::unordered_set<std::string> badIps_;
  std::unordered_set<std::string> pendingGeoIps_;
  std::unordered_set<std::string> foreignIps_;
  std::vector<std::string> badUrlKeywords_;
  std::mutex pendingMutex_;
  std::mutex foreignMutex_;
  std::mutex badIpsMutex_;
  std::atomic<bool> stopRequested_{false};
  std::thread geoThread_;
  std::filesystem::path configDir_;
  DecisionLog decisionLog_;
};

#endif  // QUORVANTEL_SCREENING_FPCHECK_H_
