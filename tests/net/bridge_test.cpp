// The host's bridge: each IPv6 sender is a loopback peer of its own to ENet, and a flood of
// senders keeps a fixed number of them without taking the place of one that is still heard.
#include "net/bridge.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

struct Address {
  sockaddr_storage bytes{};
  socklen_t length = 0;
};

// `port` of the loopback address of `family` (AF_INET or AF_INET6).
Address Loopback(int family, uint16_t port) {
  Address a;
  if (family == AF_INET) {
    auto& in = reinterpret_cast<sockaddr_in&>(a.bytes);
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    in.sin_port = htons(port);
    a.length = sizeof in;
  } else {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(a.bytes);
    in6.sin6_family = AF_INET6;
    in6.sin6_addr = in6addr_loopback;
    in6.sin6_port = htons(port);
    a.length = sizeof in6;
  }
  return a;
}

// A UDP socket on a free port of the loopback address of `family`.
int Open(int family, uint16_t* port) {
  const int fd = socket(family, SOCK_DGRAM, 0);
  Address a = Loopback(family, 0);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a.bytes), a.length), 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a.bytes), &a.length);
  *port = ntohs(reinterpret_cast<sockaddr_in&>(a.bytes).sin_port);  // where sin6_port is too
  return fd;
}

void SendTo(int fd, const std::string& text, int family, uint16_t port) {
  const Address to = Loopback(family, port);
  sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to.bytes), to.length);
}

// The next datagram on `fd` (waiting a second at most) and its sender's port; "" when none came.
std::string Receive(int fd, uint16_t* from = nullptr) {
  pollfd wait{fd, POLLIN, 0};
  if (poll(&wait, 1, 1000) != 1) return "";
  char bytes[64];
  sockaddr_in6 sender{};
  socklen_t length = sizeof sender;
  const ssize_t size =
      recvfrom(fd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&sender), &length);
  if (from != nullptr) *from = ntohs(sender.sin6_port);
  return std::string(bytes, size > 0 ? static_cast<size_t>(size) : 0);
}

TEST(Bridge, IPv6SendersAreLoopbackPeersAndAFloodOfThemStaysBounded) {
  uint16_t port = 0, unused = 0, peer = 0, from = 0;
  const int enet = Open(AF_INET, &port);  // stands for the host's ENet
  net::Bridge bridge;
  std::string why;
  ASSERT_TRUE(bridge.Listen(port, &why)) << why;
  const int player = Open(AF_INET6, &unused);
  SendTo(player, "hello", AF_INET6, port);
  ASSERT_EQ(Receive(enet, &peer), "hello");
  SendTo(enet, "welcome", AF_INET, peer);
  EXPECT_EQ(Receive(player), "welcome");
  // A new sender each time, between the player's datagrams: each is a peer of its own, and the
  // player stays the same peer throughout.
  for (int i = 0; i < 3 * net::Bridge::MaxSenders; ++i) {
    const int hostile = Open(AF_INET6, &unused);
    SendTo(hostile, "junk", AF_INET6, port);
    EXPECT_EQ(Receive(enet, &from), "junk");
    EXPECT_NE(from, peer);
    close(hostile);
    SendTo(player, "move", AF_INET6, port);
    EXPECT_EQ(Receive(enet, &from), "move");
    EXPECT_EQ(from, peer);
  }
  EXPECT_EQ(bridge.Senders(), net::Bridge::MaxSenders);
  SendTo(enet, "still here", AF_INET, peer);
  EXPECT_EQ(Receive(player), "still here");
  // Another socket of this machine that finds the player's loopback port is not passed on.
  const int stranger = Open(AF_INET, &unused);
  SendTo(stranger, "forged", AF_INET, peer);
  SendTo(enet, "real", AF_INET, peer);
  EXPECT_EQ(Receive(player), "real");
  bridge.Stop();
  EXPECT_EQ(bridge.Senders(), 0);
  for (const int fd : {enet, player, stranger}) close(fd);
}

}  // namespace
