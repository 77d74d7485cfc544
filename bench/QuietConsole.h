// QuietConsole: while it lives, standard output is discarded, so the lines
// components print (start-up, blacklisting) stay out of the benchmark table.
#ifndef QUORVANTEL_BENCH_QUIETCONSOLE_H_
#define QUORVANTEL_BENCH_QUIETCONSOLE_H_

#include <iostream>

class QuietConsole {
 public:
  QuietConsole() : saved_(std::cout.rdbuf(nullptr)) {}
  ~QuietConsole() { std::cout.rdbuf(saved_); }
  QuietConsole(const QuietConsole&) = delete;
  QuietConsole& operator=(const QuietConsole&) = delete;

 private:
  std::streambuf* saved_;
};

#endif  // QUORVANTEL_BENCH_QUIETCONSOLE_H_
