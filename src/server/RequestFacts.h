// RequestFacts: the three facts of a client's request that the front server
// forwards in headers. Plain values, owned by the request being served.
#ifndef QUORVANTEL_SERVER_REQUESTFACTS_H_
#define QUORVANTEL_SERVER_REQUESTFACTS_H_

#include <httplib.h>

#include <string>

struct RequestFacts {
  std::string ip;         // "X-Real-IP"
  std::string uri;        // "X-Original-URI"
  std::string userAgent;  // "User-Agent"

  static RequestFacts of(const httplib::Request& request);

  // A header's first occurrence as the library delivers it (blanks around it
  // dropped, percent escapes decoded), cut at its first zero byte; empty
  // when the header is absent.
  static std::string header(const httplib::Request& request, const char* name);
};

#endif  // QUORVANTEL_SERVER_REQUESTFACTS_H_
