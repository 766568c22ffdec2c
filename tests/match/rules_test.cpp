// The rules a player notices, played on the step of the match alone: what each item does, how a
// round ends and what each half of the screen then says, the camera key.
#include <cmath>
#include <string>
#include <vector>

#include "shell/keyboard.h"
#include "support/headless.h"

namespace {

void Hold(int player, int role, bool down = true) {
  KeyState[PlayerKey(player, role)] = down ? 1 : 0;
}

// The overlay's pixels of one half of the screen.
std::vector<uint32_t> OverlayHalf(int p) {
  const IDirectDrawSurface* s = Renderer.overlaySurface;
  std::vector<uint32_t> half;
  for (int y = 0; y < 240; ++y) {
    const auto row = s->pixels.begin() + y * s->pitch + 160 * p;
    half.insert(half.end(), row, row + 160);
  }
  return half;
}

// Which of the three results stands on each half of the overlay, by drawing each in its place.
std::vector<std::string> ResultsShown() {
  std::vector<std::string> found(2, "none");
  const std::vector<uint32_t> shown[2] = {OverlayHalf(0), OverlayHalf(1)};
  for (int p = 0; p < 2; ++p)
    for (const char* text : {"WIN!", "LOSE", "DRAW"}) {
      Overlay.Clear();
      Overlay.DrawStyledText(-1, -1, 80 + 160 * p, 120, text, 40, 0, 800, 3, 0xFFFFFF, 0,
                             StyledFace, 128, 0);
      if (OverlayHalf(p) == shown[p]) found[p] = text;
    }
  return found;
}

class RulesTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
  }
  void TearDown() override {
    if (Match.groundFrame) Match.TeardownRound();
    MatchTest::TearDown();
  }

  static Match::FrameOutcome Step() {
    const Match::FrameOutcome outcome = Match.Step();
    Match.soundCount = 0;
    return outcome;
  }

  // The item of that kind where the player is: the next step collects it.
  static void CollectNext(int player, int kind) {
    Match.itemActive = 1;
    Match.itemType = kind;
    Match.itemX = Match.x[player];
    Match.itemY = Match.y[player];
    Match.itemZ = Match.z[player];
  }

  // Bullets of one volley of the player's (fired in a frame whose parity turns to 1).
  static int Volley(int player) {
    auto flying = [player] {
      int n = 0;
      for (const Bullet& b : Match.bullets) n += b.active && b.owner == player;
      return n;
    };
    const int before = flying();
    Hold(player, RoleFire);
    FrameParity = 0;
    Step();
    Hold(player, RoleFire, false);
    return flying() - before;
  }

  // Both craft still, at the height of 5, `gap` apart on the z axis and facing each other.
  static void FaceToFace(float gap) {
    for (int p = 0; p < 2; ++p) {
      Match.speed[p] = 0;
      Match.x[p] = 0;
      Match.y[p] = 5;
      Match.z[p] = p == 0 ? -gap / 2 : gap / 2;
      Match.yaw[p] = p == 0 ? 0 : 180;
    }
  }
};

TEST_F(RulesTest, EachItemChangesSpeedVolleyOrGripForItsCollectorOnly) {
  CollectNext(0, ItemSpeed);
  const float z0 = Match.z[0], z1 = Match.z[1];
  Step();
  EXPECT_FLOAT_EQ(Match.speed[0], 0.22f);
  EXPECT_NEAR(Match.z[0] - z0, 0.22f, 1e-5) << "flies faster in the frame it collects";
  EXPECT_NEAR(z1 - Match.z[1], 0.2f, 1e-5);

  // Power widens the volley by a bullet per item, up to four.
  std::vector<int> widths = {Volley(1)};
  for (int item = 0; item < 4; ++item) {
    CollectNext(1, ItemPower);
    Step();
    widths.push_back(Volley(1));
  }
  EXPECT_EQ(widths, (std::vector<int>{1, 2, 3, 4, 4}));
  EXPECT_EQ(Volley(0), 1);

  // Grip: one degree more of turn per frame for each item, ten at most.
  auto turnOfTenFrames = [](int player) {
    Match.bank[player] = 0;
    const int32_t yaw = Match.yaw[player];
    Hold(player, RoleLeft);
    for (int frame = 0; frame < 10; ++frame) Step();
    Hold(player, RoleLeft, false);
    return yaw - Match.yaw[player];
  };
  const int plain = turnOfTenFrames(0);
  CollectNext(0, ItemGrip);
  Step();
  EXPECT_EQ(turnOfTenFrames(0), plain + 10);
  for (int item = 0; item < 12; ++item) {
    CollectNext(0, ItemGrip);
    Step();
  }
  EXPECT_EQ(Match.grip[0], 10);
  EXPECT_EQ(turnOfTenFrames(0), plain + 100);
}

