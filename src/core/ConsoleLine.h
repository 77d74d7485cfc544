// writeLine: one console line, formatted apart and then written as one
// insertion with a flush. The standard streams lock per insertion, so lines
// written this way by concurrent threads never cut into each other; control
// bytes of the parts (a client's address or URI may hold any) are written as
// \xNN, so one call is always exactly one line. Any thread may call it; it
// owns nothing.
#ifndef QUORVANTEL_CORE_CONSOLELINE_H_
#define QUORVANTEL_CORE_CONSOLELINE_H_

#include <ostream>
#include <sstream>
#include <string>

#include "core/VisibleText.h"

// Writes the parts, in the stream's default formatting and control bytes
// escaped, then a line feed.
template <typename... Parts>
void writeLine(std::ostream& stream, const Parts&... parts) {
  std::ostringstream formatted;
  (formatted << ... << parts);
  std::string line;
  appendVisible(line, formatted.str());
  stream << (line + '\n') << std::flush;
}

#endif  // QUORVANTEL_CORE_CONSOLELINE_H_
