#include "core/ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iostream>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/ConsoleLine.h"
#include "core/InputFile.h"
#include "core/Texts.h"

namespace {

constexpr char kTrimSet[] = " \t\r\n";

// One mutex per path for the life of the process; entries are never erased,
// so references handed out stay valid.
std::mutex& mutexForPath(const std::string& path) {
  static std::mutex registryMutex;
  static std::unordered_map<std::string, std::unique_ptr<std::mutex>> registry;
  std::lock_guard<std::mutex> lock(registryMutex);
  auto& slot = registry[path];
  if (!slot) slot = std::make_unique<std::mutex>();
  return *slot;
}

// A failed write is not reported, as a stream's would not be.
void writeAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n =
        ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<size_t>(n);
  }
}

// A file edited by hand may lack the line feed of its last line; an entry
// appended to it must not be glued onto that line.
bool endsMidLine(int fd) {
  struct stat status;
  char last = '\n';
  return ::fstat(fd, &status) == 0 && status.st_size > 0 &&
         ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n';
}

void trimLine(std::string& line, ListFile::Trim trim) {
  line.erase(line.find_last_not_of(kTrimSet) + 1);
  if (trim == ListFile::Trim::kBothEnds) {
    line.erase(0, line.find_first_not_of(kTrimSet));
  }
}

}  // namespace

ListFile::ListFile(const std::filesystem::path& dir,
                   const std::string& fileName)
    : ListFile(joinPath(dir, fileName)) {}

ListFile::ListFile(std::string path, Writers writers)
    : path_(std::move(path)), writers_(writers), mutex_(mutexForPath(path_)) {}

std::string ListFile::joinPath(const std::filesystem::path& dir,
                               const std::string& fileName) {
  return (dir / fileName).string();
}

bool ListFile::forEachEntry(
    Trim trim, const std::function<void(std::string&&)>& onEntry) const {
  std::vector<std::string> entries;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ifstream in;
    if (!openInputFile(in, path_)) return false;
    std::string line;
    while (std::getline(in, line)) {
      trimLine(line, trim);
      if (!line.empty()) entries.push_back(std::move(line));
    }
  }
  for (std::string& entry : entries) onEntry(std::move(entry));
  return true;
}

ListFile::AppendResult ListFile::append(const std::string& line) const {
  if (line.find_first_of("\r\n") != std::string::npos) {
    writeLine(std::cerr, texts::kLineBreakRefusedPrefix, path_);
    return AppendResult::kRefused;
  }
  // Plain system calls rather than a stream: the decision log appends on
  // every request, and a stream's set-up costs more than the write. Only the
  // look at the last byte and the write need the lock; opening and closing
  // happen outside it.
  //
  // The look needs read rights, the append does not: a list that may be
  // appended to but not read still takes its entry, unlooked.
  constexpr int kAppend = O_APPEND | O_CREAT | O_CLOEXEC;
  int fd = -1;
  if (writers_ == Writers::kGateAndPeople) {
    fd = ::open(path_.c_str(), O_RDWR | kAppend, 0666);
  }
  const bool canLook = fd >= 0;
  if (!canLook) fd = ::open(path_.c_str(), O_WRONLY | kAppend, 0666);
  if (fd < 0) return AppendResult::kOpenFailed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool endLastLine = canLook && endsMidLine(fd);
    writeAll(fd, (endLastLine ? "\n" : "") + line + '\n');
  }
  ::close(fd);
  return AppendResult::kWritten;
}
