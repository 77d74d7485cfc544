// writeLine: one console line, formatted apart and then written as one
// insertion with a flush. The standard streams lock per insertion, so lines
// written this way by concurrent threads never cut into each other. Any
// thread may call it; it owns nothing.
#ifndef QUORVANTEL_CORE_CONSOLELINE_H_
#define QUORVANTEL_CORE_CONSOLELINE_H_

#include <ostream>
#include <sstream>

// Writes the parts, in the stream's default formatting, then a line feed.
template <typename... Parts>
void writeLine(std::ostream& stream, const Parts&... parts) {
  std::ostringstream line;
  (line << ... << parts) << '\n';
  stream << line.str() << std::flush;
}

#endif  // QUORVANTEL_CORE_CONSOLELINE_H_
