// The home router's port forwarding, asked for over UPnP IGD (libminiupnpc): a host behind a router
// that answers gets its UDP port forwarded for a limited lease, renewed while it hosts and removed
// when it stops, and learns the address a friend elsewhere should join.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace net::upnp {

enum class State { Off, Asking, Forwarded, NoRouter };

// The lease asked for, in seconds; renewed at half of it. A game that is killed leaves its
// mapping for at most this long.
constexpr int LeaseSeconds = 1200;

class Forwarder {
 public:
  Forwarder() = default;
  ~Forwarder() { Stop(); }
  Forwarder(const Forwarder&) = delete;
  Forwarder& operator=(const Forwarder&) = delete;

  // Starts asking, on a thread of its own, for UDP `port` of the router's outside address to be
  // forwarded to the same port of this machine. `waitMs`: how long routers are listened for.
  void Start(uint16_t port, int waitMs = 2000);
  // Removes the mapping (when there is one) and ends the thread; waits for both.
  void Stop();

  State Now() const { return state_.load(std::memory_order_acquire); }
  // The router's outside address, once Forwarded.
  std::string External() const;
  // Why nothing was forwarded, once NoRouter: one line for the player.
  std::string Why() const;

 private:
  void Run(int waitMs);

  uint16_t port_ = 0;
  std::atomic<State> state_{State::Off};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;  // guards the strings
  std::string external_, why_;
  std::thread thread_;
};

}  // namespace net::upnp
