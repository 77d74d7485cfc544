#include "screening/DecisionLog.h"

#include <time.h>

#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>

#include "core/ConsoleLine.h"
#include "core/ListFile.h"
#include "core/Texts.h"
#include "core/VisibleText.h"

namespace {

constexpr char kLogsDirectory[] = "logs";

std::tm localTime(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

}  // namespace

DecisionLog::DecisionLog()
    : DecisionLog([] { return std::chrono::system_clock::now(); }) {}

DecisionLog::DecisionLog(WallClock clock) : clock_(std::move(clock)) {}

void DecisionLog::write(const std::string& ip, const std::string& tag,
                        const std::string& userAgent) const {
  // One reading serves the file name and the timestamp, so a line always
  // lies in the file of its own date.
  const std::tm now = localTime(clock_());
  char fileName[64];
  std::strftime(fileName, sizeof fileName, texts::kLogFilePattern, &now);
  char timestamp[20];
  std::strftime(timestamp, sizeof timestamp, texts::kLogTimePattern, &now);

  std::string line;
  line.reserve(sizeof timestamp + ip.size() + tag.size() + userAgent.size() +
               32);
  line += timestamp;
  line += texts::kLogIpLabel;
  appendVisible(line, ip);
  line += ' ';
  appendVisible(line, tag);
  line += texts::kLogUserAgentLabel;
  appendVisible(line, userAgent);

  // The file opens whenever "logs" exists, so the directory is looked after
  // only when it does not: once per run, and again if "logs" is deleted.
  const ListFile file(fileName, ListFile::Writers::kGateOnly);
  ListFile::AppendResult result = file.append(line);
  if (result == ListFile::AppendResult::kOpenFailed) {
    ensureLogsDirectory();
    result = file.append(line);
  }
  if (result == ListFile::AppendResult::kOpenFailed) {
    writeLine(std::cerr, texts::kFailedToOpen, fileName, texts::kLogForWriting);
  }
}

void ensureLogsDirectory() {
  if (std::filesystem::exists(kLogsDirectory)) return;
  try {
    std::filesystem::create_directories(kLogsDirectory);
  } catch (const std::exception& e) {
    writeLine(std::cerr, texts::kLogDirCreateError, e.what());
  }
}
