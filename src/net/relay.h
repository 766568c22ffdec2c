// A small UDP relay for tests and the benchmark: the joiner talks to it as to the host, and it
// passes every datagram on after a delay, dropping and reordering some. It runs on a thread of its
// own until it is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace net {

struct RelayFaults {
  uint32_t delayMs = 0;         // each way
  uint32_t dropPercent = 0;     // datagrams lost, each way
  uint32_t reorderPercent = 0;  // datagrams held back another 30 ms, behind later ones
};

class Relay {
 public:
  // Listens on a free port of 127.0.0.1 and relays to 127.0.0.1:hostPort.
  Relay(uint16_t hostPort, RelayFaults faults, uint32_t seed = 1);
  ~Relay();
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;
  uint16_t Port() const { return port_; }
  uint64_t Dropped() const { return dropped_; }

 private:
  void Run();
  RelayFaults faults_;
  uint32_t seed_;
  int outer_ = -1, inner_ = -1;  // sockets facing the joiner and the host
  uint16_t port_ = 0, hostPort_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> dropped_{0};
  std::thread thread_;
};

}  // namespace net
