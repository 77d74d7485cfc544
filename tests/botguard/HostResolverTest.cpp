#include "botguard/HostResolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>

// These ask the host's own resolver, where 127.0.0.1 is named localhost and
// 192.0.2.1 (a documentation address) has no name. BotGuard on this resolver
// is exercised through the executable.
namespace {

in_addr ipv4(const char* text) {
  in_addr address{};
  inet_pton(AF_INET, text, &address);
  return address;
}

TEST(HostResolverTest, LoopbackIsNamedLocalhostWhichResolvesBack) {
  HostResolver resolver = HostResolver::system();
  EXPECT_EQ(resolver.nameOf(ipv4("127.0.0.1")), "localhost");
  std::vector<in_addr> answers = resolver.ipv4AddressesOf("localhost");
  EXPECT_TRUE(std::any_of(answers.begin(), answers.end(), [](in_addr a) {
    return a.s_addr == ipv4("127.0.0.1").s_addr;
  }));
  // No name is no name: not the address's digits.
  EXPECT_EQ(resolver.nameOf(ipv4("192.0.2.1")), std::nullopt);
}

}  // namespace
