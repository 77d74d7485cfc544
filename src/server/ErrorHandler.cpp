#include "server/ErrorHandler.h"

#include <iostream>

#include "core/ConsoleLine.h"
#include "core/Texts.h"
#include "server/RequestFacts.h"

void errorHandler(const httplib::Request& request,
                  httplib::Response& response) {
  response.status = 401;
  const std::string ip = RequestFacts::header(request, "X-Real-IP");
  writeLine(std::cerr, texts::kErrorHandlerPrefix, ip);
  response.set_content(texts::kErrorHandlerBody, texts::kContentType);
}
