#include "server/GateServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>

#include "server/ElasticThreadPool.h"
#include "server/ErrorHandler.h"

GateServer::GateServer() {
  new_task_queue = [] {
    return new ElasticThreadPool(workerThreadCount(), kMaxWorkerThreads);
  };
  set_keep_alive_max_count(kKeepAliveMaxCount);
  set_keep_alive_timeout(kKeepAliveTimeoutSeconds);
  set_read_timeout(kReadTimeoutSeconds, 0);
  set_write_timeout(kWriteTimeoutSeconds, 0);
  set_tcp_nodelay(true);
  set_socket_options(configureSocket);
  set_error_handler(errorHandler);
  set_pre_routing_handler(ignoreRanges);
  set_post_routing_handler(refuseUnsatisfiableRange);
}

size_t GateServer::workerThreadCount() {
  const unsigned hardware = std::thread::hardware_concurrency();
  return std::max<size_t>(8, hardware > 0 ? hardware - 1 : 0);
}

void GateServer::serve(const std::string& host, int port) {
  if (bindWithLargeBacklog(host, port)) listen_after_bind();
}

bool GateServer::bindWithLargeBacklog(const std::string& host, int port) {
  // The host ends at its first NUL, as a C string would.
  if (!bind_to_port(host.c_str(), port)) return false;
  // The library listens with a backlog of 5, compiled into it. A burst of new
  // connections (a front server opens one per client request) overflows
  // that, the kernel drops the excess handshakes and each of those clients
  // waits a second to retry. Listening again on the bound socket raises the
  // backlog on Linux; the kernel caps it at net.core.somaxconn.
  ::listen(svr_sock_, SOMAXCONN);
  return true;
}

// SO_REUSEADDR without SO_REUSEPORT: a port that another process listens on
// must fail to bind rather than be silently shared. TCP_NODELAY: an answer
// goes out in more than one segment, and without it every answer after the
// first on a keep-alive connection waits for the peer's delayed
// acknowledgement.
void GateServer::configureSocket(socket_t sock) {
  int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
}

// The gate has exactly two answers, and a Range header must change neither.
// The refusal drops the ranges itself (errorHandler); the allowed answer
// would be cut to the requested bytes, and a range that "OK" cannot satisfy
// answered with a raw 416 that bypasses the error handler. So the parsed
// ranges are dropped before routing (the request is the library's own
// mutable object, handed to this hook as const), and the allowed answer is
// checked against the Range header once the route has run.
//
// The library compresses the body before that check, which would then judge
// the range against compressed bytes and, when it refuses, leave a
// Content-Encoding over the plain refusal. A request with a Range is
// therefore answered uncompressed.
httplib::Server::HandlerResponse GateServer::ignoreRanges(
    const httplib::Request& request, httplib::Response&) {
  auto& mutableRequest = const_cast<httplib::Request&>(request);
  mutableRequest.ranges.clear();
  if (mutableRequest.has_header("Range")) {
    mutableRequest.headers.erase("Accept-Encoding");
  }
  return HandlerResponse::Unhandled;
}

// Runs after the error handler, just before the answer is written.
void GateServer::refuseUnsatisfiableRange(const httplib::Request& request,
                                          httplib::Response& response) {
  if (response.status >= 400 || !request.has_header("Range")) return;
  httplib::Ranges ranges;
  httplib::detail::parse_range_header(request.get_header_value("Range"),
                                      ranges);
  if (isSatisfiable(ranges, response.body.size())) return;
  errorHandler(request, response);
  // The length of the allowed body is already in the headers.
  response.headers.erase("Content-Length");
  response.set_header("Content-Length", std::to_string(response.body.size()));
}

// Every range must lie within the body, as the library itself requires.
bool GateServer::isSatisfiable(const httplib::Ranges& ranges, size_t bodySize) {
  const auto size = static_cast<ssize_t>(bodySize);
  for (const auto& [first, last] : ranges) {
    const bool suffix = first < 0;
    if (suffix ? (last <= 0 || size == 0) : first >= size) return false;
  }
  return true;
}
