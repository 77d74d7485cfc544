#include "screening/KeywordMatcher.h"

#include <gtest/gtest.h>

#include <random>

#include "screening/FPCheck.h"

namespace {

constexpr size_t kNone = KeywordMatcher::kNone;

TEST(KeywordMatcherTest, NamesTheFirstKeywordInListOrderNotInTheText) {
  const KeywordMatcher matcher({"login", "admin", "in"});
  EXPECT_EQ(matcher.firstMatch("/admin/login"), 0u);
  EXPECT_EQ(matcher.firstMatch("/admin/"), 1u);
  EXPECT_EQ(matcher.firstMatch("/main"), 2u);
  EXPECT_EQ(matcher.firstMatch("/logout"), kNone);
  EXPECT_TRUE(matcher.matchesAny("/x/ADMIN"));
  EXPECT_FALSE(matcher.matchesAny("/adm"));
  EXPECT_EQ(KeywordMatcher().firstMatch("anything"), kNone);
}

// Keywords that lie inside or overlap each other are each found, through
// the failure links.
TEST(KeywordMatcherTest, FindsKeywordsInsideAndAcrossOtherKeywords) {
  const KeywordMatcher matcher({"hers", "she", "his", "he", "e"});
  EXPECT_EQ(matcher.firstMatch("ushers"), 0u);
  EXPECT_EQ(matcher.firstMatch("ushe"), 1u);
  EXPECT_EQ(matcher.firstMatch("hhe"), 3u);
  EXPECT_EQ(matcher.firstMatch("hi e"), 4u);
  EXPECT_EQ(matcher.firstMatch("hix"), kNone);
}

// Against the plain walk of the list with containsIgnoreCase, on random
// lists (with repeats, blanks and empty keywords) and texts over bytes that
// tempt a wrong folding.
TEST(KeywordMatcherTest, AgreesWithWalkingTheListInOrder) {
  const std::string bytes = "aAbB@`[{\xc9\xe9z ";
  std::mt19937 random(20261206);
  auto randomText = [&](size_t maxLength) {
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = bytes[random() % bytes.size()];
    return text;
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> keywords(1 + random() % 12);
    for (auto& keyword : keywords) keyword = randomText(4);
    const KeywordMatcher matcher(keywords);
    for (int probe = 0; probe < 30; ++probe) {
      const std::string text = randomText(16);
      size_t expected = kNone;
      for (size_t i = 0; i < keywords.size() && expected == kNone; ++i) {
        if (FPCheck::containsIgnoreCase(text, keywords[i])) expected = i;
      }
      ASSERT_EQ(matcher.firstMatch(text), expected) << text;
      ASSERT_EQ(matcher.matchesAny(text), expected != kNone) << text;
    }
  }
}

}  // namespace
