// The "/check" route and the error handler given any header bytes: the input
// is a block of "Name: value" lines, each value percent-decoded as the
// library does, so NUL, CR, LF and any other byte reach the facts. Every
// answer must be one of the gate's two, and a request may add at most one
// whole line to the decision log and to "BadIPs.txt".
#include <httplib.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>

#include "botguard/BotGuard.h"
#include "core/Config.h"
#include "screening/FPCheck.h"
#include "server/CheckRoute.h"
#include "server/ErrorHandler.h"
#include "shield/DynamicShield.h"

namespace fs = std::filesystem;

namespace {

void expect(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Crawler checks find no name, and fakes are not handed on, so only the
// request in hand writes to the files.
struct Gate {
  FPCheck fpCheck{"config"};
  BotGuard botGuard{
      nullptr, "config",
      HostResolver{[](const in_addr&) { return std::nullopt; },
                   [](const std::string&) { return std::vector<in_addr>(); }}};
  DynamicShield shield{"config"};
  CheckHandlerContext context{Config::instance(), botGuard, fpCheck, shield};
} * gate;

httplib::Request requestOf(const std::string& block) {
  httplib::Request request;
  request.method = "GET";
  request.path = "/check";
  std::istringstream lines(block);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const size_t first = line.find_first_not_of(" \t", colon + 1);
    const std::string value =
        first == std::string::npos ? "" : line.substr(first);
    request.headers.emplace(line.substr(0, colon),
                            httplib::detail::decode_url(value, false));
  }
  return request;
}

// The files a request may append to, with their sizes.
std::map<fs::path, uintmax_t> appendable() {
  std::map<fs::path, uintmax_t> sizes{
      {"config/BadIPs.txt", fs::file_size("config/BadIPs.txt")}};
  std::error_code none;
  for (const auto& entry : fs::directory_iterator("logs", none))
    sizes[entry.path()] = entry.file_size();
  return sizes;
}

void expectAtMostOneLineAdded(const fs::path& path, uintmax_t oldSize) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(oldSize));
  const std::string added{std::istreambuf_iterator<char>(in), {}};
  expect(added.empty() || added.find('\n') == added.size() - 1,
         "a request wrote other than one whole line");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp ? tmp : "/tmp") + "/qv-route-XXXXXX";
  expect(mkdtemp(dir.data()) != nullptr && chdir(dir.c_str()) == 0, "no dir");
  fs::create_directory("config");
  // Low limits, so the shield blocks and appends too.
  for (const auto& [path, content] : std::map<std::string, std::string>{
           {"config/BadUrlKeyWord.txt", "wp-login\nunion select\n"},
           {"config/NotAllowed.txt", "curl\n"},
           {"config/GoodIPs.txt", "127.0.0.1\n"},
           {"config/BadIPs.txt", ""},
           {"config.json",
            R"({"shield": {"score_threshold": 30, "limit_qps": 2}})"}}) {
    std::ofstream(path) << content;
  }
  Config::instance().load("config.json");
  std::cout.rdbuf(nullptr);  // the console lines would drown the fuzzer's
  std::cerr.rdbuf(nullptr);
  gate = new Gate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const httplib::Request request =
      requestOf(std::string(reinterpret_cast<const char*>(data), size));
  const auto before = appendable();
  httplib::Response response;
  checkHandler(gate->context, request, response);
  // The library hands every answer of 400 or more to the error handler.
  if (response.status >= 400) errorHandler(request, response);
  expect((response.status == 200 && response.body == "OK") ||
             (response.status == 401 &&
              response.body == "Blocked By Error Handler"),
         "an answer other than the gate's two");
  for (const auto& [path, size] : appendable()) {
    const auto old = before.find(path);
    expectAtMostOneLineAdded(path, old == before.end() ? 0 : old->second);
  }
  return 0;
}
