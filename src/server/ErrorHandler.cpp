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
  // The refusal leaves whole. The library cuts whatever this handler leaves
  // to the request's parsed byte ranges, and a Range header that fails part
  // way keeps the ranges parsed before the failure, ahead of every hook; so
  // they go here, where every refusal passes. (The request is the library's
  // own mutable object, handed over as const.)
  const_cast<httplib::Request&>(request).ranges.clear();
  // An exception that left the route names itself in this header: internal
  // text that is no business of the client's.
  response.headers.erase("EXCEPTION_WHAT");
}
