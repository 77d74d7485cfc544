// writeLine: one console line written as one insertion and flushed. The
// standard streams lock per insertion, so lines written this way by
// concurrent threads never cut into each other. Any thread may call it; it
// owns nothing.
#ifndef QUORVANTEL_CORE_CONSOLELINE_H_
#define QUORVANTEL_CORE_CONSOLELINE_H_

#include <ostream>
#include <string>

// Writes `line`, a line feed and a flush to `stream`.
void writeLine(std::ostream& stream, const std::string& line);

#endif  // QUORVANTEL_CORE_CONSOLELINE_H_
