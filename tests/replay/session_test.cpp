// A recording played back by the whole program, headless: its verdict line and exit code, and a
// desync named by its round when the recording and the game part ways.
#include "replay/session.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "computer/player.h"
#include "support/game.h"

namespace {

// Plays `recording` back headless in the current directory; its exit code and verdict line.
std::pair<int, std::string> Replay(const replay::Recording& recording) {
  replay::BeginSession();
  replay::StartReplay(recording);
  testing::internal::CaptureStdout();
  const int code = game::Run([] {});
  game::Release();
  SessionSeed.reset();
  return {code, testing::internal::GetCapturedStdout()};
}

TEST(ReplaySessionTest, PlaysARecordingBackAndNamesWhereItPartsWays) {
  replay::Recording recording;
  std::string why;
  ASSERT_TRUE(replay::ReadRecordingFile(game::SourceDir() + "/tests/replays/player1_wins.grec",
                                        &recording, &why))
      << why;
  ASSERT_EQ(recording.rounds.size(), 1u);
  const struct {
    const char* what;
    void (*damage)(replay::Recording&);
    int code;
    const char* verdict;
  } cases[] = {
      {"as recorded", [](replay::Recording&) {}, 0, ": ok\n"},
      {"another hash", [](replay::Recording& r) { r.rounds[0].hash ^= 1; }, 1,
       ": desync at round 1\n"},
      {"a round more", [](replay::Recording& r) { r.rounds.push_back(r.rounds[0]); }, 1,
       ": desync at round 2\n"},
      {"more frames", [](replay::Recording& r) { ++r.frames; }, 1, ": desync after round 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    replay::Recording r = recording;
    c.damage(r);
    game::WorkDirectory work(false, reinterpret_cast<const char*>(r.options));
    const auto [code, line] = Replay(r);
    EXPECT_EQ(code, c.code);
    if (c.code == 0) {
      EXPECT_EQ(replay::SessionTally().rounds.at(0).frames, r.rounds[0].frames);
    }
    EXPECT_EQ(line.substr(0, 8), "replay: ");
    EXPECT_EQ(line.substr(line.size() - std::string(c.verdict).size()), c.verdict) << line;
    EXPECT_NE(line.find(" 1 rounds, winners: 1, "), std::string::npos) << line;
  }
}

// The recorder keeps the keys the menus took, in order, before the end it writes.
TEST(ReplaySessionTest, RecordsTheKeysTheGameTook) {
  game::WorkDirectory work;
  const std::string path = (work.Path() / "session.grec").string();
  replay::BeginSession();
  replay::StartRecording(path);
  game::MenuPlayer player(game::MenuPlayer::Quit());
  EXPECT_EQ(game::Run(std::ref(player)), 1);
  game::Release();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(replay::FinishRecording());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  replay::Recording r;
  std::string why;
  ASSERT_TRUE(replay::ReadRecordingFile(path, &r, &why)) << why;
  ASSERT_GE(r.events.size(), 5u);
  const uint8_t down = PlayerKey(0, RoleDown), fire = PlayerKey(0, RoleFire);
  const std::pair<bool, uint8_t> expected[] = {
      {true, down}, {false, down}, {true, down}, {false, down}, {true, fire}};
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(std::make_pair(r.events[i].down, r.events[i].key), expected[i]) << i;
  EXPECT_LT(r.events.back().wait, r.endWait);
  EXPECT_EQ(r.frames, 0u);
  EXPECT_TRUE(r.rounds.empty());
}

// However a session ends in the middle of a match between two computers, its recording plays back
// to the same end; the replay's scratch settings file is gone afterwards.
TEST(ReplaySessionTest, ASessionEndedAnyWayReplaysAsItWas) {
  const struct {
    const char* what;
    void (*end)();
  } endings[] = {
      {"right click", [] { HeadlessControl::Post(WM_RBUTTONDOWN, 0); }},
      {"window closed", [] { HeadlessControl::Post(WM_CLOSE, 0); }},
      {"Pause", [] { HeadlessControl::KeyDown(VK_PAUSE); }},
      {"SIGTERM", [] { std::raise(SIGTERM); }},
  };
  game::WorkDirectory work;
  const char* tmp = std::getenv("TMPDIR");
  const std::string oldTmp = tmp ? tmp : "";
  setenv("TMPDIR", work.Path().c_str(), 1);
  const std::string path = (work.Path() / "session.grec").string();
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.what);
    replay::BeginSession();
    computer::SetPlayer(0, true, computer::Level::Hard, 3);
    computer::SetPlayer(1, true, computer::Level::Normal, 4);
    ASSERT_TRUE(replay::StartRecording(path));
    // START on the title menu, then the end in the middle of the first round.
    uint64_t acted = 0;
    auto pump = [&] {
      if (WaitCount > acted && (WaitCount == 102 || WaitCount == 104)) {
        HeadlessControl::Post(WaitCount == 102 ? WM_KEYDOWN : WM_KEYUP, PlayerKey(0, RoleFire));
        acted = WaitCount;
      }
      if (replay::SessionTally().frames == 120 && acted < UINT64_MAX) {
        acted = UINT64_MAX;
        ending.end();
      }
    };
    EXPECT_EQ(game::Run(pump), 1);
    game::Release();
    computer::Reset();
    ASSERT_TRUE(replay::FinishRecording());
    replay::Recording recording;
    ASSERT_TRUE(replay::ReadRecordingFile(path, &recording, nullptr));
    EXPECT_GE(recording.frames, 120u);
    const auto [code, line] = Replay(recording);
    EXPECT_EQ(code, 0) << line;
    EXPECT_NE(line.find(": ok\n"), std::string::npos) << line;
  }
  tmp ? setenv("TMPDIR", oldTmp.c_str(), 1) : unsetenv("TMPDIR");
  for (const auto& entry : std::filesystem::directory_iterator(work.Path()))
    EXPECT_NE(entry.path().filename().string().rfind("gronka-replay-", 0), 0u) << entry.path();
}

// A recording whose end lies far away ends where nothing more can happen: after its last key event
// once its frames of play are played, or when the game has stopped playing frames.
TEST(ReplaySessionTest, AFarEndIsNotWaitedFor) {
  game::WorkDirectory work;
  replay::Recording nothing;
  nothing.endWait = uint64_t{1} << 40;
  auto [code, line] = Replay(nothing);
  EXPECT_EQ(code, 0);
  EXPECT_NE(line.find(" 0 frames of play, 0 rounds, winners: -, hashes: -: ok\n"),
            std::string::npos)
      << line;
  replay::Recording framesNeverPlayed = nothing;
  framesNeverPlayed.frames = 5;  // but the title menu is never left
  std::tie(code, line) = Replay(framesNeverPlayed);
  EXPECT_EQ(code, 1);
  EXPECT_NE(line.find(": desync after round 0\n"), std::string::npos) << line;
  EXPECT_LT(WaitCount, 2000u);
}

}  // namespace
