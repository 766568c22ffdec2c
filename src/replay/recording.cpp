// The recording file: "GRONKARP", the version, the settings, the seed, then the key events as
// varint wait gaps with their kind and key, the end, the frames of play and the rounds.
#include "replay/recording.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace replay {

namespace {

constexpr char Magic[8] = {'G', 'R', 'O', 'N', 'K', 'A', 'R', 'P'};
// Far beyond any real session (a week of play makes about 12 million frames), small enough that a
// forged count cannot make the reader reserve much.
constexpr uint64_t MaxEvents = 1u << 24;
constexpr uint64_t MaxRounds = 1u << 20;
constexpr uint64_t MaxWaits = uint64_t{1} << 40;
// A recording of the most events (3 to 8 bytes each) stays below this; a larger file is refused
// before it is read.
constexpr uint64_t MaxFileBytes = uint64_t{128} << 20;

void PutVarint(std::vector<uint8_t>& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

void PutFixed(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  std::string* why;

  bool Fail(const char* what) {
    if (why) *why = what;
    return false;
  }
  bool Fixed(uint64_t* value, int bytes, const char* what) {
    if (size - at < static_cast<size_t>(bytes)) return Fail(what);
    *value = 0;
    for (int i = 0; i < bytes; ++i) *value |= uint64_t{data[at + i]} << (8 * i);
    at += static_cast<size_t>(bytes);
    return true;
  }
  bool Varint(uint64_t* value, uint64_t max, const char* what) {
    *value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at == size) return Fail(what);
      const uint8_t byte = data[at++];
      const uint64_t bits = byte & 0x7F;
      if (shift == 63 && bits > 1) return Fail(what);
      *value |= bits << shift;
      if ((byte & 0x80) == 0) return *value <= max ? true : Fail(what);
    }
    return Fail(what);
  }
};

}  // namespace

std::vector<uint8_t> Encode(const Recording& r) {
  std::vector<uint8_t> out(Magic, Magic + sizeof Magic);
  PutFixed(out, FormatVersion, 2);
  for (int8_t option : r.options) out.push_back(static_cast<uint8_t>(option));
  PutFixed(out, r.seed, 4);
  PutVarint(out, r.events.size());
  uint64_t previous = 0;
  for (const KeyEvent& e : r.events) {
    PutVarint(out, e.wait - previous);
    previous = e.wait;
    out.push_back(e.down ? 1 : 0);
    out.push_back(e.key);
  }
  PutVarint(out, r.endWait);
  PutVarint(out, r.frames);
  PutVarint(out, r.rounds.size());
  for (const RoundResult& round : r.rounds) {
    out.push_back(round.winner);
    PutVarint(out, round.frames);
    PutFixed(out, round.hash, 8);
  }
  return out;
}

bool Decode(const uint8_t* data, size_t size, Recording* r, std::string* why) {
  Reader in{data, size, 0, why};
  *r = Recording{};
  if (size < sizeof Magic || std::memcmp(data, Magic, sizeof Magic) != 0)
    return in.Fail("not a recording (bad magic)");
  in.at = sizeof Magic;
  uint64_t value = 0;
  if (!in.Fixed(&value, 2, "truncated header")) return false;
  if (value != FormatVersion) return in.Fail("unsupported recording version");
  if (!in.Fixed(&value, 4, "truncated settings")) return false;
  for (int i = 0; i < 4; ++i) r->options[i] = static_cast<int8_t>(value >> (8 * i));
  if (r->options[1] < 0 || r->options[1] > 1 || r->options[2] < 0 || r->options[2] > 1 ||
      r->options[3] < 0 || r->options[3] > 3)
    return in.Fail("settings out of range");
  if (!in.Fixed(&value, 4, "truncated seed")) return false;
  r->seed = static_cast<uint32_t>(value);
  uint64_t count = 0;
  if (!in.Varint(&count, MaxEvents, "bad event count")) return false;
  if (count * 3 > size - in.at) return in.Fail("truncated events");
  r->events.reserve(count);
  uint64_t wait = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t gap = 0, kind = 0, key = 0;
    if (!in.Varint(&gap, MaxWaits, "bad event wait")) return false;
    wait += gap;
    if (wait > MaxWaits) return in.Fail("bad event wait");
    if (!in.Fixed(&kind, 1, "truncated event") || !in.Fixed(&key, 1, "truncated event"))
      return false;
    if (kind > 1) return in.Fail("bad event kind");
    r->events.push_back(KeyEvent{wait, kind == 1, static_cast<uint8_t>(key)});
  }
  if (!in.Varint(&r->endWait, MaxWaits, "bad end")) return false;
  if (!r->events.empty() && r->events.back().wait >= r->endWait)
    return in.Fail("event after the end");
  if (!in.Varint(&r->frames, r->endWait, "bad frame count")) return false;
  if (!in.Varint(&count, MaxRounds, "bad round count")) return false;
  if (count * 10 > size - in.at) return in.Fail("truncated rounds");
  r->rounds.resize(count);
  for (RoundResult& round : r->rounds) {
    uint64_t frames = 0;
    if (!in.Fixed(&value, 1, "truncated round")) return false;
    if (value > 2) return in.Fail("bad round winner");
    round.winner = static_cast<uint8_t>(value);
    if (!in.Varint(&frames, UINT32_MAX, "bad round length")) return false;
    round.frames = static_cast<uint32_t>(frames);
    if (!in.Fixed(&round.hash, 8, "truncated round")) return false;
  }
  if (in.at != size) return in.Fail("extra bytes after the recording");
  return true;
}

bool ReadRecordingFile(const std::string& path, Recording* recording, std::string* why) {
  // Only a regular file: a pipe or a device would hold the reader for good.
  const char* reason = nullptr;
  const int fd = OpenRegularFile(path.c_str(), &reason);
  if (fd < 0) {
    if (why) *why = errno == EISDIR || errno == EINVAL ? "not a regular file" : "cannot be opened";
    return false;
  }
  // Judged by its size before a byte is read: a recording of a week of play stays far below this.
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < 0) {
    close(fd);
    if (why) *why = "cannot be read";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > MaxFileBytes) {
    close(fd);
    if (why) *why = "too large for a recording";
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t got = 0;
  bool failed = false;
  while (got < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed = n < 0;
      break;
    }
    got += static_cast<size_t>(n);
  }
  // A file that grew since is not read past the size it had: its extra bytes make it refused.
  uint8_t extra = 0;
  if (!failed && got == bytes.size() && read(fd, &extra, 1) > 0) got = bytes.size() + 1;
  close(fd);
  if (failed) {
    if (why) *why = "cannot be read";
    return false;
  }
  if (got != bytes.size()) {
    if (why) *why = "changed while it was read";
    return false;
  }
  return Decode(bytes.data(), bytes.size(), recording, why);
}

bool WriteRecordingFile(const std::string& path, const Recording& recording) {
  const std::vector<uint8_t> bytes = Encode(recording);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace replay
