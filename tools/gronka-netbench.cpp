// The game over the network through the relay at round trips of 0, 50, 100, 200 and 300 ms and at
// 100 ms with 5 % of the datagrams lost, in real time (two computers play; about 20 s a line):
// for each side, the input delay, the rollbacks a second, the frames run again (mean and most),
// the worst rollback's cost, the stalls per 1,000 frames and the bytes a second it sends. Each
// line is played twice: with the delay chosen, then at the delay of the old lockstep for that round
// trip (--input-delay), for comparison.
//
//   gronka-netbench [FRAMES]     from the build directory (it runs ./gronka)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/net/play.h"
#include "net/relay.h"

namespace {

struct Line {
  uint32_t rtt;
  uint32_t lossPercent;
};

double Number(const std::string& out, const char* key) {
  return std::atof(nettest::Field(out, key).c_str());
}

void Play(const std::string& frames, const Line& line, int delay) {
  using nettest::Spawn;
  std::vector<std::string> options = {"--headless", "--net-realtime", "--net-frames", frames};
  if (delay >= 0) options.insert(options.end(), {"--input-delay", std::to_string(delay)});
  std::vector<std::string> hostArgs = {"./gronka", "--host", "0", "--no-upnp", "--computer", "1"};
  hostArgs.insert(hostArgs.end(), options.begin(), options.end());
  std::fflush(stdout);  // the children must not write what is still buffered
  auto host = Spawn(hostArgs, "bench-host");
  const int port = nettest::HostPort(host);
  net::Relay relay(static_cast<uint16_t>(port),
                   net::RelayFaults{line.rtt / 2, line.lossPercent, 0});
  std::vector<std::string> joinArgs = {
      "./gronka", "--join", "127.0.0.1:" + std::to_string(relay.Port()), "--computer", "2"};
  joinArgs.insert(joinArgs.end(), options.begin(), options.end());
  auto join = Spawn(joinArgs, "bench-join");
  const int joinCode = nettest::Wait(join, 600), hostCode = nettest::Wait(host, 30);
  const std::string outs[2] = {nettest::Text(host.out), nettest::Text(join.out)};
  for (int side = 0; side < 2; ++side) {
    const std::string& out = outs[side];
    const double bytes = Number(out, "sent "), packets = Number(out, "bytes in ");
    const double ms = Number(out, "packets in ");
    const double rate = ms > 0 ? (bytes + 28 * packets) * 1000 / ms : 0;  // UDP and IPv4 headers
    const double rollbacks = Number(out, "rollbacks "), again = Number(out, "frames run again ");
    const double stalls = Number(out, "stalls "), ticks = Number(out, " in ");
    std::printf("%6u %4u%% %-5s %5s %6s %10.1f %6.2f %4s %8s %9.1f %9.0f%s\n", line.rtt,
                line.lossPercent, side == 0 ? "host" : "join", delay >= 0 ? "lock" : "roll",
                nettest::Field(out, "delay ").c_str(), ms > 0 ? rollbacks * 1000 / ms : 0,
                rollbacks > 0 ? again / rollbacks : 0, nettest::Field(out, " most ").c_str(),
                nettest::Field(out, "worst rollback ").c_str(),
                ticks > 0 ? stalls * 1000 / ticks : -1, rate,
                hostCode == 0 && joinCode == 0 ? "" : "  (a side failed)");
  }
  std::fflush(stdout);
}

// The input delay the lockstep of earlier builds chose for a round trip.
int LockstepDelay(uint32_t rtt) {
  const int frames = static_cast<int>((rtt / 2 + 30 + 49) / 50) + 1;
  return frames < 2 ? 2 : frames > 8 ? 8 : frames;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string frames = argc > 1 ? argv[1] : "300";
  std::printf("%6s %5s %-5s %5s %6s %10s %6s %4s %8s %9s %9s\n", "rtt ms", "loss", "side", "mode",
              "delay", "rollback/s", "again", "most", "worst us", "stall/1k", "bytes/s");
  for (const Line line :
       {Line{0, 0}, Line{50, 0}, Line{100, 0}, Line{200, 0}, Line{300, 0}, Line{100, 5}}) {
    Play(frames, line, -1);
    Play(frames, line, LockstepDelay(line.rtt));
  }
}
