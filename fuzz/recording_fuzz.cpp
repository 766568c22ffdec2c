// A recording of any content, read as gronka --replay reads it. The reader either refuses it with a
// one-line reason or reads a recording whose events are in order and before its end, and which
// reads back the same once written again.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "replay/recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  replay::Recording recording;
  std::string why;
  if (!replay::Decode(data, size, &recording, &why)) {
    FUZZ_CHECK(!why.empty() && why.find('\n') == std::string::npos);
    return 0;
  }
  for (size_t i = 1; i < recording.events.size(); ++i)
    FUZZ_CHECK(recording.events[i - 1].wait <= recording.events[i].wait);
  if (!recording.events.empty()) FUZZ_CHECK(recording.events.back().wait < recording.endWait);
  FUZZ_CHECK(recording.frames <= recording.endWait);
  for (const replay::RoundResult& round : recording.rounds) FUZZ_CHECK(round.winner <= 2);
  // Varints may be written longer than needed; only a minimal input must come back the same.
  const std::vector<uint8_t> again = replay::Encode(recording);
  replay::Recording reread;
  FUZZ_CHECK(replay::Decode(again.data(), again.size(), &reread, &why));
  FUZZ_CHECK(replay::Encode(reread) == again);
  return 0;
}