TEST_F(RulesTest, TenHitsEndTheRound51FramesLaterWithWinAndLoseOrADrawWhenBothGoInOneFrame) {
  for (const bool both : {false, true}) {
    Match.TeardownRound();
    Match.SetupRound();
    FaceToFace(6);
    Hold(0, RoleFire);
    Hold(1, RoleFire, both);
    if (both) Match.life[0] = Match.life[1] = 3;
    std::vector<int32_t> lives = {Match.life[1]};
    for (int frame = 0; frame < 100 && Match.life[1] > 0; ++frame) {
      ASSERT_EQ(Step(), Match::FrameOutcome::Continue);
      if (lives.back() != Match.life[1]) lives.push_back(Match.life[1]);
    }
    EXPECT_EQ(lives, both ? (std::vector<int32_t>{3, 2, 1, 0})
                          : (std::vector<int32_t>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(Match.life[0], both ? 0 : 10);
    for (int frame = 1; frame <= 50; ++frame)
      ASSERT_EQ(Step(), Match::FrameOutcome::Continue) << frame << " frames after the last hit";
    ASSERT_EQ(Step(), Match::FrameOutcome::RoundOver);
    Match.ShowResult();
    EXPECT_EQ(ResultsShown(), both ? (std::vector<std::string>{"DRAW", "DRAW"})
                                   : (std::vector<std::string>{"WIN!", "LOSE"}));
  }
}

TEST_F(RulesTest, EachPressOfTheCameraKeyGoesOnToTheNextOfSixViews) {
  std::vector<int32_t> modes;
  for (int press = 0; press < 7; ++press) {
    Hold(1, RoleCamera);
    Step();
    EXPECT_EQ(KeyState[PlayerKey(1, RoleCamera)], 0) << "the press is used up";
    Step();  // no new press: the view stays
    modes.push_back(Match.cameraMode[1]);
  }
  EXPECT_EQ(modes, (std::vector<int32_t>{1, 2, 3, 4, 5, 0, 1}));
  EXPECT_EQ(Match.cameraMode[0], 0);
}

// A craft crossing an edge of the arena is drawn once beyond it and flies on two units inside
// the opposite edge.
TEST_F(RulesTest, ACraftCrossingAnEdgeComesBackTwoUnitsInsideTheOtherOne) {
  for (int yaw : {0, 90, 180, 270}) {
    FaceToFace(6);
    const float ahead[2] = {std::round(std::sin(yaw * 3.14159f / 180)),
                            std::round(std::cos(yaw * 3.14159f / 180))};
    Match.speed[0] = 0.2f;
    Match.yaw[0] = yaw;
    Match.x[0] = 39.9f * ahead[0];
    Match.z[0] = 39.9f * ahead[1];
    Step();
    EXPECT_NEAR(Match.x[0], -38 * ahead[0], 1e-4) << yaw;
    EXPECT_NEAR(Match.z[0], -38 * ahead[1], 1e-4) << yaw;
    EXPECT_NEAR(Match.drawnX[0] * ahead[0] + Match.drawnZ[0] * ahead[1], 40.1f, 1e-4) << yaw;
  }
}

}  // namespace
