// IPv6 for ENet, which speaks IPv4 only: a thread that passes datagrams between IPv6 and ENet's
// socket over the loopback address. On the host, each IPv6 player gets a loopback socket of its
// own, so ENet sees it as a peer on 127.0.0.1; on a joiner, ENet connects to a loopback socket
// whose datagrams go to the host's IPv6 address. A datagram is passed on as soon as it comes, from
// fixed buffers.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace net {

class Bridge {
 public:
  // IPv6 senders the host keeps apart at once; a new one beyond them takes the place of the one
  // heard from longest ago. One silent this long is let go.
  static constexpr int MaxSenders = 8;
  static constexpr uint32_t SilenceMs = 60000;

  Bridge() = default;
  ~Bridge() { Stop(); }
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // The host, whose ENet listens on `port` of IPv4: listens on [::]:port too (IPv6 alone) and
  // passes what each sender sends to 127.0.0.1:port. False, with `why`, when the system has no
  // IPv6 or the port is taken on it.
  bool Listen(uint16_t port, std::string* why);
  // A joiner of a host that has only an IPv6 address: ENet connects to 127.0.0.1:Port(), and what
  // it sends goes to `host`. False, with `why`, when no socket could be opened.
  bool Connect(const sockaddr_in6& host, std::string* why);
  uint16_t Port() const { return port_; }
  // Ends the thread and closes every socket; waits for the thread.
  void Stop();
  // The IPv6 senders the host keeps now.
  int Senders() const { return used_.load(std::memory_order_acquire); }

 private:
  struct Sender {
    int loop = -1;       // the loopback socket that stands for it towards ENet
    sockaddr_in6 far{};  // its IPv6 address (the joiner's: the host's)
    sockaddr_in enet{};  // where its datagrams go on the loopback address (port 0: not known yet)
    uint64_t heardMs = 0;
    uint64_t heardLast = 0;  // the number of the datagram last heard from it, for the oldest
  };
  bool Begin(std::string* why);
  void Run();
  void FromFar(const uint8_t* bytes, size_t size, const sockaddr_in6& from, uint64_t now);
  void FromEnet(Sender& sender, const uint8_t* bytes, size_t size, const sockaddr_in& from);
  static void Release(Sender& sender);
  void Count();

  bool hosting_ = false;
  int far_ = -1;   // the IPv6 socket
  int wake_ = -1;  // written to stop the thread
  uint16_t port_ = 0;
  uint64_t heard_ = 0;  // datagrams from IPv6 so far
  Sender table_[MaxSenders];
  std::atomic<int> used_{0};
  std::thread thread_;
};

}  // namespace net
