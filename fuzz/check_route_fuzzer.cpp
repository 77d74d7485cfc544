// The "/check" route and the error handler given arbitrary header bytes, as
// the library would deliver them: the input is a block of header lines
// ("Name: value", split at line feeds), each value trimmed of blanks and
// tabs and percent-decoded like the library does, so NUL, CR, LF and any
// other byte can reach the facts. Every answer must be one of the gate's
// two, and every request may add at most one whole line to the decision log
// and to "BadIPs.txt".
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "botguard/BotGuard.h"
#include "botguard/HostResolver.h"
#include "core/Config.h"
#include "screening/FPCheck.h"
#include "server/CheckRoute.h"
#include "server/ErrorHandler.h"
#include "shield/DynamicShield.h"
#include "support/TextLines.h"

namespace fs = std::filesystem;

namespace {

// The gate's components over a small fixed configuration. Crawler checks
// fail at once without DNS, and fakes are not handed on, so that only the
// request in hand writes to the files.
struct Gate {
  Gate()
      : fpCheck("config"),
        botGuard(nullptr, "config",
                 HostResolver{[](const in_addr&) { return std::nullopt; },
                              [](const std::string&) {
                                return std::vector<in_addr>();
                              }}),
        shield("config"),
        context{Config::instance(), botGuard, fpCheck, shield} {}

  FPCheck fpCheck;
  BotGuard botGuard;
  DynamicShield shield;
  CheckHandlerContext context;
};

Gate* gate;

void writeConfiguration() {
  fs::create_directory("config");
  writeFile("config/BadUrlKeyWord.txt", "wp-login\nunion select\n..%2f\n");
  writeFile("config/NotAllowed.txt", "curl\nsqlmap\n");
  writeFile("config/GoodIPs.txt", "127.0.0.1\n");
  writeFile("config/BadIPs.txt", "");
  // Low limits, so the shield blocks and appends too.
  writeFile("config.json",
            R"({"features": {"enable_dynamic_shield": true,
                              "enable_console_log": true},
                "shield": {"score_threshold": 30, "limit_qps": 2,
                           "limit_burst_1min": 6}})");
  Config::instance().load("config.json");
}

httplib::Request requestOf(const std::string& block) {
  httplib::Request request;
  request.method = "GET";
  request.path = "/check";
  for (const std::string& line : splitLines(block)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const size_t first = line.find_first_not_of(" \t", colon + 1);
    const size_t last = line.find_last_not_of(" \t");
    const std::string value =
        first == std::string::npos ? "" : line.substr(first, last - first + 1);
    request.headers.emplace(line.substr(0, colon),
                            httplib::detail::decode_url(value, false));
  }
  return request;
}

// Sizes of the files a request may append to.
std::map<fs::path, uintmax_t> fileSizes() {
  std::map<fs::path, uintmax_t> sizes;
  sizes["config/BadIPs.txt"] = fs::file_size("config/BadIPs.txt");
  if (fs::is_directory("logs")) {
    for (const auto& entry : fs::directory_iterator("logs"))
      sizes[entry.path()] = entry.file_size();
  }
  return sizes;
}

// What was appended to `path` past `oldSize` must be nothing or one line.
void checkAtMostOneLine(const fs::path& path, uintmax_t oldSize) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(oldSize));
  const std::string added{std::istreambuf_iterator<char>(in),
                          std::istreambuf_iterator<char>()};
  if (added.empty()) return;
  if (added.back() != '\n' || added.find('\n') != added.size() - 1)
    fail("one request wrote other than one whole line to " + path.string());
}

void checkAnswer(const httplib::Response& response) {
  const bool allowed = response.status == 200 && response.body == "OK";
  const bool refused =
      response.status == 401 && response.body == "Blocked By Error Handler";
  if (!allowed && !refused) fail("an answer other than the gate's two");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prepareWorkDirAndConsole();
  writeConfiguration();
  gate = new Gate();  // lives as long as the fuzzing process
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const httplib::Request request = requestOf(bytesOf(data, size));
  const std::map<fs::path, uintmax_t> before = fileSizes();
  httplib::Response response;
  checkHandler(gate->context, request, response);
  // The library hands every answer of 400 or more to the error handler.
  if (response.status >= 400) errorHandler(request, response);
  checkAnswer(response);
  for (const auto& [path, size] : fileSizes()) {
    const auto old = before.find(path);
    checkAtMostOneLine(path, old == before.end() ? 0 : old->second);
  }
  return 0;
}
