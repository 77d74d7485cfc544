#include "botguard/HostResolver.h"

#include <netdb.h>
#include <sys/socket.h>

namespace {

std::optional<std::string> systemNameOf(const in_addr& address) {
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  socketAddress.sin_addr = address;
  char host[NI_MAXHOST];
  // NI_NAMEREQD: an address without a registered name fails instead of
  // coming back in numeric form, which would prove nothing.
  int result = getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress),
                           sizeof socketAddress, host, sizeof host, nullptr, 0,
                           NI_NAMEREQD);
  if (result != 0) return std::nullopt;
  return std::string(host);
}

std::vector<in_addr> systemIpv4AddressesOf(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  // One answer per address rather than one per socket type.
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answers = nullptr;
  std::vector<in_addr> addresses;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &answers) != 0) {
    return addresses;
  }
  for (const addrinfo* answer = answers; answer != nullptr;
       answer = answer->ai_next) {
    addresses.push_back(
        reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr);
  }
  freeaddrinfo(answers);
  return addresses;
}

}  // namespace

HostResolver HostResolver::system() {
  return HostResolver{systemNameOf, systemIpv4AddressesOf};
}
