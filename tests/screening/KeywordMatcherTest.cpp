#include "screening/KeywordMatcher.h"

#include <gtest/gtest.h>

#include <random>

#include "screening/FPCheck.h"

namespace {

// Against a plain walk of the list, over bytes that tempt a wrong folding.
TEST(KeywordMatcherTest, AgreesWithWalkingTheListInOrder) {
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
