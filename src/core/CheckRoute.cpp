#include "core/CheckRoute.h"

#include <exception>
#include <iostream>
#include <string>

#include "core/Config.h"
#include "core/RequestFacts.h"
#include "core/Texts.h"

namespace {

void printRequestLine(const RequestFacts& facts) {
  // One insertion per line keeps concurrent requests' lines apart.
  std::cout << (texts::kConsoleRequestPrefix + facts.ip +
                texts::kConsoleRequestUrl + facts.uri + '\n')
            << std::flush;
}

void answer(httplib::Response& response, int status, const char* body) {
  response.status = status;
  response.set_content(body, texts::kContentType);
}

// The screening stages; the first that refuses decides.
void screen(const CheckHandlerContext& context, const RequestFacts& facts,
            httplib::Response& response) {
  (void)context;
  (void)facts;
  answer(response, 200, texts::kAllowedBody);
}

}  // namespace

void checkHandler(const CheckHandlerContext& context,
                  const httplib::Request& request,
                  httplib::Response& response) {
  const RequestFacts facts = RequestFacts::of(request);
  if (context.config.enableConsoleLog()) printRequestLine(facts);
  try {
    screen(context, facts, response);
  } catch (const std::exception& e) {
    std::cerr << texts::kExceptionPrefix << e.what() << std::endl;
    response.status = 401;
    answer(response, 401, texts::kExceptionBody);
  }
}
