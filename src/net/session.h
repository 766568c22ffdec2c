// The game over the network: one machine hosts (player 1, left), the other joins (player 2, right);
// each runs the whole match and they exchange only their players' keys on ENet. Each side's own
// keys act at once; the other's are guessed until they arrive, and when a guess was wrong the
// match goes back to that frame and runs the frames since again before the next is drawn.
#pragma once

#include <cstdint>
#include <string>

namespace net {

struct Settings {
  bool host = false;        // --host [PORT], else --join HOST[:PORT]
  std::string address;      // the host's name or address, to join
  uint16_t port = 0;        // 0 on the host: any free port (tests)
  bool headless = false;    // no window: leaves after `frames` frames of play and prints a line
  uint64_t frames = 0;      // --net-frames N
  bool realTime = false;    // --net-realtime: headless, but frames paced at 50 ms of real time
  uint32_t desyncAt = 0;    // --net-desync-at N: this side's state is put wrong at that frame
  std::string reportDir;    // where the recordings of a desync go
  int inputDelay = -1;      // --input-delay N, else -1: chosen from the round trip
  bool mispredict = false;  // --net-mispredict: the other player's keys guessed wrong on purpose
  bool upnp = true;         // --host: ask the home router to forward the port (off: --no-upnp)
};

// Opens the ENet host (listening or connecting) and hooks the game's loops. False, after one line
// on stderr, when ENet cannot start or the port cannot be opened.
bool Start(const Settings& settings);

// The game's version as the version check compares it: the build's, or $GRONKA_NET_VERSION (which
// lets a test pretend to be another build).
std::string GameVersion();

}  // namespace net
