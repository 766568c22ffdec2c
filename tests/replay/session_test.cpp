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
    EXPECT_EQ(line.substr(0, 8), "replay: ");
    EXPECT_EQ(line.substr(line.size() - std::string(c.verdict).size()), c.verdict) << line;
    EXPECT_NE(line.find(" 1 rounds, winners: 1, "), std::string::npos) << line;
  }
}

}  // namespace
