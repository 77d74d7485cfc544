// KeywordMatcher: which entries of a fixed list occur in a text, comparing
// bytes with the ASCII letters A to Z folded to a to z and every other byte
// exact (as FPCheck::containsIgnoreCase does for one pattern). Built once from
// the list as an Aho-Corasick automaton, so a search is one pass over the text
// whatever the list's length.
//
// Immutable after construction: any number of threads may search at once
// without a lock.
#ifndef QUORVANTEL_SCREENING_KEYWORDMATCHER_H_
#define QUORVANTEL_SCREENING_KEYWORDMATCHER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KeywordMatcher {
 public:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // Matches nothing.
  KeywordMatcher();
  explicit KeywordMatcher(const std::vector<std::string>& keywords);

  // The index of the first keyword in list order that occurs in `text`
  // (not the one that occurs first in the text); kNone when none does.
  size_t firstMatch(const std::string& text) const;
  // Whether any keyword occurs in `text`; stops at the first occurrence.
  bool matchesAny(const std::string& text) const;

 private:
  using State = uint32_t;

  // The state the keyword ends in, adding the states it lacks.
  State addToTrie(const std::string& keyword);
  void linkFailures();
  State next(State state, unsigned char byte) const {
    return transitions_[state * alphabetSize_ + byteClass_[byte]];
  }

  // Bytes that occur in no keyword share class 0, so the table has a column
  // per distinct (folded) keyword byte rather than 256.
  std::array<uint8_t, 256> byteClass_{};
  size_t alphabetSize_ = 1;
  // transitions_[state * alphabetSize_ + class]: the full automaton, failure
  // links folded in.
  std::vector<State> transitions_;
  // Per state: the lowest keyword index ending there or at any state its
  // failure links lead to; kNone when none.
  std::vector<size_t> firstKeyword_;
  // An empty keyword occurs in every non-empty text.
  size_t emptyKeyword_ = kNone;
};

#endif  // QUORVANTEL_SCREENING_KEYWORDMATCHER_H_
