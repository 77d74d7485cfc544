// HostResolver: the two DNS questions the crawler verification asks, held as
// replaceable functions so that tests can script names, failures and slow
// answers. system() answers them with the host's own resolver.
//
// Threads: called only on the crawler verification worker. The system
// functions keep no state; scripted ones guard their own.
#ifndef QUORVANTEL_BOTGUARD_HOSTRESOLVER_H_
#define QUORVANTEL_BOTGUARD_HOSTRESOLVER_H_

#include <netinet/in.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct HostResolver {
  // The name registered for an IPv4 address; nullopt when none is registered
  // or the lookup fails. Never the address's numeric form.
  using ReverseLookup =
      std::function<std::optional<std::string>(const in_addr& address)>;
  // The IPv4 addresses a host name resolves to; empty on any failure.
  using ForwardLookup =
      std::function<std::vector<in_addr>(const std::string& hostName)>;

  static HostResolver system();

  ReverseLookup nameOf;
  ForwardLookup ipv4AddressesOf;
};

#endif  // QUORVANTEL_BOTGUARD_HOSTRESOLVER_H_
