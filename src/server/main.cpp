// QuorvantelApp: the screening gate. Reads "config.json" and the "config"
// directory of the working directory, then answers GET /check until the
// process is ended.
#include <iostream>
#include <memory>

#include "botguard/BotGuard.h"
#include "core/Config.h"
#include "core/Texts.h"
#include "firewall/Firewall.h"
#include "screening/FPCheck.h"
#include "server/CheckRoute.h"
#include "server/GateServer.h"
#include "shield/DynamicShield.h"

namespace {

constexpr char kConfigDir[] = "config";

const char* onOff(bool on) { return on ? texts::kOn : texts::kOff; }

void printBanner(const Config& config) {
  std::cout << texts::kBannerRule << texts::kBannerTitle
            << texts::kBannerListening << config.host() << ":" << config.port()
            << "\n"
            << texts::kBannerShield << onOff(config.enableDynamicShield())
            << "\n"
            << texts::kBannerFirewall << onOff(config.enableFirewallSync())
            << "\n"
            << texts::kBannerRule;
  // Standard output is a file or a pipe for a service, not a console: without
  // a flush the banner would wait for the first request line.
  std::cout.flush();
}

}  // namespace

int main() {
  if (!Config::instance().load("config.json")) {
    std::cerr << texts::kConfigLoadFailedWarning;
  }
  Config& config = Config::instance();

  FPCheck fpCheck(kConfigDir);
  BotGuard botGuard(&fpCheck, kConfigDir);
  DynamicShield dynamicShield(kConfigDir);
  std::unique_ptr<Firewall> firewall;
  if (config.enableFirewallSync()) {
    firewall = std::make_unique<Firewall>(kConfigDir);
  }
  {
    GateServer server;
    const CheckHandlerContext context{config, botGuard, fpCheck, dynamicShield};
    server.Get("/check", [&context](const httplib::Request& request,
                                    httplib::Response& response) {
      checkHandler(context, request, response);
    });
    printBanner(config);
    server.serve(config.host(), config.port());
  }
  return 0;
}
