#include "screening/FPCheck.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <system_error>

#include "core/ConsoleLine.h"
#include "core/ListFile.h"
#include "core/Texts.h"

namespace {

constexpr char kNotAllowedFile[] = "NotAllowed.txt";
constexpr char kBadIpsFile[] = "BadIPs.txt";
constexpr char kForeignIpsFile[] = "ForeignIps.txt";
constexpr char kBadUrlKeywordsFile[] = "BadUrlKeyWord.txt";

// The geo-IP service: plain HTTP, GET "/json/" + address.
constexpr char kGeoServiceUrl[] = "http://ip-api.com";
constexpr char kGeoPathPrefix[] = "/json/";
constexpr time_t kGeoTimeoutSeconds = 3;
constexpr auto kGeoCycle = std::chrono::seconds(5);
constexpr char kChinaPattern[] = "\"countryCode\":\"CN\"";
constexpr char kCountryPattern[] = "\"country\":\"";

// Reads the answer by plain byte search, as the service's members are laid
// out; a body we do not recognise counts as foreign.
GeoResult classifyGeoBody(const std::string& body) {
  if (body.find(kChinaPattern) != std::string::npos) {
    return {false, texts::kGeoCountryChina};
  }
  const size_t pattern = body.find(kCountryPattern);
  if (pattern != std::string::npos) {
    const size_t start = pattern + std::strlen(kCountryPattern);
    const size_t end = body.find('"', start);
    if (end != std::string::npos)
      return {true, body.substr(start, end - start)};
  }
  return {true, texts::kGeoForeign};
}

bool equalsIgnoringAsciiCase(char a, char b) {
  auto fold = [](unsigned char c) -> unsigned char {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a')
                                  : c;
  };
  return fold(static_cast<unsigned char>(a)) ==
         fold(static_cast<unsigned char>(b));
}

}  // namespace

FPCheck::FPCheck(const std::string& configDir)
    : configDir_(configDir),
      geoServiceUrl_(kGeoServiceUrl),
      geoPause_([] { std::this_thread::sleep_for(kGeoCycle); }) {
  reportIfConfigDirMissing();
  std::cout << texts::kStaticScreeningOn << std::endl;
  loadNotAllowed(kNotAllowedFile);
  loadBadIps(kBadIpsFile);
  loadForeignIps(kForeignIpsFile);
  loadBadUrlKeywords(kBadUrlKeywordsFile);
  notAllowedMatcher_ = KeywordMatcher(notAllowed_);
  badUrlKeywordMatcher_ = KeywordMatcher(badUrlKeywords_);
}

FPCheck::~FPCheck() {
  requestGeoStop();
  if (geoThread_.joinable()) geoThread_.join();
}

// An existence test that fails for another reason (no access, say) is
// reported like a missing directory: start-up must go on either way.
void FPCheck::reportIfConfigDirMissing() const {
  std::error_code error;
  if (std::filesystem::exists(configDir_, error)) return;
  std::filesystem::path shown = std::filesystem::absolute(configDir_, error);
  if (error) shown = configDir_;
  std::cerr << texts::kConfigDirMissingPrefix << std::quoted(shown.string())
            << std::endl;
  std::cerr << texts::kConfigDirHint << std::endl;
}

std::string FPCheck::configFilePath(const std::string& fileName) const {
  return ListFile::joinPath(configDir_, fileName);
}

void FPCheck::appendToFile(const std::string& fileName,
                           const std::string& line) {
  ListFile file(configFilePath(fileName));
  if (file.append(line) == ListFile::AppendResult::kOpenFailed) {
    writeLine(std::cerr, texts::kWriteFailedPrefix, file.path());
  }
}

void FPCheck::loadList(const std::string& fileName, const char* failurePrefix,
                       const char* failureSuffix,
                       const EntrySink& onEntry) const {
  ListFile file(configFilePath(fileName));
  if (!file.forEachEntry(ListFile::Trim::kEnd, onEntry)) {
    std::cerr << failurePrefix << file.path() << failureSuffix << std::endl;
  }
}

void FPCheck::loadNotAllowed(const std::string& fileName) {
  loadList(fileName, texts::kFailedToOpen, "", [this](std::string&& entry) {
    notAllowed_.push_back(std::move(entry));
  });
}

void FPCheck::loadBadIps(const std::string& fileName) {
  loadList(fileName, texts::kFailedToOpen, "",
           [this](std::string&& entry) { badIps_.insert(std::move(entry)); });
}

void FPCheck::loadForeignIps(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(foreignMutex_);
  loadList(
      fileName, texts::kWarningFailedToOpen, texts::kForeignLoadSuffix,
      [this](std::string&& entry) { foreignIps_.insert(std::move(entry)); });
}

