#include "support/TextLines.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::map<std::string, int> countLines(const std::string& text) {
  std::map<std::string, int> counts;
  for (const std::string& line : splitLines(text)) ++counts[line];
  return counts;
}

size_t countOf(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1)) {
    ++n;
  }
  return n;
}

std::string decisionLogOf(const fs::path& workDir) {
  std::string all;
  const fs::path logs = workDir / "logs";
  std::error_code error;
  if (!fs::is_directory(logs, error)) return all;
  for (const auto& entry : fs::directory_iterator(logs)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    all += content.str();
  }
  return all;
}
