// FPCheck::containsIgnoreCase against a plain reference: fold A-Z to a-z in
// copies of both strings and search. Every other byte must match exactly.
#include <string>

#include "FuzzSupport.h"
#include "screening/FPCheck.h"

namespace {

std::string foldAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool referenceContains(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return !text.empty();
  return foldAscii(text).find(foldAscii(pattern)) != std::string::npos;
}

}  // namespace

// The first byte says how long the pattern is; the pattern follows, then the
// text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest = bytesOf(data + 1, size - 1);
  const size_t patternLength = data[0] % (rest.size() + 1);
  const std::string pattern = rest.substr(0, patternLength);
  const std::string text = rest.substr(patternLength);
  if (FPCheck::containsIgnoreCase(text, pattern) !=
      referenceContains(text, pattern)) {
    fail("containsIgnoreCase disagrees with the reference");
  }
  return 0;
}
