#include "screening/KeywordMatcher.h"

#include <algorithm>
#include <queue>

namespace {

constexpr uint32_t kNoState = static_cast<uint32_t>(-1);

unsigned char foldAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + 32)
                                      : byte;
}

}  // namespace

KeywordMatcher::KeywordMatcher()
    : transitions_(1, 0), firstKeyword_(1, kNone) {}

KeywordMatcher::KeywordMatcher(const std::vector<std::string>& keywords) {
  for (const std::string& keyword : keywords) {
    for (char c : keyword) {
      const unsigned char folded = foldAscii(static_cast<unsigned char>(c));
      if (byteClass_[folded] == 0) {
        byteClass_[folded] = static_cast<uint8_t>(alphabetSize_++);
      }
    }
  }
  for (int byte = 'A'; byte <= 'Z'; ++byte) {
    byteClass_[byte] = byteClass_[byte + 32];
  }
  transitions_.assign(alphabetSize_, kNoState);
  firstKeyword_.assign(1, kNone);
  for (size_t index = 0; index < keywords.size(); ++index) {
    if (keywords[index].empty()) {
      emptyKeyword_ = std::min(emptyKeyword_, index);
    } else {
      const State end = addToTrie(keywords[index]);
      firstKeyword_[end] = std::min(firstKeyword_[end], index);
    }
  }
  linkFailures();
}

KeywordMatcher::State KeywordMatcher::addToTrie(const std::string& keyword) {
  State state = 0;
  for (char c : keyword) {
    const size_t slot =
        state * alphabetSize_ + byteClass_[static_cast<unsigned char>(c)];
    if (transitions_[slot] == kNoState) {
      transitions_[slot] = static_cast<State>(firstKeyword_.size());
      transitions_.resize(transitions_.size() + alphabetSize_, kNoState);
      firstKeyword_.push_back(kNone);
    }
    state = transitions_[slot];
  }
  return state;
}

// Breadth first, so a state's failure target is complete before the state:
// a missing transition becomes the failure target's, and each state inherits
// the lowest keyword index its failure target reports.
void KeywordMatcher::linkFailures() {
  std::vector<State> failure(firstKeyword_.size(), 0);
  std::queue<State> pending;
  for (size_t c = 0; c < alphabetSize_; ++c) {
    State& child = transitions_[c];
    if (child == kNoState) {
      child = 0;
    } else {
      pending.push(child);
    }
  }
  while (!pending.empty()) {
    const State state = pending.front();
    pending.pop();
    const State fallback = failure[state];
    firstKeyword_[state] =
        std::min(firstKeyword_[state], firstKeyword_[fallback]);
    for (size_t c = 0; c < alphabetSize_; ++c) {
      State& child = transitions_[state * alphabetSize_ + c];
      const State viaFallback = transitions_[fallback * alphabetSize_ + c];
      if (child == kNoState) {
        child = viaFallback;
      } else {
        failure[child] = viaFallback;
        pending.push(child);
      }
    }
  }
}

size_t KeywordMatcher::firstMatch(const std::string& text) const {
  size_t first = text.empty() ? kNone : emptyKeyword_;
  if (transitions_.size() == alphabetSize_) return first;  // no state but root
  State state = 0;
  for (char c : text) {
    state = next(state, static_cast<unsigned char>(c));
    first = std::min(first, firstKeyword_[state]);
    if (first == 0) break;  // nothing comes before the first keyword
  }
  return first;
}

bool KeywordMatcher::matchesAny(const std::string& text) const {
  if (!text.empty() && emptyKeyword_ != kNone) return true;
  if (transitions_.size() == alphabetSize_) return false;  // no state but root
  State state = 0;
  for (char c : text) {
    state = next(state, static_cast<unsigned char>(c));
    if (firstKeyword_[state] != kNone) return true;
  }
  return false;
}
