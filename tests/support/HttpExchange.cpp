#include "support/HttpExchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <strings.h>

std::optional<std::string> HttpAnswer::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return std::nullopt;
}

HttpExchange::HttpExchange(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 ||
      connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    if (fd_ >= 0) close(fd_);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
}

HttpExchange::~HttpExchange() { close(fd_); }

void HttpExchange::send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send failed");
    sent += static_cast<size_t>(n);
  }
}

bool HttpExchange::fill(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char chunk[4096];
  ssize_t n = recv(fd_, chunk, sizeof(chunk), 0);
  if (n <= 0) return false;
  buffer_.append(chunk, static_cast<size_t>(n));
  return true;
}

std::optional<std::string> HttpExchange::readLine(int timeoutMs) {
  size_t end;
  while ((end = buffer_.find("\r\n")) == std::string::npos) {
    if (!fill(timeoutMs)) return std::nullopt;
  }
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 2);
  return line;
}

std::optional<HttpAnswer> HttpExchange::receive(bool head, int timeoutMs) {
  HttpAnswer answer;
  auto statusLine = readLine(timeoutMs);
  if (!statusLine) return std::nullopt;
  answer.statusLine = *statusLine;
  if (answer.statusLine.size() >= 12) {
    answer.status = std::stoi(answer.statusLine.substr(9, 3));
  }
  for (;;) {
    auto line = readLine(timeoutMs);
    if (!line) return std::nullopt;
    if (line->empty()) break;
    const size_t colon = line->find(':');
    std::string value = line->substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    answer.headers.emplace_back(line->substr(0, colon), value);
  }
  const size_t length =
      head ? 0 : std::stoul(answer.header("Content-Length").value_or("0"));
  while (buffer_.size() < length) {
    if (!fill(timeoutMs)) return std::nullopt;
  }
  answer.body = buffer_.substr(0, length);
  buffer_.erase(0, length);
  return answer;
}

bool HttpExchange::closedByPeer(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char byte;
  return recv(fd_, &byte, 1, MSG_PEEK) == 0;
}

std::string HttpExchange::checkRequest(const std::optional<std::string>& ip,
                                       const std::optional<std::string>& uri,
                                       const std::optional<std::string>& userAgent,
                                       const std::string& method) {
  std::string request = method + " /check HTTP/1.1\r\nHost: gate\r\n";
  if (ip) request += "X-Real-IP: " + *ip + "\r\n";
  if (uri) request += "X-Original-URI: " + *uri + "\r\n";
  if (userAgent) request += "User-Agent: " + *userAgent + "\r\n";
  return request + "\r\n";
}

HttpAnswer HttpExchange::ask(int port, const std::string& request, bool head) {
  HttpExchange exchange(port);
  exchange.send(request);
  auto answer = exchange.receive(head);
  if (!answer) throw std::runtime_error("no answer");
  return *answer;
}

HttpAnswer HttpExchange::check(int port, const std::string& ip,
                               const std::string& uri,
                               const std::string& userAgent) {
  return ask(port, checkRequest(ip, uri, userAgent));
}
