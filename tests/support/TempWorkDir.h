// TempWorkDir: a fresh temporary directory, by default the process's working
// directory while the object lives, so that "config" and "logs" resolve to
// what a test put there.
#ifndef QUORVANTEL_TESTS_SUPPORT_TEMPWORKDIR_H_
#define QUORVANTEL_TESTS_SUPPORT_TEMPWORKDIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

class TempWorkDir {
 public:
  explicit TempWorkDir(bool enter = true) : entered_(enter) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "qv-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    if (entered_) std::filesystem::current_path(path_);
  }
  ~TempWorkDir() {
    std::error_code ignored;
    if (entered_) std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Replaces `relativePath` (parents created) by `content`.
  void write(const std::string& relativePath,
             const std::string& content) const {
    std::filesystem::create_directories((path_ / relativePath).parent_path());
    std::ofstream(path_ / relativePath, std::ios::binary) << content;
  }
  // The whole of `relativePath`; empty when it cannot be read.
  std::string read(const std::string& relativePath) const {
    std::ostringstream content;
    content << std::ifstream(path_ / relativePath, std::ios::binary).rdbuf();
    return content.str();
  }

 private:
  const std::filesystem::path previous_ = std::filesystem::current_path();
  std::filesystem::path path_;
  bool entered_;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_TEMPWORKDIR_H_
