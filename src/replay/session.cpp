// The session's hooks: they count frames and rounds, record key messages and round results, play a
// recording's key messages back at their waits, and give the computer its turns.
#include "replay/session.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "computer/player.h"
#include "match/match.h"
#include "shell/options.h"
#include "shell/pacing.h"

namespace replay {

void (*RoundResultHook)(const RoundResult& round) = nullptr;

namespace {

Tally TheTally;

bool Recording_ = false;
std::string RecordPath;
Recording Recorded;
std::optional<uint32_t> RecordedSeed;

bool Replaying = false;
Recording Played;
size_t NextEvent = 0;

struct Fnv {
  uint64_t hash = 0xcbf29ce484222325ull;
  template <typename T>
  void Add(const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  }
};

bool Finishing = false;

[[noreturn]] void FinishReplay(int desyncRound) {
  const Tally& t = TheTally;
  std::string winners, hashes;
  for (const RoundResult& round : t.rounds) {
    winners += winners.empty() ? "" : " ";
    winners += round.winner == 2 ? "draw" : round.winner == 0 ? "1" : "2";
    char hex[20];
    std::snprintf(hex, sizeof hex, "%s%016" PRIx64, hashes.empty() ? "" : " ", round.hash);
    hashes += hex;
  }
  if (desyncRound == 0 && t.rounds.size() != Played.rounds.size())
    desyncRound = static_cast<int>(std::min(t.rounds.size(), Played.rounds.size())) + 1;
  char verdict[64];
  if (desyncRound > 0)
    std::snprintf(verdict, sizeof verdict, "desync at round %d", desyncRound);
  else if (t.frames != Played.frames)
    std::snprintf(verdict, sizeof verdict, "desync after round %zu", t.rounds.size());
  else
    std::snprintf(verdict, sizeof verdict, "ok");
  std::printf("replay: %" PRIu64 " frames of play, %zu rounds, winners: %s, hashes: %s: %s\n",
              t.frames, t.rounds.size(), winners.empty() ? "-" : winners.c_str(),
              hashes.empty() ? "-" : hashes.c_str(), verdict);
  std::fflush(stdout);
  Finishing = true;  // the exit handler below lets this end go through
  ExitProcess(std::strcmp(verdict, "ok") == 0 ? 0 : 1);
}

void OnWait(uint64_t wait) {
  // The settings and the seed the session started with.
  if (Recording_ && wait == 0) {
    std::memcpy(Recorded.options, Options, sizeof Recorded.options);
    Recorded.seed = RecordedSeed.value_or(SessionSeed.value_or(0));
  }
  if (Replaying) {
    if (wait >= Played.endWait) FinishReplay(0);
    for (; NextEvent < Played.events.size() && Played.events[NextEvent].wait == wait; ++NextEvent) {
      const KeyEvent& e = Played.events[NextEvent];
      MSG msg;
      msg.hwnd = MainWindow;
      msg.message = e.down ? WM_KEYDOWN : WM_KEYUP;
      msg.wParam = e.key;
      msg.lParam = e.down ? 1 : static_cast<LPARAM>(0xC0000001u);
      DispatchMessageA(&msg);
    }
  }
  computer::OnWait();
}

bool OnMessage(const MSG& msg) {
  const bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP;
  // A recording plays alone: the keyboard and the gamepads are not listened to.
  if (Replaying && key) return false;
  computer::OnMessage(msg);
  if (Recording_ && key && msg.wParam < 256)
    Recorded.events.push_back(
        KeyEvent{WaitCount - 1, msg.message == WM_KEYDOWN, static_cast<uint8_t>(msg.wParam)});
  return true;
}

void OnFramePlayed() {
  Tally& t = TheTally;
  // Between two frames of play of one round lies one wait; an intro in between means a new round.
  if (WaitCount != t.lastPlayedWait + 1) t.roundFrames = 0;
  t.lastPlayedWait = WaitCount;
  ++t.frames;
  ++t.roundFrames;
  computer::OnFramePlayed();
}

void OnRoundOver() {
  Tally& t = TheTally;
  if (WaitCount != t.lastPlayedWait + 1) t.roundFrames = 0;  // over before a frame was drawn
  RoundResult round{RoundWinner(Match), t.roundFrames, MatchHash(Match)};
  t.rounds.push_back(round);
  t.roundFrames = 0;
  t.lastPlayedWait = 0;
  if (Replaying) {
    const size_t k = t.rounds.size() - 1;
    if (k >= Played.rounds.size() || Played.rounds[k].hash != round.hash)
      FinishReplay(static_cast<int>(k) + 1);
  }
  computer::OnRoundOver();
  if (RoundResultHook) RoundResultHook(round);
}

void WriteAtExit() {
  FinishRecording();
}

}  // namespace

namespace {

uint64_t StateHash(const MatchState& m, int32_t frameParity, uint32_t randomState) {
  Fnv f;
  ForEachFutureField(m, [&f](const auto& value) { f.Add(value); });
  f.Add(frameParity);
  f.Add(randomState);
  return f.hash;
}

}  // namespace

uint64_t MatchHash(const struct Match& m) {
  return StateHash(m, FrameParity, RandomStateNow());
}

uint64_t SnapshotHash(const MatchSnapshot& s) {
  return StateHash(s.state, s.frameParity, s.randomState);
}

uint8_t RoundWinner(const struct Match& m) {
  if (m.life[0] != 0 && m.life[1] == 0) return 0;
  if (m.life[1] != 0 && m.life[0] == 0) return 1;
  return 2;
}

const Tally& SessionTally() {
  return TheTally;
}

void BeginSession() {
  TheTally = Tally{};
  Replaying = false;  // a session plays a recording back only when it starts one
  WaitCount = 0;
  WaitHook = OnWait;
  MessageHook = OnMessage;
  FramePlayedHook = OnFramePlayed;
  RoundOverHook = OnRoundOver;
}

void StartRecording(const std::string& path) {
  Recording_ = true;
  RecordPath = path;
  Recorded = Recording{};
  Recorded.events.reserve(4096);
  static bool registered = false;
  if (!registered) std::atexit(WriteAtExit);
  registered = true;
}

void RecordKey(uint64_t wait, bool down, uint8_t key) {
  if (!Recording_) return;
  // Keys of a frame may be sure only some frames later: they go in after every event of their
  // wait and before the later ones.
  auto at = Recorded.events.end();
  while (at != Recorded.events.begin() && (at - 1)->wait > wait) --at;
  Recorded.events.insert(at, KeyEvent{wait, down, key});
}

void SetRecordedSeed(uint32_t seed) {
  RecordedSeed = seed;
  Recorded.seed = seed;
}

bool WriteRecordingNow(const std::string& path) {
  Recording now = Recorded;
  now.endWait = WaitCount;
  now.frames = TheTally.frames;
  now.rounds = TheTally.rounds;
  return WriteRecordingFile(path, now);
}

bool FinishRecording() {
  if (!Recording_) return true;
  Recording_ = false;
  if (RecordPath.empty()) return true;
  Recorded.endWait = WaitCount;
  Recorded.frames = TheTally.frames;
  Recorded.rounds = TheTally.rounds;
  if (WriteRecordingFile(RecordPath, Recorded)) return true;
  std::fprintf(stderr, "gronka: the recording %s could not be written\n", RecordPath.c_str());
  return false;
}

void StartReplay(const Recording& recording) {
  Replaying = true;
  Played = recording;
  NextEvent = 0;
  SessionSeed = recording.seed;
  // The recorded settings, in a settings file of the replay's own.
  char path[] = "/tmp/gronka-replay-XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) {
    const bool written = write(fd, recording.options, 4) == 4;
    close(fd);
    if (written) OptionsFile = OptionsFiles{path, ""};
    static std::string scratch;
    scratch = path;
    std::atexit([] { unlink(scratch.c_str()); });
  }
  Finishing = false;
  // The game ending on its own (Esc, QUIT, the window closed) ends the replay with its verdict.
  SetExitHandler([](int) {
    if (!Finishing) FinishReplay(0);
  });
}

}  // namespace replay
