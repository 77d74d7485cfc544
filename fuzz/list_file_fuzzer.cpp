// The list-file reader and appender on arbitrary bytes. Reading must give
// exactly the trimmed, non-empty lines; an append must come back as exactly
// one entry, or be refused when it would split into several.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "core/ListFile.h"
#include "support/TextLines.h"

namespace {

constexpr char kTrimSet[] = " \t\r\n";

std::string trimmed(std::string line, ListFile::Trim trim) {
  line.erase(line.find_last_not_of(kTrimSet) + 1);
  if (trim == ListFile::Trim::kBothEnds)
    line.erase(0, line.find_first_not_of(kTrimSet));
  return line;
}

// What a reader must find, worked out the plain way.
std::vector<std::string> expectedEntries(const std::string& content,
                                         ListFile::Trim trim) {
  std::vector<std::string> entries;
  for (const std::string& line : splitLines(content)) {
    std::string entry = trimmed(line, trim);
    if (!entry.empty()) entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<std::string> readEntries(const ListFile& file,
                                     ListFile::Trim trim) {
  std::vector<std::string> entries;
  if (!file.forEachEntry(trim, [&](std::string&& entry) {
        entries.push_back(std::move(entry));
      })) {
    fail("an existing list file did not open");
  }
  return entries;
}

void checkRead(const std::string& content) {
  writeFile("read.txt", content);
  const ListFile file("read.txt");
  for (ListFile::Trim trim :
       {ListFile::Trim::kEnd, ListFile::Trim::kBothEnds}) {
    if (readEntries(file, trim) != expectedEntries(content, trim))
      fail("the reader's entries differ from the file's lines");
  }
}

void checkAppend(const std::string& line) {
  std::filesystem::remove("append.txt");
  const ListFile file(std::filesystem::path("."), "append.txt");
  const ListFile::AppendResult result = file.append(line);
  const bool splits = line.find_first_of("\r\n") != std::string::npos;
  if (splits) {
    if (result != ListFile::AppendResult::kRefused ||
        std::filesystem::exists("append.txt")) {
      fail("an entry holding a line break was written");
    }
    return;
  }
  if (result != ListFile::AppendResult::kWritten) fail("an append failed");
  if (readFile("append.txt") != line + "\n") fail("the append is not one line");
  if (readEntries(file, ListFile::Trim::kEnd) !=
      expectedEntries(line, ListFile::Trim::kEnd)) {
    fail("an appended entry does not read back as itself");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prepareWorkDirAndConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = bytesOf(data, size);
  checkRead(bytes);
  checkAppend(bytes);
  return 0;
}
