#include "botguard/BotGuard.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <optional>
#include <utility>

#include "core/ConsoleLine.h"
#include "core/ListFile.h"
#include "core/Texts.h"
#include "screening/FPCheck.h"

namespace {

constexpr char kGoodIpsFile[] = "GoodIPs.txt";
constexpr char kSpiderDomainKeysFile[] = "GoodSpiderDomainKey.txt";

// Byte by byte in the "C" locale: only A to Z change.
std::string toLowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return text;
}

bool declaresCrawler(const std::string& userAgent) {
  std::string lower = toLowerAscii(userAgent);
  return lower.find("bot") != std::string::npos ||
         lower.find("spider") != std::string::npos;
}

}  // namespace

BotGuard::BotGuard(FPCheck* fpCheck, const std::string& configDir)
    : BotGuard(fpCheck, configDir, HostResolver::system()) {}

BotGuard::BotGuard(FPCheck* fpCheck, const std::string& configDir,
                   HostResolver resolver)
    : configDir_(configDir), fpCheck_(fpCheck), resolver_(std::move(resolver)) {
  loadGoodIps(kGoodIpsFile);
  loadSpiderDomainKeys(kSpiderDomainKeysFile);
  worker_ = std::thread(&BotGuard::workerLoop, this);
}

BotGuard::~BotGuard() {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    stopRequested_ = true;
  }
  queueCondition_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool BotGuard::isGoodIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(goodIpsMutex_);
  return goodIps_.count(ip) != 0;
}

void BotGuard::enqueueIfBot(const std::string& ip,
                            const std::string& userAgent) {
  if (!declaresCrawler(userAgent)) return;
  std::lock_guard<std::mutex> queueLock(queueMutex_);
  if (pendingIps_.count(ip) != 0) return;
  {
    std::lock_guard<std::mutex> goodIpsLock(goodIpsMutex_);
    if (goodIps_.count(ip) != 0) return;
  }
  jobs_.push_back(VerifyJob{ip, userAgent});
  pendingIps_.insert(ip);
  queueCondition_.notify_one();
}

std::string BotGuard::configFilePath(const std::string& fileName) const {
  return ListFile::joinPath(configDir_, fileName);
}

void BotGuard::loadGoodIps(const std::string& fileName) {
  ListFile(configFilePath(fileName))
      .forEachEntry(ListFile::Trim::kEnd, [this](std::string&& entry) {
        goodIps_.insert(std::move(entry));
      });
}

void BotGuard::loadSpiderDomainKeys(const std::string& fileName) {
  ListFile(configFilePath(fileName))
      .forEachEntry(ListFile::Trim::kEnd, [this](std::string&& entry) {
        spiderDomainKeys_.push_back(std::move(entry));
      });
}

void BotGuard::appendToFile(const std::string& fileName,
                            const std::string& line) {
  ListFile(configFilePath(fileName)).append(line);
}

bool BotGuard::hasJobOrStop() const { return !jobs_.empty() || stopRequested_; }

void BotGuard::workerLoop() {
  std::unique_lock<std::mutex> lock(queueMutex_);
  for (;;) {
    queueCondition_.wait(lock, [this] { return hasJobOrStop(); });
    // Stop is honoured only once the queue is drained.
    if (jobs_.empty()) return;
    VerifyJob job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();

    bool genuine = verifyReverseDns(job.ip);
    lock.lock();
    pendingIps_.erase(job.ip);
    lock.unlock();

    if (genuine) {
      admitGenuine(job.ip);
    } else {
      rejectFake(job.ip);
    }
    lock.lock();
  }
}

bool BotGuard::verifyReverseDns(const std::string& ip) {
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) < 1) return false;
  std::optional<std::string> hostName = resolver_.nameOf(address);
  if (!hostName) return false;
  std::string lowerHostName = toLowerAscii(*hostName);
  // Whoever controls an address's reverse zone can name it after any
  // crawler; resolving the name back stops such a forged record when it
  // names the crawler's real domain. It does not stop a name that merely
  // holds a key inside a domain its owner controls (crawl.xbaidu.com for
  // "baidu.com"): that owner can point the name back too.
  if (holdsSpiderDomainKey(lowerHostName) &&
      resolvesBackTo(*hostName, address)) {
    return true;
  }
  writeLine(std::cout, texts::kDnsCheckFailedPrefix, ip,
            texts::kDnsCheckFailedSeparator, lowerHostName);
  return false;
}

bool BotGuard::holdsSpiderDomainKey(const std::string& lowerHostName) const {
  return std::any_of(spiderDomainKeys_.begin(), spiderDomainKeys_.end(),
                     [&](const std::string& key) {
                       return lowerHostName.find(key) != std::string::npos;
                     });
}

bool BotGuard::resolvesBackTo(const std::string& hostName,
                              const in_addr& address) const {
  std::vector<in_addr> answers = resolver_.ipv4AddressesOf(hostName);
  return std::any_of(answers.begin(), answers.end(), [&](const in_addr& a) {
    return a.s_addr == address.s_addr;
  });
}

void BotGuard::admitGenuine(const std::string& ip) {
  std::lock_guard<std::mutex> lock(goodIpsMutex_);
  if (!goodIps_.insert(ip).second) return;
  appendToFile(kGoodIpsFile, ip);
  writeLine(std::cout, texts::kValidBotPrefix, ip);
}

void BotGuard::rejectFake(const std::string& ip) {
  if (fpCheck_ != nullptr) fpCheck_->addToBlacklist(ip);
  writeLine(std::cout, texts::kFakeBotPrefix, ip, texts::kFakeBotSuffix);
}
