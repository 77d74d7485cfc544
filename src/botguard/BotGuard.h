// BotGuard: the bot verification. Owns the always-allowed addresses (the
// entries of "GoodIPs.txt" plus every crawler verified in this run), the
// crawler domain keys of "GoodSpiderDomainKey.txt", and the queue and worker
// thread that verify self-declared crawlers: the address's reverse name must
// hold a key anywhere in it and resolve forward to the address again (which
// stops forged reverse records, not look-alike domains). Genuine crawlers join
// the always-allowed set and "GoodIPs.txt"; fakes go to FPCheck's blacklist.
// The FPCheck object is not owned; it may be null and must outlive this one.
//
// Threads: constructed and destroyed on the main thread; isGoodIp and
// enqueueIfBot run on the HTTP worker threads, many at once; workerLoop, the
// lookups and the verdicts run on worker_. No request thread ever waits for
// DNS. The destructor returns only after every queued job was verified.
//
// Locks: queueMutex_ guards jobs_, pendingIps_ and stopRequested_;
// goodIpsMutex_ guards goodIps_ after construction. Only enqueueIfBot holds
// both, and takes queueMutex_ first. The worker holds neither during a lookup
// or while calling FPCheck::addToBlacklist, and holds goodIpsMutex_ across
// the insert, the append to "GoodIPs.txt" and its console line, so that an
// address is written once. spiderDomainKeys_ is fixed after construction and
// read by the worker without a lock.
#ifndef QUORVANTEL_BOTGUARD_BOTGUARD_H_
#define QUORVANTEL_BOTGUARD_BOTGUARD_H_

#include <netinet/in.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "botguard/HostResolver.h"
#include "botguard/VerifyJob.h"

class FPCheck;

class BotGuard {
 public:
  BotGuard(FPCheck* fpCheck, const std::string& configDir);
  // The same with other DNS answers than the host's resolver gives.
  BotGuard(FPCheck* fpCheck, const std::string& configDir,
           HostResolver resolver);
  ~BotGuard();
  BotGuard(const BotGuard&) = delete;
  BotGuard& operator=(const BotGuard&) = delete;

  // True when the address is always let through.
  bool isGoodIp(const std::string& ip);
  // Queues the address for verification when the user agent holds "bot" or
  // "spider" in any letter case, unless it is pending or always allowed.
  // Returns at once.
  void enqueueIfBot(const std::string& ip, const std::string& userAgent);

 private:
  std::string configFilePath(const std::string& fileName) const;
  void loadGoodIps(const std::string& fileName);
  void loadSpiderDomainKeys(const std::string& fileName);
  // Silent when the file does not open: the address stays good for this run.
  void appendToFile(const std::string& fileName, const std::string& line);

  void workerLoop();
  bool hasJobOrStop() const;  // queueMutex_ held
  // True for a genuine crawler. Prints the "DNS check failed" line when a
  // name was found but holds no key or does not resolve back.
  bool verifyReverseDns(const std::string& ip);
  bool holdsSpiderDomainKey(const std::string& lowerHostName) const;
  bool resolvesBackTo(const std::string& hostName,
                      const in_addr& address) const;
  void admitGenuine(const std::string& ip);
  void rejectFake(const std::string& ip);

  std::unordered_set<std::string> goodIps_;
  std::vector<std::string> spiderDomainKeys_;
  std::mutex goodIpsMutex_;
  std::deque<VerifyJob> jobs_;  // oldest first
  // Addresses queued or under verification: one job per address at a time.
  std::unordered_set<std::string> pendingIps_;
  std::mutex queueMutex_;
  std::condition_variable queueCondition_;
  std::thread worker_;
  bool stopRequested_ = false;
  std::filesystem::path configDir_;
  FPCheck* const fpCheck_;
  const HostResolver resolver_;
};

#endif  // QUORVANTEL_BOTGUARD_BOTGUARD_H_
