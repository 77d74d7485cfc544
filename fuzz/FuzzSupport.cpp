#include "FuzzSupport.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <streambuf>

namespace fs = std::filesystem;

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

const fs::path& fuzzWorkDir() {
  static const fs::path dir = [] {
    std::string pattern =
        (fs::temp_directory_path() / "qv-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp failed");
    fs::current_path(pattern);
    return fs::path(pattern);
  }();
  return dir;
}

void silenceConsole() {
  static NullBuffer nowhere;
  std::cout.rdbuf(&nowhere);
  std::cerr.rdbuf(&nowhere);
}

void prepareWorkDirAndConsole() {
  fuzzWorkDir();
  silenceConsole();
}

std::string bytesOf(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void fail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}
