#include "core/ListFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

TEST(ListFileTest, ReadsTrimmedEntriesAndAppendsOnlyWholeLines) {
  TempWorkDir dir;
  dir.write("config/l.txt", "  a  \r\n \t\r\n\nb\r\n");
  const ListFile file("config", "l.txt");
  ConsoleCapture console;
  EXPECT_EQ(file.append(" c"), ListFile::AppendResult::kWritten);
  for (const char* entry : {"d\r", "d\ne"}) {
    EXPECT_EQ(file.append(entry), ListFile::AppendResult::kRefused);
    EXPECT_EQ(console.err(),
              "[Error] Refused to write an entry holding a "
              "line break to file: config/l.txt\n");
    console.clear();
  }
  // A directory opens as an empty file here; it must count as unreadable.
  EXPECT_FALSE(ListFile("config").forEachEntry(ListFile::Trim::kEnd, {}));
  for (auto trim : {ListFile::Trim::kEnd, ListFile::Trim::kBothEnds}) {
    std::string entries;
    file.forEachEntry(trim, [&](std::string&& e) { entries += e + '|'; });
    EXPECT_EQ(entries, trim == ListFile::Trim::kEnd ? "  a|b| c|" : "a|b|c|");
  }
}

}  // namespace
