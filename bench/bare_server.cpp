// bare_server: the yardstick of the load scripts. The gate's own server class
// (so the same library, worker threads, keep-alive, time-outs, TCP_NODELAY
// and listen backlog) with a /check route that answers 200 "OK" at once;
// what the gate costs beyond it is the route and the screening behind it.
//
// Usage: bare_server PORT   (listens on 127.0.0.1 until killed)
#include <cstdlib>
#include <iostream>

#include "core/Texts.h"
#include "server/GateServer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: bare_server PORT\n";
    return 2;
  }
  GateServer server;
  server.Get("/check",
             [](const httplib::Request&, httplib::Response& response) {
               response.set_content(texts::kAllowedBody, texts::kContentType);
             });
  server.serve("127.0.0.1", std::atoi(argv[1]));
  return 1;  // only reached when the port cannot be bound
}
