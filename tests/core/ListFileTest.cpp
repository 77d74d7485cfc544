#include "core/ListFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

using Lines = std::vector<std::string>;

Lines entries(const std::string& name, ListFile::Trim trim) {
  Lines result;
  ListFile("config", name).forEachEntry(trim, [&](std::string&& e) {
    result.push_back(e);
  });
  return result;
}

TEST(ListFileTest, ReadsEntriesTrimmedPerReader) {
  TempWorkDir dir;
  dir.write("config/crlf.txt", "10.0.0.1\r\n10.0.0.2\r\n");
  dir.write("config/lf.txt", "10.0.0.1\n10.0.0.2");  // last line unterminated
  dir.write("config/l.txt", "  10.0.0.1  \n \t\r\n\n#x\n10.0.0.1\n");
  EXPECT_EQ(entries("crlf.txt", ListFile::Trim::kEnd),
            (Lines{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(entries("lf.txt", ListFile::Trim::kEnd),
            (Lines{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(entries("l.txt", ListFile::Trim::kEnd),
            (Lines{"  10.0.0.1", "#x", "10.0.0.1"}));
  EXPECT_EQ(entries("l.txt", ListFile::Trim::kBothEnds),
            (Lines{"10.0.0.1", "#x", "10.0.0.1"}));
}

TEST(ListFileTest, MissingFileOrDirectoryReportsFailureAndCallsNothing) {
  TempWorkDir dir;
  // A directory opens for reading on this platform, as an empty file.
  std::filesystem::create_directories("config/BadIPs.txt");
  bool called = false;
  for (const char* name : {"none.txt", "BadIPs.txt"}) {
    EXPECT_FALSE(ListFile("config", name)
                     .forEachEntry(ListFile::Trim::kEnd,
                                   [&](std::string&&) { called = true; }))
        << name;
  }
  EXPECT_FALSE(called);
}

TEST(ListFileTest, AppendCreatesNeverTruncatesAndRefusesLineBreaks) {
  TempWorkDir dir;
  EXPECT_EQ(ListFile("config", "BadIPs.txt").append("10.0.0.1"),
            ListFile::AppendResult::kOpenFailed);  // no directory yet
  dir.write("config/.keep", "");
  ListFile file("config", "BadIPs.txt");
  ConsoleCapture console;
  for (const char* line : {"10.0.0.1", "10.0.0.1", ""})
    EXPECT_EQ(file.append(line), ListFile::AppendResult::kWritten);
  for (const char* line : {"1.2.3.4\n5.6.7.8", "1.2.3.4\r"})
    EXPECT_EQ(file.append(line), ListFile::AppendResult::kRefused);
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.1\n10.0.0.1\n\n");
  const std::string refused =
      "[Error] Refused to write an entry holding a line break to file: "
      "config/BadIPs.txt\n";
  EXPECT_EQ(console.err(), refused + refused);
}

TEST(ListFileTest, ConcurrentAppendsLandAsWholeDistinctLines) {
  TempWorkDir dir;
  dir.write("config/.keep", "");
  constexpr int kThreads = 16;
  constexpr int kLinesPerThread = 400;
  auto line = [](int t, int i) {
    return "10." + std::to_string(t) + "." + std::to_string(i) +
           std::string(100, 'x');
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &line] {
      // Each thread has its own ListFile object: the lock is per path.
      ListFile file("config", "BadIPs.txt");
      for (int i = 0; i < kLinesPerThread; ++i) file.append(line(t, i));
    });
  }
  std::multiset<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLinesPerThread; ++i) expected.insert(line(t, i));
  }
  for (auto& thread : threads) thread.join();
  const Lines lines = entries("BadIPs.txt", ListFile::Trim::kEnd);
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected);
}

}  // namespace
