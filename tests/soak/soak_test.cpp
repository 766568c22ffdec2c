// A short soak: the whole program played by seeded random key presses, every frame of play
// checked; and the checks themselves, shown to find what they look for.
#include "soak/soak.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/keyboard.h"
#include "support/headless.h"

namespace {

// Two runs of the program's whole life cycle, with the menu, the config screen and the ways out of
// the program chosen more often than a player would, so that a short run meets all of them.
TEST(SoakTest, ShortRunsKeepEveryInvariant) {
  soak::Report total;
  for (uint64_t seed : {1, 2}) {
    soak::Settings settings;
    settings.seed = seed;
    settings.frames = 2500;
    settings.escape = 1.0 / 600;
    settings.config = 0.4;
    settings.quit = 0.1;
    settings.closeWindow = 1.0 / 3000;
    soak::Report report;
    {
      game::WorkDirectory work;
      report = soak::Run(settings);
    }
    std::printf("seed %llu:\n", static_cast<unsigned long long>(seed));
    soak::Print(report, stdout);
    EXPECT_EQ(report.problems.count, 0) << "seed " << seed;
    EXPECT_EQ(report.framesOfPlay, settings.frames);
    total.runs += report.runs;
    total.matches += report.matches;
    total.results += report.results;
    total.destroyed += report.destroyed;
    total.collected += report.collected;
    total.configVisits += report.configVisits;
    total.quits += report.quits;
  }
  // What the runs went through.
  EXPECT_GE(total.runs, 3);
  EXPECT_GE(total.quits, 2);
  EXPECT_GE(total.matches, 4);
  EXPECT_GE(total.results, 1);
  EXPECT_GE(total.destroyed, 1);
  EXPECT_GE(total.collected, 1);
  EXPECT_GE(total.configVisits, 2);
}

class FrameCheckTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
    KeyState[PlayerKey(0, RoleFire)] = 1;
    for (int i = 0; i < 6; ++i) {
      start.Take();
      Match.PlayFrame();
    }
  }
  void TearDown() override {
    Match.TeardownRound();
    MatchTest::TearDown();
  }
  // The problems found in the state as it is now.
  long Problems() {
    soak::Problems problems;
    soak::CheckFrameOfPlay(start, problems, 1);
    for (const std::string& line : problems.first) std::printf("  found: %s\n", line.c_str());
    return problems.count;
  }
  soak::FrameStart start;
};

TEST_F(FrameCheckTest, FindsWhatIsWrongAfterAFrame) {
  ASSERT_EQ(Problems(), 0);

  // An idle bullet left in the scene.
  int idle = 0;
  while (Match.bullets[idle].active) ++idle;
  Renderer.AddToScene(Match.bullets[idle].frame);
  EXPECT_EQ(Problems(), 2);  // the bullet, and one frame more in the scene than the state gives
  Renderer.RemoveFromScene(Match.bullets[idle].frame);

  // A player out of bounds.
  const float x = Match.x[1], y = Match.y[0];
  Match.x[1] = 40.5f;
  Match.y[0] = -0.25f;
  EXPECT_EQ(Problems(), 2);
  Match.x[1] = x;
  Match.y[0] = y;

  // No item after the frame.
  Match.itemActive = 0;
  EXPECT_EQ(Problems(), 1);
  Match.itemActive = 1;

  // A volley that left the power above 4.
  start.fireHeld[0] = true;
  start.life[0] = 10;
  FrameParity = 1;
  Match.power[0] = 5;
  EXPECT_EQ(Problems(), 1);
  // Unless the power item was collected after it, in the same frame.
  start.itemActive = 1;
  start.itemType = ItemPower;
  start.itemX = start.x[0];
  start.itemY = start.y[0];
  start.itemZ = start.z[0] + 1.5f;
  EXPECT_EQ(Problems(), 0);
  Match.power[0] = 6;
  EXPECT_EQ(Problems(), 1);
  Match.power[0] = 4;
  ASSERT_EQ(Problems(), 0);

  // The frame in which player 1's countdown runs out ends the round after player 0's steps: the
  // item player 0 collected there is not replaced, and that is no fault.
  Match.HitPlayer(1, 10);
  Match.deathTimer[1] = 51;
  Match.x[0] = Match.itemX;
  Match.y[0] = Match.itemY;
  Match.z[0] = Match.itemZ;
  Match.PickUpItem(0);
  ASSERT_EQ(Match.itemActive, 0);
  EXPECT_EQ(Problems(), 0);
  Match.deathTimer[1] = 50;
  EXPECT_EQ(Problems(), 2);  // no item, and two frames fewer in the scene
}

}  // namespace
