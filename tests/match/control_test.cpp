// A player's keys: turning, banking, pitching, the camera key and the fire key.
#include <cmath>
#include <vector>

#include "shell/keyboard.h"
#include "shell/pacing.h"
#include "support/match_harness.h"

namespace {

class ControlTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
  }
  void TearDown() override {
    Match.TeardownRound();
    MatchTest::TearDown();
  }
  static void Hold(int p, int role, bool down = true) { KeyState[PlayerKey(p, role)] = down; }
  // Runs ControlPlayer for `frames` frames and returns the change of yaw in each.
  static std::vector<int> YawSteps(int p, int frames) {
    std::vector<int> steps;
    for (int i = 0; i < frames; ++i) {
      const int before = Match.yaw[p];
      Match.ControlPlayer(p);
      steps.push_back(Match.yaw[p] - before);
    }
    return steps;
  }
};

TEST_F(ControlTest, BankAndPitchStopAt48) {
  Match.y[0] = 10;
  Hold(0, RoleRight);
  Hold(0, RoleUp);
  std::vector<int> banks, pitches;
  for (int i = 0; i < 10; ++i) {
    Match.ControlPlayer(0);
    banks.push_back(Match.bank[0]);
    pitches.push_back(Match.pitch[0]);
  }
  EXPECT_EQ(banks, (std::vector<int>{6, 12, 18, 24, 30, 36, 42, 48, 48, 48}));
  EXPECT_EQ(pitches, (std::vector<int>{6, 12, 18, 24, 30, 36, 42, 48, 48, 48}));

  Hold(1, RoleLeft);
  Hold(1, RoleDown);
  for (int i = 0; i < 10; ++i) Match.ControlPlayer(1);
  EXPECT_EQ(Match.bank[1], -48);
  EXPECT_EQ(Match.pitch[1], -48);
}

// The drift of each bank, from a bank one step further out that returns to it unsteered.
TEST_F(ControlTest, BankDriftTable) {
  const int expected[17] = {-2, -2, -2, -1, -1, -1, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2};
  for (int i = 0; i < 17; ++i) {
    const int bank = -48 + 6 * i;
    Match.bank[0] = bank + (bank > 0 ? 6 : bank < 0 ? -6 : 0);
    Match.yaw[0] = 100;
    Match.ControlPlayer(0);
    ASSERT_EQ(Match.bank[0], bank);
    EXPECT_EQ(Match.yaw[0] - 100, expected[i]) << "bank " << bank;
  }
}

