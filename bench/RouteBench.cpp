// The whole /check route without the HTTP stack, for an allowed browser
// request: empty lists against 600 user-agent fragments and 1,000 URL
// keywords, with console logging off (the lists' share at its largest) and
// on (a console line and a decision-log line per request).
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <memory>

#include "AddressPicker.h"
#include "QuietConsole.h"
#include "ScreeningLists.h"
#include "botguard/BotGuard.h"
#include "core/Config.h"
#include "screening/FPCheck.h"
#include "server/CheckRoute.h"
#include "shield/DynamicShield.h"
#include "support/TempWorkDir.h"

namespace {

using namespace screening_lists;

// The four components as main builds them, from lists of the given sizes,
// in a scratch working directory. The shield's clock moves 10 us per
// request, as at 100,000 requests/s.
class LoadedGate {
 public:
  LoadedGate(size_t fragments, size_t keywords, bool consoleLog) {
    dir_.write("config.json", settings(consoleLog));
    Config::instance().load("config.json");
    dir_.write("config/NotAllowed.txt", userAgentFragments(fragments));
    dir_.write("config/BadUrlKeyWord.txt", urlKeywords(keywords));
    for (const char* empty : {"BadIPs.txt", "ForeignIps.txt", "GoodIPs.txt",
                              "GoodSpiderDomainKey.txt"}) {
      dir_.write(std::string("config/") + empty, "");
    }
    QuietConsole quiet;
    fpCheck_ = std::make_unique<FPCheck>("config");
    botGuard_ = std::make_unique<BotGuard>(fpCheck_.get(), "config");
    shield_ = std::make_unique<DynamicShield>("config",
                                              [this] { return now_ += 10000; });
  }

  CheckHandlerContext context() {
    return {Config::instance(), *botGuard_, *fpCheck_, *shield_};
  }

 private:
  static std::string settings(bool consoleLog) {
    return std::string(R"({"server": {"host": "127.0.0.1", "port": 5000},
      "features": {"enable_dynamic_shield": true,
                   "enable_firewall_sync": false, "enable_console_log": )") +
           (consoleLog ? "true" : "false") + "}}";
  }

  TempWorkDir dir_;  // the decision log's "logs" lies in the working directory
  int64_t now_ = 1;
  std::unique_ptr<FPCheck> fpCheck_;
  std::unique_ptr<BotGuard> botGuard_;
  std::unique_ptr<DynamicShield> shield_;
};

// Arguments: fragments, keywords, console logging (0 or 1).
void BM_CheckRoute(benchmark::State& state) {
  LoadedGate gate(static_cast<size_t>(state.range(0)),
                  static_cast<size_t>(state.range(1)), state.range(2) != 0);
  const CheckHandlerContext context = gate.context();
  AddressPicker picker(1000000);
  QuietConsole quiet;
  for (auto _ : state) {
    httplib::Request request;
    request.headers.emplace("X-Real-IP", picker.next());
    request.headers.emplace("X-Original-URI", kPage);
    request.headers.emplace("User-Agent", kBrowser);
    httplib::Response response;
    checkHandler(context, request, response);
    if (response.status != 200) state.SkipWithError("refused");
  }
}
BENCHMARK(BM_CheckRoute)
    ->ArgNames({"fragments", "keywords", "console"})
    ->Args({0, 0, 0})
    ->Args({600, 1000, 0})
    ->Args({0, 0, 1})
    ->Args({600, 1000, 1});

}  // namespace
