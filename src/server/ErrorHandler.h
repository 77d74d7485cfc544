// errorHandler: turns every answer of status 400 or more into the gate's one
// refusal, 401 "Blocked By Error Handler", with one line on standard error:
// whole, whatever the Range header asks, and naming no internal error.
// Stateless; runs on the HTTP worker threads.
#ifndef QUORVANTEL_SERVER_ERRORHANDLER_H_
#define QUORVANTEL_SERVER_ERRORHANDLER_H_

#include <httplib.h>

void errorHandler(const httplib::Request& request, httplib::Response& response);

#endif  // QUORVANTEL_SERVER_ERRORHANDLER_H_
