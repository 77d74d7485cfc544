#include "shield/RequestWindow.h"

void RequestWindow::slide(int64_t now, int64_t span) {
  times_.push_back(now);
  while (now - times_[first_] >= span) ++first_;
  compact();
}

int64_t RequestWindow::countYoungerThan(int64_t now, int64_t span) const {
  int64_t count = 0;
  for (size_t i = times_.size(); i > first_ && now - times_[i - 1] < span;
       --i) {
    ++count;
  }
  return count;
}

void RequestWindow::compact() {
  if (first_ == 0 || first_ < size()) return;
  times_.erase(times_.begin(), times_.begin() + first_);
  first_ = 0;
  if (times_.capacity() >= 4 * times_.size() + 8) times_.shrink_to_fit();
}
