// Every text the gate writes to the console, the decision log, the list
// files or the wire, kept in one place. Chinese texts are GBK (code page 936)
// bytes; the comment above each shows the characters.
#ifndef QUORVANTEL_CORE_TEXTS_H_
#define QUORVANTEL_CORE_TEXTS_H_

namespace texts {

// ---- Settings and start-up -------------------------------------------------
inline constexpr char kConfigOpenFailedPrefix[] = "[Config] Failed to open ";
inline constexpr char kConfigOpenFailedSuffix[] = ". Using defaults.";
inline constexpr char kConfigParseErrorPrefix[] = "[Config] JSON Parse error: ";
inline constexpr char kConfigLoadFailedWarning[] =
    "[Warning] Config load failed, using default values.\n";
inline constexpr char kBannerRule[] =
    "--------------------------------------------------\n";
inline constexpr char kBannerTitle[] = " Quorvantel V2.1 Running...\n";
inline constexpr char kBannerListening[] = " Listening on  : ";
inline constexpr char kBannerShield[] = " Dynamic Shield: ";
inline constexpr char kBannerFirewall[] = " Firewall Sync : ";
inline constexpr char kOn[] = "ON";
inline constexpr char kOff[] = "OFF";

// ---- Check route and the answer on the wire --------------------------------
// [当前请求] IP:
inline constexpr char kConsoleRequestPrefix[] =
    "[\xb5\xb1\xc7\xb0\xc7\xeb\xc7\xf3] IP:";
inline constexpr char kConsoleRequestUrl[] = " URL:";
inline constexpr char kContentType[] = "text/plain";
inline constexpr char kAllowedBody[] = "OK";
inline constexpr char kUrlKeywordBody[] = "Blocked By Ombrelkin--01";
inline constexpr char kBlacklistBody[] = "Blocked By Blacklist";
inline constexpr char kUserAgentBody[] = "Blocked By Ombrelkin--UA";
// Blocked By Ombrelkin--动态盾
inline constexpr char kShieldBody[] =
    "Blocked By Ombrelkin--\xb6\xaf\xcc\xac\xb6\xdc";
// Internal Error Ombrelkin--兜底
inline constexpr char kExceptionBody[] =
    "Internal Error Ombrelkin--\xb6\xb5\xb5\xd7";
// [Block-URL阻止] 401
inline constexpr char kUrlKeywordTag[] = "[Block-URL\xd7\xe8\xd6\xb9] 401";
// [非法Agent阻止] 401
inline constexpr char kUserAgentTag[] =
    "[\xb7\xc7\xb7\xa8"
    "Agent\xd7\xe8\xd6\xb9] 401";
// [Block-动态评估阻止] 401
inline constexpr char kShieldTag[] =
    "[Block-\xb6\xaf\xcc\xac\xc6\xc0\xb9\xc0\xd7\xe8\xd6\xb9] 401";
inline constexpr char kAllowedTag[] = "[OK] 200";
// [Error-Exception Ombrelkin--兜底] 401
inline constexpr char kExceptionTag[] =
    "[Error-Exception Ombrelkin--\xb6\xb5\xb5\xd7] 401";
inline constexpr char kExceptionPrefix[] = "Exception: ";
inline constexpr char kErrorHandlerPrefix[] = "[Error-Handler] 401 for IP: ";
inline constexpr char kErrorHandlerBody[] = "Blocked By Error Handler";

// ---- List files and static screening ---------------------------------------
inline constexpr char kFailedToOpen[] = "Failed to open ";
inline constexpr char kWarningFailedToOpen[] = "Warning: failed to open ";
inline constexpr char kForeignLoadSuffix[] = " for loading foreign IPs.";
inline constexpr char kKeywordLoadSuffix[] = " for loading bad URL keywords.";
inline constexpr char kWriteFailedPrefix[] =
    "[Error] Failed to write to file: ";
inline constexpr char kLineBreakRefusedPrefix[] =
    "[Error] Refused to write an entry holding a line break to file: ";
inline constexpr char kConfigDirMissingPrefix[] =
    "[FPCheck Error] Config directory not found at: ";
inline constexpr char kConfigDirHint[] =
    "Please ensure 'config' folder is copied to the executable directory.";
// 反爬静态防护已开启...working....
inline constexpr char kStaticScreeningOn[] =
    "\xb7\xb4\xc5\xc0\xbe\xb2\xcc\xac\xb7\xc0\xbb\xa4\xd2\xd1\xbf\xaa\xc6\xf4"
    "...working.... ";
// [恶意访问]:Bad IP
inline constexpr char kMaliciousAccessPrefix[] =
    "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP ";
inline constexpr char kContainingKeyword[] = " containing URLkeyword: ";
inline constexpr char kAddedToBlacklist[] = "[FPCheck] IP added to blacklist: ";

// ---- Decision log ----------------------------------------------------------
inline constexpr char kLogFilePattern[] = "logs/allowed_ips_%Y-%m-%d.log";
inline constexpr char kLogTimePattern[] = "%Y-%m-%d %H:%M:%S";
inline constexpr char kLogIpLabel[] = " IP: ";
inline constexpr char kLogUserAgentLabel[] = " User-Agent: ";
inline constexpr char kLogForWriting[] = " for writing.";
inline constexpr char kLogDirCreateError[] = "Error creating logs directory: ";

// ---- Geo lookup ------------------------------------------------------------
inline constexpr char kGeoCheckPrefix[] = "[Check] ";
inline constexpr char kGeoCheckIs[] = " is ";
inline constexpr char kGeoDomestic[] = "Domestic";
// The verdict word, and the country text of a 200 answer without one.
inline constexpr char kGeoForeign[] = "Foreign";
inline constexpr char kGeoCheckDash[] = " - ";
inline constexpr char kGeoCountryUnknown[] = "Unknown";
inline constexpr char kGeoCountryChina[] = "CN";

// ---- Behaviour shield ------------------------------------------------------
inline constexpr char kWhitelistLoadedPrefix[] = "[DynamicShield] Loaded ";
inline constexpr char kWhitelistLoadedSuffix[] = " IPs into local whitelist.";
// [动态行为监测] High QPS(
inline constexpr char kHighQpsPrefix[] =
    "[\xb6\xaf\xcc\xac\xd0\xd0\xce\xaa\xbc\xe0\xb2\xe2] High QPS(";
inline constexpr char kHighQpsSuffix[] = ") detected for ";
inline constexpr char kRoboticPrefix[] =
    "[Dynamic] Robotic behavior detected (Stdev=";
inline constexpr char kRoboticSuffix[] = "ms) IP: ";
// IP增分:
inline constexpr char kScorePrefix[] = "IP\xd4\xf6\xb7\xd6: ";
inline constexpr char kCurrentScore[] = " Current Score: ";
inline constexpr char kBlockingPrefix[] =
    "[DynamicShield] BLOCKING MALICIOUS IP: ";
inline constexpr char kBlockingSuffix[] = " (Score exceeded threshold)";
inline constexpr char kShieldWriteError[] = "[DynamicShield] Error writing to ";

// ---- Crawler verification --------------------------------------------------
// [DNS反查] DNS check failed for
inline constexpr char kDnsCheckFailedPrefix[] =
    "[DNS\xb7\xb4\xb2\xe9] DNS check failed for ";
inline constexpr char kDnsCheckFailedSeparator[] = ": ";
inline constexpr char kFakeBotPrefix[] = "[BotGuard] FAKE BOT DETECTED: ";
inline constexpr char kFakeBotSuffix[] = " -> Blocked immediately!";
inline constexpr char kValidBotPrefix[] = "[BotGuard] VERIFIED VALID BOT: ";

// ---- Firewall synchronisation ----------------------------------------------
inline constexpr char kBadIpsChanged[] =
    "[Firewall] Detected BadIPs.txt change. Syncing rules.....";
inline constexpr char kUpdatingPrefix[] = "[Firewall-Win] Updating ";
inline constexpr char kUpdatingIpsInto[] = " IPs into ";
inline constexpr char kUpdatingRules[] = " rules.";
inline constexpr char kUpdatedRule[] = "[Firewall] Updated rule: ";
inline constexpr char kCreatingRule[] = "[Firewall] Creating new rule: ";
inline constexpr char kCreatingRuleSuffix[] = "...";
inline constexpr char kAddRuleFailed[] =
    "!!! [Firewall Error] Failed to add rule. Error Code: ";
inline constexpr char kRunAsAdministrator[] =
    "!!! Please ensure you are running as ADMINISTRATOR.";
inline constexpr char kIpsetSynced[] =
    "[Firewall-Linux] IPSet synced. Total IPs: ";
inline constexpr char kUnsafeEntrySkipped[] =
    "[Firewall] Skipping unsafe entry: ";
inline constexpr char kUnsafeStrategyName[] =
    "!!! [Firewall Error] Unsafe strategy name, no rule command run: ";

}  // namespace texts

#endif  // QUORVANTEL_CORE_TEXTS_H_
