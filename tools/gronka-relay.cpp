// The relay of the network tests as a program of its own, to play through a slow line by hand or
// from a script: it prints the port to join and relays until it is ended (Ctrl+C or SIGTERM).
//
//   gronka-relay HOST_PORT DELAY_MS [LOSS_PERCENT]     (DELAY_MS each way)
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "net/relay.h"

namespace {

volatile sig_atomic_t Ending = 0;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gronka-relay HOST_PORT DELAY_MS [LOSS_PERCENT]\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  net::RelayFaults faults;
  faults.delayMs = static_cast<uint32_t>(std::atoi(argv[2]));
  faults.dropPercent = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 0;
  net::Relay relay(port, faults);
  std::printf("relay: join 127.0.0.1:%u\n", relay.Port());
  std::fflush(stdout);
  signal(SIGINT, [](int) { Ending = 1; });
  signal(SIGTERM, [](int) { Ending = 1; });
  while (!Ending) pause();
  return 0;
}
