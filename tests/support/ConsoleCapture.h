// ConsoleCapture: collects what std::cout and std::cerr receive while it
// lives. Threads that write to the console must be joined before it ends.
#ifndef QUORVANTEL_TESTS_SUPPORT_CONSOLECAPTURE_H_
#define QUORVANTEL_TESTS_SUPPORT_CONSOLECAPTURE_H_

#include <sstream>
#include <streambuf>
#include <string>

class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }
  void clear();

 private:
  std::ostringstream out_;
  std::ostringstream err_;
  std::streambuf* previousOut_;
  std::streambuf* previousErr_;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_CONSOLECAPTURE_H_
