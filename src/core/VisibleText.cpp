#include "core/VisibleText.h"

void appendVisible(std::string& line, const std::string& text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      line += "\\x";
      line += kHexDigits[byte >> 4];
      line += kHexDigits[byte & 0x0f];
    } else {
      line += c;
    }
  }
}
