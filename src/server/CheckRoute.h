// The "/check" route: the one question the front server asks for every
// client request. Runs on the HTTP worker threads, many requests at once; it
// keeps no state and takes no lock of its own (each component guards itself).
#ifndef QUORVANTEL_SERVER_CHECKROUTE_H_
#define QUORVANTEL_SERVER_CHECKROUTE_H_

#include <httplib.h>

class BotGuard;
class Config;
class DynamicShield;
class FPCheck;

// What the route is bound to; everything belongs to main and outlives the
// server.
struct CheckHandlerContext {
  Config& config;
  BotGuard& botGuard;
  FPCheck& fpCheck;
  DynamicShield& dynamicShield;
};

// Answers 200 "OK" to let the request through or 401 to refuse it.
void checkHandler(const CheckHandlerContext& context,
                  const httplib::Request& request, httplib::Response& response);

#endif  // QUORVANTEL_SERVER_CHECKROUTE_H_
