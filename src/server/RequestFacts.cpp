#include "server/RequestFacts.h"

RequestFacts RequestFacts::of(const httplib::Request& request) {
  RequestFacts facts;
  facts.ip = header(request, "X-Real-IP");
  facts.uri = header(request, "X-Original-URI");
  facts.userAgent = header(request, "User-Agent");
  return facts;
}

std::string RequestFacts::header(const httplib::Request& request,
                                 const char* name) {
  std::string value = request.get_header_value(name);
  const size_t zeroByte = value.find('\0');
  if (zeroByte != std::string::npos) value.resize(zeroByte);
  return value;
}
