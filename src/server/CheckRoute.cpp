#include "server/CheckRoute.h"

#include <exception>
#include <iostream>
#include <string>

#include "botguard/BotGuard.h"
#include "core/Config.h"
#include "core/ConsoleLine.h"
#include "core/Texts.h"
#include "screening/FPCheck.h"
#include "server/RequestFacts.h"
#include "shield/DynamicShield.h"

namespace {

void printRequestLine(const RequestFacts& facts) {
  writeLine(std::cout, texts::kConsoleRequestPrefix, facts.ip,
            texts::kConsoleRequestUrl, facts.uri);
}

// The route's own test is case-sensitive, on the user agent as received.
bool declaresCrawler(const std::string& userAgent) {
  return userAgent.find("bot") != std::string::npos ||
         userAgent.find("spider") != std::string::npos;
}

void answer(httplib::Response& response, int status, const char* body) {
  response.status = status;
  response.set_content(body, texts::kContentType);
}

// A refusal sets its status before its decision-log entry (when it has a
// tag), so an exception from the log still leaves a refusal behind.
void refuse(const CheckHandlerContext& context, const RequestFacts& facts,
            httplib::Response& response, const char* tag, const char* body) {
  response.status = 401;
  if (tag != nullptr) {
    context.fpCheck.logAllowedIp(facts.ip, tag, facts.userAgent);
  }
  answer(response, 401, body);
}

// The screening stages; the first that refuses decides.
void screen(const CheckHandlerContext& context, const RequestFacts& facts,
            httplib::Response& response) {
  FPCheck& fpCheck = context.fpCheck;
  if (fpCheck.checkBadUrlKeyword(facts.ip, facts.uri)) {
    return refuse(context, facts, response, texts::kUrlKeywordTag,
                  texts::kUrlKeywordBody);
  }
  if (fpCheck.isBadIp(facts.ip)) {
    return refuse(context, facts, response, nullptr, texts::kBlacklistBody);
  }
  if (!fpCheck.isUserAgentAllowed(facts.userAgent)) {
    return refuse(context, facts, response, texts::kUserAgentTag,
                  texts::kUserAgentBody);
  }
  if (context.config.enableDynamicShield() &&
      context.dynamicShield.shouldBlock(facts.ip, facts.userAgent)) {
    return refuse(context, facts, response, texts::kShieldTag,
                  texts::kShieldBody);
  }
  if (context.config.enableConsoleLog()) {
    fpCheck.logAllowedIp(facts.ip, texts::kAllowedTag, facts.userAgent);
  }
  answer(response, 200, texts::kAllowedBody);
}

}  // namespace

void checkHandler(const CheckHandlerContext& context,
                  const httplib::Request& request,
                  httplib::Response& response) {
  const RequestFacts facts = RequestFacts::of(request);
  if (context.config.enableConsoleLog()) printRequestLine(facts);
  if (context.botGuard.isGoodIp(facts.ip)) {
    return answer(response, 200, texts::kAllowedBody);
  }
  // Verified in the background; this request's answer never waits for it.
  if (declaresCrawler(facts.userAgent)) {
    context.botGuard.enqueueIfBot(facts.ip, facts.userAgent);
  }
  try {
    screen(context, facts, response);
  } catch (const std::exception& e) {
    writeLine(std::cerr, texts::kExceptionPrefix, e.what());
    // Not guarded: if the log fails again, the exception leaves the route
    // and the library's 500 becomes the usual 401.
    refuse(context, facts, response, texts::kExceptionTag,
           texts::kExceptionBody);
  }
}
