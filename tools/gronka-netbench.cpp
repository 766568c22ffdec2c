// The game over the network through the relay at round trips of 0, 50, 100 and 200 ms: the input
// delay chosen, stalls per 1,000 frames and the bandwidth each player sends, in real time (two
// computers play; about 20 s per round trip).
//
//   gronka-netbench [FRAMES]     from the build directory (it runs ./gronka)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/net/play.h"
#include "net/relay.h"

int main(int argc, char** argv) {
  const std::string frames = argc > 1 ? argv[1] : "300";
  std::printf("%8s %6s %18s %22s\n", "rtt ms", "delay", "stalls/1000 frames",
              "bytes/s per player (UDP)");
  for (uint32_t rtt : {0u, 50u, 100u, 200u}) {
    using nettest::Spawn;
    std::fflush(stdout);  // the children must not write what is still buffered
    auto host = Spawn({"./gronka", "--host", "0", "--no-upnp", "--headless", "--net-realtime",
                       "--computer", "1", "--net-frames", frames},
                      "bench-host");
    const int port = nettest::HostPort(host);
    net::Relay relay(static_cast<uint16_t>(port), net::RelayFaults{rtt / 2, 0, 0});
    auto join = Spawn({"./gronka", "--join", "127.0.0.1:" + std::to_string(relay.Port()),
                       "--headless", "--net-realtime", "--computer", "2", "--net-frames", frames},
                      "bench-join");
    const int joinCode = nettest::Wait(join, 600), hostCode = nettest::Wait(host, 30);
    double rate[2] = {};
    std::string delay, stalls, ticks;
    const std::string outs[2] = {nettest::Text(host.out), nettest::Text(join.out)};
    for (int p = 0; p < 2; ++p) {
      const double bytes = std::atof(nettest::Field(outs[p], "sent ").c_str());
      const double packets = std::atof(nettest::Field(outs[p], "bytes in ").c_str());
      const double ms = std::atof(nettest::Field(outs[p], "packets in ").c_str());
      rate[p] = ms > 0 ? (bytes + 28 * packets) * 1000 / ms : 0;  // with UDP and IPv4 headers
    }
    const double st = std::atof(nettest::Field(outs[0], "stalls ").c_str());
    const double tk = std::atof(nettest::Field(outs[0], " in ").c_str());
    std::printf("%8u %6s %18.1f %11.0f / %-10.0f%s\n", rtt,
                nettest::Field(outs[0], "delay ").c_str(), tk > 0 ? st * 1000 / tk : -1, rate[0],
                rate[1], hostCode == 0 && joinCode == 0 ? "" : "  (a side failed)");
    std::fflush(stdout);
  }
}
