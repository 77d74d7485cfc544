#include "screening/ListFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

std::vector<std::string> entries(const ListFile& file, ListFile::Trim trim) {
  std::vector<std::string> result;
  file.forEachEntry(trim, [&](std::string&& e) { result.push_back(e); });
  return result;
}

TEST(ListFileTest, JoinsDirectoryAndNameWithThePlatformSeparator) {
  EXPECT_EQ(ListFile::joinPath("config", "BadIPs.txt"), "config/BadIPs.txt");
  EXPECT_EQ(ListFile("config", "GoodIPs.txt").path(), "config/GoodIPs.txt");
}

TEST(ListFileTest, CrlfAndLfFilesGiveTheSameEntries) {
  TempWorkDir dir;
  dir.write("config/a.txt", "10.0.0.1\r\n10.0.0.2\r\n");
  dir.write("config/b.txt", "10.0.0.1\n10.0.0.2");  // last line unterminated
  std::vector<std::string> expected{"10.0.0.1", "10.0.0.2"};
  EXPECT_EQ(entries(ListFile("config", "a.txt"), ListFile::Trim::kEnd),
            expected);
  EXPECT_EQ(entries(ListFile("config", "b.txt"), ListFile::Trim::kEnd),
            expected);
}

TEST(ListFileTest, TrimsPerReaderAndSkipsBlankLines) {
  TempWorkDir dir;
  dir.write("config/l.txt", "  10.0.0.1  \n \t\r\n\n#x\n10.0.0.1\n");
  ListFile file("config", "l.txt");
  EXPECT_EQ(entries(file, ListFile::Trim::kEnd),
            (std::vector<std::string>{"  10.0.0.1", "#x", "10.0.0.1"}));
  EXPECT_EQ(entries(file, ListFile::Trim::kBothEnds),
            (std::vector<std::string>{"10.0.0.1", "#x", "10.0.0.1"}));
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

TEST(ListFileTest, AppendCreatesTheFileAndNeverTruncates) {
  TempWorkDir dir;
  dir.write("config/.keep", "");
  ListFile file("config", "BadIPs.txt");
  EXPECT_EQ(file.append("10.0.0.1"), ListFile::AppendResult::kWritten);
  EXPECT_EQ(file.append("10.0.0.1"), ListFile::AppendResult::kWritten);
  EXPECT_EQ(file.append(""), ListFile::AppendResult::kWritten);
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.1\n10.0.0.1\n\n");
}

TEST(ListFileTest, AppendFailsWhenTheDirectoryIsMissing) {
  TempWorkDir dir;
  EXPECT_EQ(ListFile("config", "BadIPs.txt").append("10.0.0.1"),
            ListFile::AppendResult::kOpenFailed);
}

TEST(ListFileTest, AppendRefusesLineBreaksAndSaysWhichFile) {
  TempWorkDir dir;
  dir.write("config/BadIPs.txt", "");
  ListFile file("config", "BadIPs.txt");
  ConsoleCapture console;
  EXPECT_EQ(file.append("1.2.3.4\n5.6.7.8"), ListFile::AppendResult::kRefused);
  EXPECT_EQ(file.append("1.2.3.4\r"), ListFile::AppendResult::kRefused);
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "");
  EXPECT_EQ(console.err(),
            "[Error] Refused to write an entry holding a line break to file: "
            "config/BadIPs.txt\n"
            "[Error] Refused to write an entry holding a line break to file: "
            "config/BadIPs.txt\n");
}

TEST(ListFileTest, ConcurrentAppendsLandAsWholeDistinctLines) {
  TempWorkDir dir;
  dir.write("config/.keep", "");
  constexpr int kThreads = 16;
  constexpr int kLinesPerThread = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      // Each thread has its own ListFile object: the lock is per path.
      ListFile file("config", "BadIPs.txt");
      for (int i = 0; i < kLinesPerThread; ++i) {
        file.append("10." + std::to_string(t) + "." + std::to_string(i) +
                    std::string(100, 'x'));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto lines = entries(ListFile("config", "BadIPs.txt"), ListFile::Trim::kEnd);
  ASSERT_EQ(lines.size(), size_t{kThreads * kLinesPerThread});
  std::set<std::string> distinct(lines.begin(), lines.end());
  EXPECT_EQ(distinct.size(), lines.size());
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLinesPerThread; ++i) {
      EXPECT_EQ(distinct.count("10." + std::to_string(t) + "." +
                               std::to_string(i) + std::string(100, 'x')),
                1u);
    }
  }
}

}  // namespace
