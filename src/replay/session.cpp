// The session's hooks: they count frames and rounds, record key messages and round results, play a
// recording's key messages back at their waits, and give the computer its turns.
#include "replay/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <csignal>
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
uint64_t LastFrameWait = 0;  // the last wait that followed a frame of play
std::string ScratchOptions;  // the replay's own settings file
// After its last key event a recording plays no longer than this without a frame of play: longer
// than any stretch of the game's that runs on by itself (the opening scene, a round's intro), so
// a game left waiting for keys that never come is not waited for.
constexpr uint64_t IdleWaits = 1000;

// Set by SIGTERM: the session ends at the next wait, as if the window were closed.
volatile std::sig_atomic_t Terminated = 0;

void RemoveScratchOptions() {
  if (!ScratchOptions.empty()) unlink(ScratchOptions.c_str());
  ScratchOptions.clear();
}

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
  RemoveScratchOptions();
  Finishing = true;  // the exit handler below lets this end go through
  ExitProcess(std::strcmp(verdict, "ok") == 0 ? 0 : 1);
}

void OnWait(uint64_t wait) {
  if (Terminated) ExitProcess(1);
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
    // Past its last key event the recording holds nothing more than its frames of play and its
    // rounds: once they are all played, or more, or the game has stopped playing frames, the
    // verdict is in. A session that ended between two frames (a right click, the window closed)
    // thus ends here where it ended, and an end recorded far away is not waited for.
    const Tally& t = TheTally;
    if (NextEvent == Played.events.size()) {
      const uint64_t lastActive =
          std::max(LastFrameWait, Played.events.empty() ? 0 : Played.events.back().wait);
      if ((t.frames >= Played.frames && t.rounds.size() >= Played.rounds.size()) ||
          t.frames > Played.frames || wait - lastActive > IdleWaits)
        FinishReplay(0);
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
  LastFrameWait = WaitCount;
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

void OnTerminate(int) {
  Terminated = 1;
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
  // Nothing of a session before (in the same process) carries over.
  Recording_ = false;
  RecordPath.clear();
  Recorded = Recording{};
  RecordedSeed.reset();
  Replaying = false;
  Played = Recording{};
  NextEvent = 0;
  LastFrameWait = 0;
  Finishing = false;
  Terminated = 0;
  RemoveScratchOptions();
  WaitHook = OnWait;
  MessageHook = OnMessage;
  FramePlayedHook = OnFramePlayed;
  RoundOverHook = OnRoundOver;
}

bool StartRecording(const std::string& path, std::string* why) {
  // The file is opened now, so that a path that cannot be written is refused before anything is
  // played: a regular file (created when missing), never a pipe or a device.
  if (!path.empty()) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    struct stat st;
    const char* reason = nullptr;
    if (fd < 0 || fstat(fd, &st) != 0)
      reason = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
      reason = "not a regular file";
    if (fd >= 0) close(fd);
    if (reason != nullptr) {
      if (why) *why = reason;
      return false;
    }
  }
  Recording_ = true;
  RecordPath = path;
  Recorded = Recording{};
  Recorded.events.reserve(4096);
  static bool registered = false;
  if (!registered) std::atexit(WriteAtExit);
  registered = true;
  // SIGTERM ends the session at its next wait, through the usual way out, which writes the
  // recording; a second one ends the process at once.
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  return true;
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
  LastFrameWait = 0;
  SessionSeed = recording.seed;
  // The recorded settings, in a settings file of the replay's own, removed when the replay ends.
  RemoveScratchOptions();
  const char* dir = std::getenv("TMPDIR");
  std::string name = std::string(dir && *dir ? dir : "/tmp") + "/gronka-replay-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd >= 0) {
    const bool written = write(fd, recording.options, 4) == 4;
    close(fd);
    ScratchOptions = name;
    if (written) OptionsFile = OptionsFiles{name, ""};
    static bool registered = false;
    if (!registered) std::atexit(RemoveScratchOptions);
    registered = true;
  }
  Finishing = false;
  // The game ending on its own (Esc, QUIT, the window closed) ends the replay with its verdict.
  SetExitHandler([](int) {
    if (!Finishing) FinishReplay(0);
  });
}

}  // namespace replay
