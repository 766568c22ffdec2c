// The messages two machines exchange in a game over the network, and their bytes. Every packet is
// one message: a kind byte, then fixed little-endian fields; decoding is strict (exact length,
// every count and value within its bounds), so a packet that is not exactly a message of this
// protocol is refused as a whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace net {

constexpr uint16_t ProtocolVersion = 3;
constexpr uint16_t DefaultPort = 27315;
constexpr int MinDelay = 0, MaxDelay = 8;  // input delay in frames
constexpr int MaxWords = 32;               // input words in one packet
constexpr int HashInterval = 20;           // frames between two exchanged state hashes
constexpr size_t VersionLength = 32;       // the game version's text, at most, with its end
constexpr size_t MaxPacket = 128;          // no message is longer

enum class Kind : uint8_t {
  Hello = 1,  // joiner to host: "GRNK", protocol, game version
  Welcome,    // host to joiner, the same fields: accepted
  Refuse,     // either way, the same fields: refused, the versions differ
  Ready,      // START was chosen on the title menu: a match is wanted
  Start,      // host to joiner: the match starts, with the random generator's state and the delay
  Inputs,     // words for frames first .. first + count - 1, the first frame still wanted and
              // the frame the sender is at
  Hash,       // the match state's hash at a frame
  Delay,      // no longer sent (each side chooses its own input delay); its number is kept
  Desync,     // the hashes at a frame differed: the match ends on both
};

// A player's keys for one frame: bits 0-6 the player's seven keys held (by role), bit 7 Esc held;
// bits 8-15 the same keys pressed (a key-down message, auto-repeat too) during the frame.
using Word = uint16_t;

struct Message {
  Kind kind = Kind::Ready;
  uint16_t protocol = 0;             // Hello, Welcome, Refuse
  char version[VersionLength] = {};  // Hello, Welcome, Refuse: text ending in 0
  uint32_t randomState = 0;          // Start
  uint8_t delay = 0;                 // Start, Delay: MinDelay..MaxDelay
  uint32_t tick = 0;                 // Inputs: first frame; Hash, Desync: the frame
  uint32_t wanted = 0;               // Inputs: the first of the receiver's frames not yet had
  uint32_t frame = 0;                // Inputs: the frame the sender is about to play
  uint8_t count = 0;                 // Inputs: 0..MaxWords
  Word words[MaxWords] = {};         // Inputs
  uint64_t hash = 0;                 // Hash
  // Start, Inputs: the match's number (counted by the host, wrapping), so that the last words of
  // one match, still on their way, are not taken for the next one's.
  uint8_t match = 0;
};

// Writes the message's bytes into `out` (MaxPacket bytes at least); returns their number.
size_t Encode(const Message& message, uint8_t* out);
// False for anything that is not exactly one message of this protocol.
bool Decode(const uint8_t* data, size_t size, Message* message);

}  // namespace net
