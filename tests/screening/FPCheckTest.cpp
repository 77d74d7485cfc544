#include "screening/FPCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <streambuf>
#include <thread>
#include <vector>

#include "core/Texts.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"
#include "support/TextLines.h"

namespace {

std::string malicious(const std::string& ip, const std::string& keyword) {
  return std::string(texts::kMaliciousAccessPrefix) + ip +
         texts::kContainingKeyword + keyword + "\n";
}

TEST(FPCheckMatchTest, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(FPCheck::containsIgnoreCase("/ADMIN/index.php", "admin"));
  EXPECT_TRUE(FPCheck::containsIgnoreCase("/x?q=Admin", "aDMIN"));
  EXPECT_FALSE(FPCheck::containsIgnoreCase("/adm", "admin"));
  // Bytes that differ by 0x20 but are not ASCII letters stay distinct.
  EXPECT_FALSE(FPCheck::containsIgnoreCase("@[", "`{"));
  EXPECT_FALSE(FPCheck::containsIgnoreCase("caf\xc9", "caf\xe9"));
  EXPECT_FALSE(FPCheck::containsIgnoreCase("\xd7\xe8", "\xf7\xe8"));
  EXPECT_TRUE(
      FPCheck::containsIgnoreCase("/\xb6\xf1\xd2\xe2/", "\xb6\xf1\xd2\xe2"));
  EXPECT_TRUE(FPCheck::containsIgnoreCase("a", ""));
  EXPECT_FALSE(FPCheck::containsIgnoreCase("", ""));
}

class FPCheckTest : public ::testing::Test {
 protected:
  void writeConfig(const std::string& name, const std::string& content) {
    dir_.write("config/" + name, content);
  }
  FPCheck& check() {
    if (!check_) {
      check_ = std::make_unique<FPCheck>("config");
      console_.clear();
    }
    return *check_;
  }

  TempWorkDir dir_;
  ConsoleCapture console_;
  std::unique_ptr<FPCheck> check_;
};

TEST_F(FPCheckTest, LoadsListsTrimmingLineEndsOnly) {
  writeConfig("BadIPs.txt", "10.0.0.1  \r\n  10.0.0.2\r\n \t\r\n10.0.0.3");
  writeConfig("NotAllowed.txt", "  python\n");
  writeConfig("BadUrlKeyWord.txt", "");
  EXPECT_TRUE(check().isBadIp("10.0.0.1"));
  EXPECT_TRUE(check().isBadIp("10.0.0.3"));
  EXPECT_TRUE(check().isBadIp("  10.0.0.2"));
  EXPECT_FALSE(check().isBadIp("10.0.0.2"));
  EXPECT_FALSE(check().isBadIp(""));
  EXPECT_TRUE(check().isUserAgentAllowed("python-requests"));
  EXPECT_FALSE(check().isUserAgentAllowed("x  Python"));
  EXPECT_FALSE(check().checkBadUrlKeyword("10.0.0.9", "/anything"));
}

TEST_F(FPCheckTest, FirstKeywordInFileOrderBlacklistsOnce) {
  writeConfig("BadUrlKeyWord.txt", "login\nadmin\n");
  EXPECT_FALSE(check().checkBadUrlKeyword("10.0.0.1", ""));
  EXPECT_FALSE(check().isBadIp("10.0.0.1"));

  EXPECT_TRUE(check().checkBadUrlKeyword("10.0.0.1", "/admin/LOGIN"));
  EXPECT_EQ(console_.out(), malicious("10.0.0.1", "login"));
  EXPECT_TRUE(check().isBadIp("10.0.0.1"));

  console_.clear();
  EXPECT_TRUE(check().checkBadUrlKeyword("10.0.0.1", "/admin"));
  check().addToBlacklist("10.0.0.1");
  EXPECT_EQ(console_.out(), "");
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "10.0.0.1\n");
}

TEST_F(FPCheckTest, EmptyAddressIsBlacklistedLikeAnyOther) {
  writeConfig("BadUrlKeyWord.txt", "wp-login\n");
  EXPECT_TRUE(check().isIpAllowed("10.0.0.1"));
  EXPECT_FALSE(check().isIpAllowed(""));
  EXPECT_TRUE(check().checkBadUrlKeyword("", "/wp-login.php"));
  EXPECT_EQ(console_.out(), malicious("", "wp-login"));
  EXPECT_TRUE(check().isBadIp(""));
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "\n");
}

TEST_F(FPCheckTest, UserAgentFragments) {
  writeConfig("NotAllowed.txt", "curl\n\xc5\xc0\xb3\xe6\n");
  EXPECT_TRUE(check().isUserAgentAllowed(""));
  EXPECT_FALSE(check().isUserAgentAllowed("curl/8.4.0"));
  EXPECT_FALSE(check().isUserAgentAllowed("Mozilla Curly"));
  EXPECT_FALSE(check().isUserAgentAllowed("x\xc5\xc0\xb3\xe6"));
  EXPECT_TRUE(check().isUserAgentAllowed("x\xe5\xc0\xb3\xe6"));
  EXPECT_TRUE(check().isRequestAllowed("10.0.0.1", "Mozilla/5.0"));
  EXPECT_FALSE(check().isRequestAllowed("10.0.0.1", "curl/8.4.0"));
  EXPECT_FALSE(check().isRequestAllowed("", "Mozilla/5.0"));
}

