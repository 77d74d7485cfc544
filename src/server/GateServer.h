// GateServer: the gate's HTTP server. Every library setting the gate relies
// on is set explicitly here, because the library build we link has other
// defaults (5 requests per keep-alive connection, SO_REUSEPORT, no
// TCP_NODELAY).
//
// Threads: built and served from the main thread; the route, the error
// handler and the answer guard run on the worker threads of an
// ElasticThreadPool, which grows while idle connections hold its workers.
#ifndef QUORVANTEL_SERVER_GATESERVER_H_
#define QUORVANTEL_SERVER_GATESERVER_H_

#include <httplib.h>

#include <cstddef>
#include <string>

class GateServer : public httplib::Server {
 public:
  static constexpr size_t kKeepAliveMaxCount = 100;
  static constexpr time_t kKeepAliveTimeoutSeconds = 5;
  static constexpr time_t kReadTimeoutSeconds = 5;
  static constexpr time_t kWriteTimeoutSeconds = 5;
  // Workers beyond workerThreadCount() are added while every worker is
  // busy, up to this many in all, so that idle connections cannot take
  // every worker from the other clients.
  static constexpr size_t kMaxWorkerThreads = 512;

  GateServer();

  // Binds host:port exclusively, listens with the system's largest backlog
  // and runs the accept loop until the library ends it. Returns at once when
  // the bind fails.
  void serve(const std::string& host, int port);
  // The first half of serve(): false when the bind fails.
  bool bindWithLargeBacklog(const std::string& host, int port);

  // The greater of 8 and (hardware threads - 1).
  static size_t workerThreadCount();

  // Options of the listening socket, inherited by accepted connections.
  static void configureSocket(socket_t sock);

 private:
  static HandlerResponse ignoreRanges(const httplib::Request& request,
                                      httplib::Response& response);
  static void refuseUnsatisfiableRange(const httplib::Request& request,
                                       httplib::Response& response);
  static bool isSatisfiable(const httplib::Ranges& ranges, size_t bodySize);
};

#endif  // QUORVANTEL_SERVER_GATESERVER_H_
