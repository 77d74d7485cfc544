// TempWorkDir: a fresh temporary directory that becomes the process's working
// directory for the life of the object, so components that resolve "config"
// and "logs" relative to it see only what a test put there.
#ifndef QUORVANTEL_TESTS_SUPPORT_TEMPWORKDIR_H_
#define QUORVANTEL_TESTS_SUPPORT_TEMPWORKDIR_H_

#include <filesystem>
#include <string>

class TempWorkDir {
 public:
  // Creates the directory; with enter, also makes it the working directory.
  explicit TempWorkDir(bool enter = true);
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `content` to `relativePath` (parents created), replacing it.
  void write(const std::string& relativePath, const std::string& content) const;
  // The whole content of `relativePath`; empty when it cannot be read.
  std::string read(const std::string& relativePath) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
  bool entered_;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_TEMPWORKDIR_H_
