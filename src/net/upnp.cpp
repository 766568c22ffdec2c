// The home router's port forwarding over UPnP IGD, with libminiupnpc.
#include "net/upnp.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <chrono>
#include <string>

namespace net::upnp {

namespace {

// The router's answer when it keeps only mappings without an end.
constexpr int OnlyPermanentLeases = 725;

// What a mapping is called in the router's list.
constexpr const char* Description = "GRONKA";

}  // namespace

void Forwarder::Start(uint16_t port, int waitMs) {
  Stop();
  port_ = port;
  stopping_.store(false);
  state_.store(State::Asking, std::memory_order_release);
  thread_ = std::thread([this, waitMs] { Run(waitMs); });
}

void Forwarder::Stop() {
  stopping_.store(true);
  if (thread_.joinable()) thread_.join();
  state_.store(State::Off, std::memory_order_release);
}

std::string Forwarder::External() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return external_;
}

std::string Forwarder::Why() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return why_;
}

void Forwarder::Run(int waitMs) {
  auto fail = [this](const std::string& why) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      why_ = why;
    }
    state_.store(State::NoRouter, std::memory_order_release);
  };
  int error = 0;
  UPNPDev* devices = upnpDiscover(waitMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
  if (devices == nullptr) return fail("no router answered (UPnP)");
  UPNPUrls urls{};
  IGDdatas data{};
  char lan[64] = {};
  const int found = UPNP_GetValidIGD(devices, &urls, &data, lan, sizeof lan);
  freeUPNPDevlist(devices);
  if (found != 1) {
    if (found != 0) FreeUPNPUrls(&urls);
    return fail(found == 2 ? "the router says it is not connected"
                           : "no router among the UPnP devices that answered");
  }
  const char* control = urls.controlURL;
  const char* service = data.first.servicetype;
  char external[64] = {};
  const std::string port = std::to_string(port_);
  if (UPNP_GetExternalIPAddress(control, service, external) != 0 || external[0] == '\0') {
    FreeUPNPUrls(&urls);
    return fail("the router did not tell its outside address");
  }
  std::string lease = std::to_string(LeaseSeconds);
  auto map = [&] {
    int result = UPNP_AddPortMapping(control, service, port.c_str(), port.c_str(), lan, Description,
                                     "UDP", nullptr, lease.c_str());
    if (result == OnlyPermanentLeases) {
      // Kept until the game removes it, which it does when it stops.
      lease = "0";
      result = UPNP_AddPortMapping(control, service, port.c_str(), port.c_str(), lan, Description,
                                   "UDP", nullptr, lease.c_str());
    }
    return result;
  };
  const int result = map();
  if (result != 0) {
    FreeUPNPUrls(&urls);
    return fail(std::string("the router refused to forward the port: ") + strupnperror(result));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    external_ = external;
  }
  state_.store(State::Forwarded, std::memory_order_release);

  // The lease is renewed at half its length while the game hosts.
  using Clock = std::chrono::steady_clock;
  auto renew = Clock::now() + std::chrono::seconds(LeaseSeconds / 2);
  while (!stopping_.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (lease != "0" && Clock::now() >= renew) {
      map();
      renew = Clock::now() + std::chrono::seconds(LeaseSeconds / 2);
    }
  }
  UPNP_DeletePortMapping(control, service, port.c_str(), "UDP", nullptr);
  FreeUPNPUrls(&urls);
}

}  // namespace net::upnp
