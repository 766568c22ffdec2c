// The relay: two sockets, a queue of datagrams ordered by the time they are due.
#include "net/relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <vector>

namespace net {

namespace {

int OpenLoopback(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return -1;
  *port = ntohs(address.sin_port);
  return fd;
}

uint64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Relay::Relay(uint16_t hostPort, RelayFaults faults, uint32_t seed)
    : faults_(faults), seed_(seed), hostPort_(hostPort) {
  uint16_t unused = 0;
  outer_ = OpenLoopback(&port_);
  inner_ = OpenLoopback(&unused);
  thread_ = std::thread([this] { Run(); });
}

Relay::~Relay() {
  stop_ = true;
  thread_.join();
  close(outer_);
  close(inner_);
}

void Relay::Run() {
  struct Datagram {
    bool toHost;
    std::vector<uint8_t> bytes;
  };
  std::multimap<uint64_t, Datagram> due;
  sockaddr_in joiner{}, host{};
  host.sin_family = AF_INET;
  host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  host.sin_port = htons(hostPort_);
  bool joinerKnown = false;
  auto random = [this] {
    seed_ = seed_ * 1103515245u + 12345u;
    return (seed_ >> 16) % 100;
  };
  uint8_t buffer[2048];
  while (!stop_) {
    pollfd fds[2] = {{outer_, POLLIN, 0}, {inner_, POLLIN, 0}};
    poll(fds, 2, 1);
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = recvfrom(fds[i].fd, buffer, sizeof buffer, 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
      if (n <= 0) continue;
      if (i == 0) {
        joiner = from;
        joinerKnown = true;
      }
      if (random() < faults_.dropPercent) {
        ++dropped_;
        continue;
      }
      uint64_t at = NowMs() + faults_.delayMs;
      if (random() < faults_.reorderPercent) at += 30;
      due.emplace(at, Datagram{i == 0, std::vector<uint8_t>(buffer, buffer + n)});
    }
    const uint64_t now = NowMs();
    while (!due.empty() && due.begin()->first <= now) {
      const Datagram& d = due.begin()->second;
      if (d.toHost)
        sendto(inner_, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr*>(&host),
               sizeof host);
      else if (joinerKnown)
        sendto(outer_, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr*>(&joiner),
               sizeof joiner);
      due.erase(due.begin());
    }
  }
}

}  // namespace net