TEST_F(FPCheckTest, AddToBlacklistAppendsAndAnnouncesNewAddressesOnly) {
  writeConfig("BadIPs.txt", "10.0.0.1\n");
  check().addToBlacklist("10.0.0.1");
  check().addToBlacklist("10.0.0.2");
  check().addToBlacklist("10.0.0.2");
  EXPECT_TRUE(check().isBadIp("10.0.0.2"));
  EXPECT_FALSE(check().isIpAllowed("10.0.0.2"));
  EXPECT_EQ(console_.out(),
            std::string(texts::kAddedToBlacklist) + "10.0.0.2\n");
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "10.0.0.1\n10.0.0.2\n");
}

TEST_F(FPCheckTest, DecodedLineFeedStaysInMemoryButNeverReachesTheFile) {
  writeConfig("BadIPs.txt", "");
  writeConfig("BadUrlKeyWord.txt", "admin\n");
  const std::string forged = "10.0.0.1\n10.0.0.2";
  EXPECT_TRUE(check().checkBadUrlKeyword(forged, "/admin"));
  EXPECT_TRUE(check().isBadIp(forged));
  EXPECT_FALSE(check().isBadIp("10.0.0.2"));
  EXPECT_EQ(dir_.read("config/BadIPs.txt"), "");
  EXPECT_EQ(console_.err(), std::string(texts::kLineBreakRefusedPrefix) +
                                "config/BadIPs.txt\n");
  // One console line, the line feed shown rather than obeyed.
  EXPECT_EQ(console_.out(), malicious("10.0.0.1\\x0a10.0.0.2", "admin"));
}

TEST_F(FPCheckTest, MissingConfigDirectoryIsReportedAndBlacklistStillWorks) {
  const std::string absolute = (dir_.path() / "config").string();
  FPCheck fpCheck("config");
  fpCheck.addToBlacklist("10.0.0.1");
  EXPECT_TRUE(fpCheck.isBadIp("10.0.0.1"));
  EXPECT_EQ(console_.err(),
            std::string(texts::kConfigDirMissingPrefix) + "\"" + absolute +
                "\"\n" + texts::kConfigDirHint + "\n" +
                "Failed to open config/NotAllowed.txt\n"
                "Failed to open config/BadIPs.txt\n"
                "Warning: failed to open config/ForeignIps.txt for loading "
                "foreign IPs.\n"
                "Failed to open config/BadUrlKeyWord.txt for loading bad URL "
                "keywords.\n"
                "[Error] Failed to write to file: config/BadIPs.txt\n");
  EXPECT_EQ(console_.out(), std::string(texts::kStaticScreeningOn) + "\n" +
                                texts::kAddedToBlacklist + "10.0.0.1\n");
}

TEST_F(FPCheckTest, MissingDirectoryPathIsQuoted) {
  FPCheck fpCheck("con\"f\\ig");
  const std::string firstLine =
      console_.err().substr(0, console_.err().find('\n'));
  const std::string absolute = (dir_.path() / "con").string();
  EXPECT_EQ(firstLine, std::string(texts::kConfigDirMissingPrefix) + "\"" +
                           absolute + "\\\"f\\\\ig\"");
}

// Discards console output without shared state, so that many threads may
// write to it at once.
class DiscardBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

TEST_F(FPCheckTest, ConcurrentBlacklistAndDecisionLogLinesLandWhole) {
  writeConfig("BadIPs.txt", "");
  check();
  DiscardBuffer discard;
  std::streambuf* previous = std::cout.rdbuf(&discard);
  constexpr int kThreads = 16;
  constexpr int kPerThread = 250;
  const std::string padding(80, 'x');
  auto address = [&](int t, int i) {
    return "10." + std::to_string(t) + "." + std::to_string(i) + padding;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        check().addToBlacklist(address(t, i));
        check().logAllowedIp(address(t, i), texts::kAllowedTag, padding);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::cout.rdbuf(previous);

  std::map<std::string, int> expectedIps, expectedLogTails;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kPerThread; ++i) {
      expectedIps[address(t, i)] = 1;
      expectedLogTails[" IP: " + address(t, i) +
                       " [OK] 200 User-Agent: " + padding] = 1;
    }
  }
  EXPECT_EQ(countLines(dir_.read("config/BadIPs.txt")), expectedIps);
  std::map<std::string, int> logTails;
  for (const std::string& line : splitLines(decisionLogOf(dir_.path())))
    ++logTails[line.substr(19)];  // after the timestamp
  EXPECT_EQ(logTails, expectedLogTails);
}

}  // namespace
