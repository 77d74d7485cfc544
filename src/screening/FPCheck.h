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
// append to "ForeignIps.txt". The two lists with their matchers, configDir_
// and the geo seams are fixed before any other thread uses the object and read
// without a lock.
// stopRequested_ is atomic: the destructor sets it while the worker reads it.
//
// The geo lookup worker never runs in the gate itself: geoThread_ stays
// empty. Tests start it through the seams below.
#ifndef QUORVANTEL_SCREENING_FPCHECK_H_
#define QUORVANTEL_SCREENING_FPCHECK_H_

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "screening/DecisionLog.h"
#include "screening/GeoResult.h"
#include "screening/KeywordMatcher.h"

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

  // Test seams; the running gate calls none of them. Call them before the
  // worker starts and before any lookup.
  // Points lookupGeo at `baseUrl` ("http://host:port") instead of the public
  // geo service.
  void setGeoServiceUrlForTesting(const std::string& baseUrl);
  // Starts geoCheckWorker on geoThread_, with `pause` in place of the
  // 5-second wait that opens every cycle.
  void startGeoWorkerForTesting(std::function<void()> pause);
  // Sets the stop flag as the destructor does, without joining: the worker
  // returns at the end of its current cycle.
  void requestGeoStop();

 private:
  using EntrySink = std::function<void(std::string&& entry)>;

  void appendToFile(const std::string& fileName, const std::string& line);
  // Feeds the entries of list `fileName` to `onEntry`; when the file does not
  // open, prints failurePrefix, the path and failureSuffix instead.
  void loadList(const std::string& fileName, const char* failurePrefix,
                const char* failureSuffix, const EntrySink& onEntry) const;
  void loadNotAllowed(const std::string& fileName);
  void loadBadIps(const std::string& fileName);
  void loadForeignIps(const std::string& fileName);
  void loadBadUrlKeywords(const std::string& fileName);
  void reportIfConfigDirMissing() const;

  // The first keyword of badUrlKeywords_ found in `uri`, or null.
  const std::string* findBadUrlKeyword(const std::string& uri) const;
  // Inserts into badIps_; true when the address was new.
  bool insertBadIp(const std::string& ip);

  // One worker cycle after its pause: looks up one pending address.
  void checkOnePendingIp();
  // Copies one pending address, dropping the empty one, which has nothing to
  // look up; false when none is pending.
  bool peekPendingIp(std::string& ip);
  void rememberForeignIp(const std::string& ip);

  std::vector<std::string> notAllowed_;
  std::unordered_set<std::string> badIps_;
  std::unordered_set<std::string> pendingGeoIps_;
  std::unordered_set<std::string> foreignIps_;
  std::vector<std::string> badUrlKeywords_;
  // Built once from the two lists: a request's tests cost one pass over the
  // URI and one over the user agent, however long the lists are.
  KeywordMatcher notAllowedMatcher_;
  KeywordMatcher badUrlKeywordMatcher_;
  std::mutex pendingMutex_;
  std::mutex foreignMutex_;
  std::mutex badIpsMutex_;
  std::atomic<bool> stopRequested_{false};
  std::thread geoThread_;
  std::filesystem::path configDir_;
  DecisionLog decisionLog_;
  std::string geoServiceUrl_;
  std::function<void()> geoPause_;
};

#endif  // QUORVANTEL_SCREENING_FPCHECK_H_
