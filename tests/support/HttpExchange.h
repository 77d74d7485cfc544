// HttpExchange: a raw HTTP/1.1 client over one loopback TCP connection, so
// tests control every byte they send (methods, header bytes, malformed
// lines, Range headers) and see the answer exactly as it left the gate.
#ifndef QUORVANTEL_TESTS_SUPPORT_HTTPEXCHANGE_H_
#define QUORVANTEL_TESTS_SUPPORT_HTTPEXCHANGE_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct HttpAnswer {
  std::string statusLine;  // e.g. "HTTP/1.1 401 Unauthorized"
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (any letter case), or nullopt.
  std::optional<std::string> header(const std::string& name) const;
};

class HttpExchange {
 public:
  // Connects to 127.0.0.1:port; throws std::runtime_error when it cannot.
  explicit HttpExchange(int port);
  ~HttpExchange();
  HttpExchange(const HttpExchange&) = delete;
  HttpExchange& operator=(const HttpExchange&) = delete;

  void send(const std::string& bytes);
  // Reads one answer; for a HEAD request pass head = true (no body follows).
  // nullopt when the connection closes or times out first.
  std::optional<HttpAnswer> receive(bool head = false, int timeoutMs = 5000);
  // True when the peer closes the connection within timeoutMs.
  bool closedByPeer(int timeoutMs);

  // A GET /check request carrying the three facts; a fact given as nullopt
  // is left out.
  static std::string checkRequest(const std::optional<std::string>& ip,
                                  const std::optional<std::string>& uri,
                                  const std::optional<std::string>& userAgent,
                                  const std::string& method = "GET");
  // One request on a fresh connection.
  static HttpAnswer ask(int port, const std::string& request, bool head = false);
  static HttpAnswer check(int port, const std::string& ip,
                          const std::string& uri = "/",
                          const std::string& userAgent = "Mozilla/5.0");

 private:
  bool fill(int timeoutMs);
  std::optional<std::string> readLine(int timeoutMs);

  int fd_;
  std::string buffer_;
};

#endif  // QUORVANTEL_TESTS_SUPPORT_HTTPEXCHANGE_H_
