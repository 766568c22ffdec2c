// The bridge: one IPv6 socket, a loopback socket per IPv6 sender, and an eventfd that stops the
// thread, all under one poll().
#include "net/bridge.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace net {

namespace {

constexpr size_t MaxDatagram = 4096;  // ENet's largest; anything longer is not ENet's
constexpr int DrainMax = 64;          // datagrams taken from one socket before the others' turn

uint64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A UDP socket on a free port of 127.0.0.1, or -1.
int OpenLoopback(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  if (port != nullptr) *port = ntohs(address.sin_port);
  return fd;
}

bool Same(const sockaddr_in6& a, const sockaddr_in6& b) {
  return a.sin6_port == b.sin6_port && a.sin6_scope_id == b.sin6_scope_id &&
         std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0;
}

std::string Failed(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

bool Bridge::Listen(uint16_t port, std::string* why) {
  Stop();
  hosting_ = true;
  port_ = port;
  far_ = socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (far_ < 0) {
    *why = Failed("no IPv6 socket");
    return false;
  }
  // IPv4 stays ENet's own, on the same port.
  const int on = 1;
  sockaddr_in6 any{};
  any.sin6_family = AF_INET6;
  any.sin6_addr = in6addr_any;
  any.sin6_port = htons(port);
  if (setsockopt(far_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0 ||
      bind(far_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
    *why = Failed(("IPv6 port " + std::to_string(port)).c_str());
    Stop();
    return false;
  }
  return Begin(why);
}

bool Bridge::Connect(const sockaddr_in6& host, std::string* why) {
  Stop();
  hosting_ = false;
  far_ = socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  Sender& sender = table_[0];
  sender.loop = OpenLoopback(&port_);
  if (far_ < 0 || sender.loop < 0) {
    *why = Failed(far_ < 0 ? "no IPv6 socket" : "no loopback socket");
    Stop();
    return false;
  }
  sender.far = host;
  sender.enet = sockaddr_in{};  // ENet's socket: the one that sends first
  Count();
  return Begin(why);
}

bool Bridge::Begin(std::string* why) {
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    *why = Failed("no eventfd");
    Stop();
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void Bridge::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    if (write(wake_, &one, sizeof one) != sizeof one) std::abort();
    thread_.join();
  }
  for (Sender& sender : table_) Release(sender);
  for (int* fd : {&far_, &wake_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  Count();
}

void Bridge::Release(Sender& sender) {
  if (sender.loop >= 0) close(sender.loop);
  sender = Sender{};
}

void Bridge::Count() {
  int used = 0;
  for (const Sender& sender : table_) used += sender.loop >= 0;
  used_.store(used, std::memory_order_release);
}

void Bridge::Run() {
  uint8_t buffer[MaxDatagram];
  pollfd fds[2 + MaxSenders];
  int of[MaxSenders];  // the sender of each loopback socket polled
  for (bool last = false; !last;) {
    fds[0] = {wake_, POLLIN, 0};
    fds[1] = {far_, POLLIN, 0};
    int count = 2;
    for (int i = 0; i < MaxSenders; ++i)
      if (table_[i].loop >= 0) {
        of[count - 2] = i;
        fds[count++] = {table_[i].loop, POLLIN, 0};
      }
    if (poll(fds, count, 1000) < 0 && errno != EINTR) return;
    // Stopping: what ENet sent last (its goodbye) still goes out.
    last = fds[0].revents != 0;
    const uint64_t now = NowMs();
    for (int k = 1; k < count; ++k) {
      if (!last && fds[k].revents == 0) continue;
      Sender* sender = k == 1 ? nullptr : &table_[of[k - 2]];
      // A new sender may have taken this place meanwhile: its socket is read below.
      if (sender != nullptr && sender->loop != fds[k].fd) continue;
      for (int n = 0; n < DrainMax; ++n) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const ssize_t size = recvfrom(fds[k].fd, buffer, sizeof buffer, MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&from), &length);
        if (size < 0) break;
        if (static_cast<size_t>(size) > sizeof buffer) continue;
        if (sender == nullptr && from.ss_family == AF_INET6)
          FromFar(buffer, size, reinterpret_cast<const sockaddr_in6&>(from), now);
        else if (sender != nullptr && from.ss_family == AF_INET)
          FromEnet(*sender, buffer, size, reinterpret_cast<const sockaddr_in&>(from));
      }
    }
    if (!hosting_) continue;
    for (Sender& sender : table_)
      if (sender.loop >= 0 && now - sender.heardMs > SilenceMs) Release(sender);
    Count();
  }
}

void Bridge::FromFar(const uint8_t* bytes, size_t size, const sockaddr_in6& from, uint64_t now) {
  Sender* sender = nullptr;
  for (Sender& known : table_)
    if (known.loop >= 0 && Same(known.far, from)) sender = &known;
  if (sender == nullptr) {
    if (!hosting_) return;  // a joiner hears its host alone
    // A new sender: a free place, else the one heard from longest ago.
    sender = &table_[0];
    for (Sender& place : table_) {
      if (place.loop < 0) {
        sender = &place;
        break;
      }
      if (place.heardLast < sender->heardLast) sender = &place;
    }
    Release(*sender);
    sender->loop = OpenLoopback(nullptr);
    Count();
    if (sender->loop < 0) return;
    sender->far = from;
    sender->enet = Loopback(port_);
  }
  sender->heardMs = now;
  sender->heardLast = ++heard_;
  if (sender->enet.sin_port != 0)
    sendto(sender->loop, bytes, size, 0, reinterpret_cast<const sockaddr*>(&sender->enet),
           sizeof sender->enet);
}

void Bridge::FromEnet(Sender& sender, const uint8_t* bytes, size_t size, const sockaddr_in& from) {
  if (sender.enet.sin_port == 0) sender.enet = from;
  // Only ENet's socket is passed on, not whatever else on this machine finds the port.
  if (from.sin_port != sender.enet.sin_port || from.sin_addr.s_addr != sender.enet.sin_addr.s_addr)
    return;
  sendto(far_, bytes, size, 0, reinterpret_cast<const sockaddr*>(&sender.far), sizeof sender.far);
}

}  // namespace net
