#include "screening/FPCheck.h"

#include <gtest/gtest.h>

#include <random>

#include "screening/KeywordMatcher.h"
#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

TEST(FPCheckTest, ListsLoadWithLineEndsTrimmedAndBlock) {
  TempWorkDir dir;
  dir.write("config/BadUrlKeyWord.txt", "login\r\n \t\r\nadmin\r\n");
  dir.write("config/BadIPs.txt", "10.0.0.1 \r\n10.0.0.9");  // hand-edited
  dir.write("config/NotAllowed.txt", "  curl\r\n\xc5\xc0\n");
  ConsoleCapture console;
  FPCheck check("config");
  // User agents: ASCII letters fold, other bytes and leading blanks do not.
  EXPECT_FALSE(check.isUserAgentAllowed("x  CURL/8"));
  EXPECT_TRUE(check.isUserAgentAllowed("curl/8 \xe5\xc0"));
  console.clear();
  EXPECT_FALSE(check.checkBadUrlKeyword("10.0.0.2", "/logi"));
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(check.checkBadUrlKeyword("10.0.0.2", "/ADMIN/Login"));
  // A decoded line break stays in memory; the file refuses it.
  EXPECT_TRUE(check.checkBadUrlKeyword("10.0.0.3\r10.0.0.4", "/admin"));
  EXPECT_TRUE(check.isBadIp("10.0.0.3\r10.0.0.4"));
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.1 \r\n10.0.0.9\n10.0.0.2\n");
  // One line per address, naming the first keyword in file order.
  EXPECT_EQ(console.out(),
            "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.2 containing "
            "URLkeyword: login\n"
            "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.3\\x0d10.0.0.4 "
            "containing URLkeyword: admin\n");
}

// Against a plain walk of the list, over bytes that tempt a wrong folding.
TEST(FPCheckTest, KeywordMatcherAgreesWithWalkingTheListInOrder) {
  const char bytes[] = "aAzZ@`[{\xc9\xe9 ";
  std::mt19937 random(20261206);
  auto randomText = [&](size_t maxLength) {
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = bytes[random() % (sizeof bytes - 1)];
    return text;
  };
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::string> keywords(1 + random() % 12);
    for (auto& keyword : keywords) keyword = randomText(4);
    const std::string text = randomText(16);
    size_t expected = KeywordMatcher::kNone;
    for (size_t i = keywords.size(); i-- > 0;)
      if (FPCheck::containsIgnoreCase(text, keywords[i])) expected = i;
    const KeywordMatcher matcher(keywords);
    ASSERT_EQ(matcher.firstMatch(text), expected) << text;
    ASSERT_EQ(matcher.matchesAny(text), expected != KeywordMatcher::kNone);
  }
}

}  // namespace
