// A recording of a whole session: the settings and the random seed it started with, every key
// message the game's loops received with the number of the wait (WaitCount) in which it arrived,
// where it ended, and what each round came to. Key events, not states: ten rounds take a few KB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace replay {

constexpr uint16_t FormatVersion = 1;

struct KeyEvent {
  uint64_t wait;  // the WaitFrame in which the message arrived, counted from start-up
  bool down;      // WM_KEYDOWN, else WM_KEYUP
  uint8_t key;    // virtual-key code
};

// What a round came to: its winner (0 or 1 for the players, 2 for a draw), its frames of play and
// the fingerprint of the match state when its result was decided.
struct RoundResult {
  uint8_t winner = 2;
  uint32_t frames = 0;
  uint64_t hash = 0;
};

struct Recording {
  int8_t options[4] = {};
  uint32_t seed = 0;
  std::vector<KeyEvent> events;  // in order of arrival
  uint64_t endWait = 0;          // waits begun when the session ended
  uint64_t frames = 0;           // frames of play in all
  std::vector<RoundResult> rounds;
};

// The file's bytes. Encode gives a file that Decode reads back as it was.
std::vector<uint8_t> Encode(const Recording& recording);
// Reads a recording strictly: false, with one line in `why`, for anything that is not exactly a
// recording of this version (bad magic or version, a count or number out of its bounds, events out
// of order or past the end, missing or extra bytes).
bool Decode(const uint8_t* data, size_t size, Recording* recording, std::string* why);

bool ReadRecordingFile(const std::string& path, Recording* recording, std::string* why);
bool WriteRecordingFile(const std::string& path, const Recording& recording);

}  // namespace replay
