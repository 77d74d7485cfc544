#include "core/InputFile.h"

#include <filesystem>
#include <system_error>

bool openInputFile(std::ifstream& in, const std::string& path) {
  in.open(path);
  std::error_code ignored;
  return in.is_open() && !std::filesystem::is_directory(path, ignored);
}
