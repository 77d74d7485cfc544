#include "core/ConsoleLine.h"

void writeLine(std::ostream& stream, const std::string& line) {
  stream << (line + '\n') << std::flush;
}
