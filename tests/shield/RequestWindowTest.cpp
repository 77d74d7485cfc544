#include "shield/RequestWindow.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

namespace {

constexpr int64_t kSpan = 61;

// A clock that steps back (as a test clock may) leaves younger entries
// behind an old one, exactly as a deque popped from its front would.
TEST(RequestWindowTest, StopsAtTheOldestEntryLikeAQueue) {
  RequestWindow window;
  window.slide(100, kSpan);
  window.slide(50, kSpan);
  window.slide(170, kSpan);  // drops 100 and 50, both 61 or more older
  EXPECT_EQ(window.size(), 1u);
  window.slide(300, kSpan);
  window.slide(200, kSpan);  // 300 is younger than 200: nothing drops
  EXPECT_EQ(window.size(), 2u);
  EXPECT_EQ(window.countYoungerThan(200, 1000), 2);
}

// Against a deque driven the same way, through bursts that grow the block
// and pauses that shrink it again.
TEST(RequestWindowTest, AgreesWithADequeThroughBurstsAndPauses) {
  std::mt19937 random(61);
  std::deque<int64_t> reference;
  RequestWindow window;
  int64_t now = 0;
  for (int request = 0; request < 20000; ++request) {
    now += (request / 500) % 2 == 0 ? random() % 3 : random() % 40;
    reference.push_back(now);
    while (now - reference.front() >= kSpan) reference.pop_front();
    window.slide(now, kSpan);
    ASSERT_EQ(window.size(), reference.size());
    int64_t expected = 0;
    for (auto it = reference.rbegin(); it != reference.rend() && now - *it < 7;
         ++it) {
      ++expected;
    }
    ASSERT_EQ(window.countYoungerThan(now, 7), expected);
  }
}

}  // namespace