void FPCheck::loadBadUrlKeywords(const std::string& fileName) {
  loadList(fileName, texts::kFailedToOpen, texts::kKeywordLoadSuffix,
           [this](std::string&& entry) {
             badUrlKeywords_.push_back(std::move(entry));
           });
}

bool FPCheck::containsIgnoreCase(const std::string& text,
                                 const std::string& pattern) {
  return std::search(text.begin(), text.end(), pattern.begin(), pattern.end(),
                     equalsIgnoringAsciiCase) != text.end();
}

const std::string* FPCheck::findBadUrlKeyword(const std::string& uri) const {
  const size_t index = badUrlKeywordMatcher_.firstMatch(uri);
  return index == KeywordMatcher::kNone ? nullptr : &badUrlKeywords_[index];
}

bool FPCheck::insertBadIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(badIpsMutex_);
  return badIps_.insert(ip).second;
}

bool FPCheck::checkBadUrlKeyword(const std::string& ip,
                                 const std::string& uri) {
  const std::string* keyword = findBadUrlKeyword(uri);
  if (keyword == nullptr) return false;
  if (insertBadIp(ip)) {
    appendToFile(kBadIpsFile, ip);
    writeLine(std::cout, texts::kMaliciousAccessPrefix, ip,
              texts::kContainingKeyword, *keyword);
  }
  return true;
}

bool FPCheck::isBadIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(badIpsMutex_);
  return badIps_.count(ip) != 0;
}

bool FPCheck::isUserAgentAllowed(const std::string& userAgent) const {
  return !notAllowedMatcher_.matchesAny(userAgent);
}

void FPCheck::addToBlacklist(const std::string& ip) {
  if (!insertBadIp(ip)) return;
  appendToFile(kBadIpsFile, ip);
  writeLine(std::cout, texts::kAddedToBlacklist, ip);
}

bool FPCheck::isIpAllowed(const std::string& ip) {
  return !ip.empty() && !isBadIp(ip);
}

bool FPCheck::isRequestAllowed(const std::string& ip,
                               const std::string& userAgent) {
  return isUserAgentAllowed(userAgent) && isIpAllowed(ip);
}

void FPCheck::logAllowedIp(const std::string& ip, const std::string& tag,
                           const std::string& userAgent) {
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingGeoIps_.insert(ip);
  }
  decisionLog_.write(ip, tag, userAgent);
}

GeoResult FPCheck::lookupGeo(const std::string& ip) {
  httplib::Client client(geoServiceUrl_);
  client.set_connection_timeout(kGeoTimeoutSeconds, 0);
  client.set_read_timeout(kGeoTimeoutSeconds, 0);
  const httplib::Result response = client.Get(kGeoPathPrefix + ip);
  if (!response || response->status != 200) {
    return {false, texts::kGeoCountryUnknown};
  }
  return classifyGeoBody(response->body);
}

void FPCheck::geoCheckWorker() {
  while (!stopRequested_) {
    geoPause_();
    checkOnePendingIp();
  }
}

void FPCheck::checkOnePendingIp() {
  std::string ip;
  if (!peekPendingIp(ip)) return;
  const GeoResult result = lookupGeo(ip);
  if (result.isForeign) rememberForeignIp(ip);
  {
    // Every verdict ends the wait, "Unknown" too: a failed lookup is tried
    // again only when the address is logged again.
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingGeoIps_.erase(ip);
  }
  writeLine(std::cout, texts::kGeoCheckPrefix, ip, texts::kGeoCheckIs,
            result.isForeign ? texts::kGeoForeign : texts::kGeoDomestic,
            texts::kGeoCheckDash, result.country);
}

bool FPCheck::peekPendingIp(std::string& ip) {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  pendingGeoIps_.erase(std::string());
  if (pendingGeoIps_.empty()) return false;
  ip = *pendingGeoIps_.begin();
  return true;
}

void FPCheck::rememberForeignIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(foreignMutex_);
  if (foreignIps_.insert(ip).second) appendToFile(kForeignIpsFile, ip);
}

bool FPCheck::isForeignIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(foreignMutex_);
  return foreignIps_.count(ip) != 0;
}

void FPCheck::setGeoServiceUrlForTesting(const std::string& baseUrl) {
  geoServiceUrl_ = baseUrl;
}

void FPCheck::startGeoWorkerForTesting(std::function<void()> pause) {
  geoPause_ = std::move(pause);
  geoThread_ = std::thread(&FPCheck::geoCheckWorker, this);
}

void FPCheck::requestGeoStop() { stopRequested_ = true; }
