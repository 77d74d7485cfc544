#include "support/TempWorkDir.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempWorkDir::TempWorkDir(bool enter) : entered_(enter) {
  std::string pattern = (fs::temp_directory_path() / "qv-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
  if (entered_) {
    previous_ = fs::current_path();
    fs::current_path(path_);
  }
}

TempWorkDir::~TempWorkDir() {
  std::error_code ignored;
  if (entered_) fs::current_path(previous_, ignored);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void TempWorkDir::write(const std::string& relativePath,
                        const std::string& content) const {
  fs::path target = path_ / relativePath;
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string TempWorkDir::read(const std::string& relativePath) const {
  std::ifstream in(path_ / relativePath, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
