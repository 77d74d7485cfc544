#include "support/ConsoleCapture.h"

#include <iostream>

ConsoleCapture::ConsoleCapture()
    : previousOut_(std::cout.rdbuf(out_.rdbuf())),
      previousErr_(std::cerr.rdbuf(err_.rdbuf())) {}

ConsoleCapture::~ConsoleCapture() {
  std::cout.rdbuf(previousOut_);
  std::cerr.rdbuf(previousErr_);
}

void ConsoleCapture::clear() {
  out_.str("");
  err_.str("");
}