TEST_F(ControlTest, HeldTurnFromLevelFlightAndItsRunOut) {
  Hold(0, RoleRight);
  std::vector<int> steps = YawSteps(0, 9);
  EXPECT_EQ(steps, (std::vector<int>{1, 1, 2, 2, 2, 3, 3, 3, 3}));
  Hold(0, RoleRight, false);
  steps = YawSteps(0, 9);
  EXPECT_EQ(steps, (std::vector<int>{2, 2, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Match.bank[0], 0);

  // Full grip turns left by 11 a frame plus the drift.
  Match.grip[1] = 10;
  Hold(1, RoleLeft);
  steps = YawSteps(1, 6);
  EXPECT_EQ(steps, (std::vector<int>{-11, -11, -12, -12, -12, -13}));
}

// Both turn keys cancel the heading change and the bank change but still count as turning, so the
// bank does not return toward 0.
TEST_F(ControlTest, BothTurnKeysTogether) {
  Match.bank[0] = 24;
  Hold(0, RoleLeft);
  Hold(0, RoleRight);
  const std::vector<int> steps = YawSteps(0, 3);
  EXPECT_EQ(steps, (std::vector<int>{1, 1, 1}));  // the drift of bank 24 alone
  EXPECT_EQ(Match.bank[0], 24);
}

TEST_F(ControlTest, DiveIgnoredOnTheGround) {
  Match.pitch[0] = 12;
  Hold(0, RoleUp);
  Match.ControlPlayer(0);
  EXPECT_EQ(Match.pitch[0], 6);
  Match.FlyPlayer(0);
  EXPECT_EQ(Match.y[0], 0);
  Match.ControlPlayer(0);
  EXPECT_EQ(Match.pitch[0], 0);
  Match.ControlPlayer(0);
  EXPECT_EQ(Match.pitch[0], 0);
  // Dive and climb together on the ground: only the climb acts.
  Hold(0, RoleDown);
  Match.ControlPlayer(0);
  EXPECT_EQ(Match.pitch[0], -6);
}

// The craft is drawn with heading yaw + bank, pitched and rolled; the shadow only turned.
TEST_F(ControlTest, CraftDrawnIntoTheTurn) {
  Match.y[0] = 5;
  Match.yaw[0] = 90;
  Hold(0, RoleRight);
  Hold(0, RoleUp);
  for (int i = 0; i < 5; ++i) Match.ControlPlayer(0);
  ASSERT_EQ(Match.bank[0], 30);
  ASSERT_EQ(Match.pitch[0], 30);
  ASSERT_EQ(Match.yaw[0], 98);
  const double h = 128 * 3.1415926535 / 180, e = 30 * 3.1415926535 / 180;
  const D3DVECTOR forward = SceneForward(Match.craftFrame[0]);
  EXPECT_NEAR(forward.x, std::cos(e) * std::sin(h), 1e-5);
  EXPECT_NEAR(forward.y, -std::sin(e), 1e-5);
  EXPECT_NEAR(forward.z, std::cos(e) * std::cos(h), 1e-5);
  const D3DVECTOR shadow = SceneForward(Match.shadowFrame[0]);
  EXPECT_NEAR(shadow.x, std::sin(h), 1e-5);
  EXPECT_NEAR(shadow.y, 0, 1e-5);
  EXPECT_NEAR(shadow.z, std::cos(h), 1e-5);
  // Rolled by -bank: the craft's up leans into the turn (toward +x of its own right side).
  const D3DVECTOR up = SceneUp(Match.craftFrame[0]);
  EXPECT_GT(up.x * std::cos(h) - up.z * std::sin(h), 0.4);
}

TEST_F(ControlTest, CameraKeyOncePerKeyDownAndNeverWhenDestroyed) {
  const UINT key = PlayerKey(0, RoleCamera);
  for (int press = 1; press <= 7; ++press) {
    // Two key-down messages (a press and an auto-repeat) pumped before one frame act once.
    HeadlessControl::KeyDown(key);
    HeadlessControl::KeyDown(key);
    WaitFrame(0);
    Match.ControlPlayer(0);
    EXPECT_EQ(Match.cameraMode[0], press % 6);
    EXPECT_EQ(KeyState[key], 0);
    Match.ControlPlayer(0);
    EXPECT_EQ(Match.cameraMode[0], press % 6);
  }

  Match.HitPlayer(1, 10);
  Match.bank[1] = 12;
  for (int role : {RoleUp, RoleDown, RoleLeft, RoleRight, RoleFire, RoleCamera}) Hold(1, role);
  FrameParity = 1;
  Match.ControlPlayer(1);
  EXPECT_EQ(Match.cameraMode[1], 0);
  EXPECT_EQ(KeyState[PlayerKey(1, RoleCamera)], 1);  // not even consumed
  EXPECT_EQ(Match.yaw[1], 180);
  EXPECT_EQ(Match.bank[1], 12);
  EXPECT_EQ(Match.pitch[1], 0);
  for (const Bullet& bullet : Match.bullets) EXPECT_EQ(bullet.active, 0);
}

// Fire fires in frames of parity 1, before the frame's steering: from the previous angles.
TEST_F(ControlTest, FireOnlyInOddFramesBeforeSteering) {
  Hold(0, RoleFire);
  Hold(0, RoleRight);
  FrameParity = 0;
  Match.ControlPlayer(0);
  EXPECT_EQ(Match.bullets[0].active, 0);
  const int yawBefore = Match.yaw[0], bankBefore = Match.bank[0];
  FrameParity = 1;
  Match.ControlPlayer(0);
  ASSERT_EQ(Match.bullets[0].active, 1);
  EXPECT_EQ(Match.bullets[1].active, 0);
  EXPECT_EQ(Match.bullets[0].yaw, yawBefore + bankBefore);
  EXPECT_NE(Match.yaw[0] + Match.bank[0], yawBefore + bankBefore);
  EXPECT_EQ(KeyState[PlayerKey(0, RoleFire)], 1);  // held, not consumed
}

}  // namespace
