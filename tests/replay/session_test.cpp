// A recording played back by the whole program, headless: its verdict line and exit code, and a
// desync named by its round when the recording and the game part ways.
#include "replay/session.h"

#include <gtest/gtest.h>

#include "support/game.h"

namespace {

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
    replay::BeginSession();
    replay::StartReplay(r);
    testing::internal::CaptureStdout();
    const int code = game::Run([] {});
    const std::string line = testing::internal::GetCapturedStdout();
    game::Release();
    SessionSeed.reset();
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

}  // namespace
