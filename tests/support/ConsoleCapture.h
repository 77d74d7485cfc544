// ConsoleCapture: collects what std::cout and std::cerr receive while it
// lives. Threads that write to the console must be joined before it ends.
#ifndef QUORVANTEL_TESTS_SUPPORT_CONSOLECAPTURE_H_
#define QUORVANTEL_TESTS_SUPPORT_CONSOLECAPTURE_H_

#include <iostream>
#include <sstream>

class ConsoleCapture {
 public:
  ConsoleCapture() = default;
  ~ConsoleCapture() {
    std::cout.rdbuf(previousOut_);
    std::cerr.rdbuf(previousErr_);
  }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }
  void clear() { out_.str(""), err_.str(""); }

 private:
  std::ostringstream out_, err_;
  std::streambuf* previousOut_ = std::cout.rdbuf(out_.rdbuf());
  std::streambuf* previousErr_ = std::cerr.rdbuf(err_.rdbuf());
};

#endif  // QUORVANTEL_TESTS_SUPPORT_CONSOLECAPTURE_H_
