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

// `port` of the loopback address, IPv6 or IPv4 (both have the port at the same place).
sockaddr_in6 Loopback(bool v6, uint16_t port) {
  sockaddr_in6 a{};
  if (v6) {
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
  } else {
    auto& in = reinterpret_cast<sockaddr_in&>(a);
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  a.sin6_port = htons(port);
  return a;
}

socklen_t Size(bool v6) {
  return v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// A UDP socket on a free port of the loopback address.
int Open(bool v6, uint16_t* port = nullptr) {
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
  sockaddr_in6 a = Loopback(v6, 0);
  socklen_t size = Size(v6);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), size), 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  if (port != nullptr) *port = ntohs(a.sin6_port);
  return fd;
}

void SendTo(int fd, const std::string& text, bool v6, uint16_t port) {
  const sockaddr_in6 to = Loopback(v6, port);
  sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), Size(v6));
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
  uint16_t port = 0, peer = 0, from = 0;
  const int enet = Open(false, &port);  // stands for the host's ENet
  net::Bridge bridge;
  std::string why;
  ASSERT_TRUE(bridge.Listen(port, &why)) << why;
  const int player = Open(true);
  SendTo(player, "hello", true, port);
  ASSERT_EQ(Receive(enet, &peer), "hello");
  SendTo(enet, "welcome", false, peer);
  EXPECT_EQ(Receive(player), "welcome");
  // A new sender each time, between the player's datagrams: each is a peer of its own, and the
  // player stays the same peer throughout.
  for (int i = 0; i < 3 * net::Bridge::MaxSenders; ++i) {
    const int hostile = Open(true);
    SendTo(hostile, "junk", true, port);
    EXPECT_EQ(Receive(enet, &from), "junk");
    EXPECT_NE(from, peer);
    close(hostile);
    SendTo(player, "move", true, port);
    EXPECT_EQ(Receive(enet, &from), "move");
    EXPECT_EQ(from, peer);
  }
  EXPECT_EQ(bridge.Senders(), net::Bridge::MaxSenders);
  SendTo(enet, "still here", false, peer);
  EXPECT_EQ(Receive(player), "still here");
  // Another socket of this machine that finds the player's loopback port is not passed on.
  const int stranger = Open(false);
  SendTo(stranger, "forged", false, peer);
  SendTo(enet, "real", false, peer);
  EXPECT_EQ(Receive(player), "real");
  bridge.Stop();
  EXPECT_EQ(bridge.Senders(), 0);
  for (const int fd : {enet, player, stranger}) close(fd);
}

}  // namespace
