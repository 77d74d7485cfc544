// RequestWindow: the arrival times of one address's recent requests, as
// steady-clock nanosecond counts, oldest first. The behaviour shield keeps
// one per address it has ever seen, so it holds them in one block that grows
// with the window and shrinks again when the address slows down: one or a
// few entries for a typical address, where a deque always takes a 512-byte
// block and its map.
//
// No lock of its own: DynamicShield::stateMutex_ guards every instance.
#ifndef QUORVANTEL_SHIELD_REQUESTWINDOW_H_
#define QUORVANTEL_SHIELD_REQUESTWINDOW_H_

#include <cstddef>
#include <cstdint>
#include <vector>

class RequestWindow {
 public:
  // Appends `now`, then drops entries from the oldest on while `now` minus
  // the oldest is `span` or more; the entry just appended always stays.
  void slide(int64_t now, int64_t span);

  size_t size() const { return times_.size() - first_; }

  // Entries strictly younger than `span`, counted from the newest back and
  // stopping at the first that is not.
  int64_t countYoungerThan(int64_t now, int64_t span) const;

 private:
  // Once half the block is dropped entries, moves the window to its start,
  // and gives back memory that a much larger window left behind.
  void compact();

  // times_[first_] onwards is the window; the entries before it are dropped.
  std::vector<int64_t> times_;
  uint32_t first_ = 0;
};

#endif  // QUORVANTEL_SHIELD_REQUESTWINDOW_H_
