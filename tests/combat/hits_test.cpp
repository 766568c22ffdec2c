// Hits, damage, destruction and the debris of a destroyed craft.
#include <cmath>
#include <string>
#include <vector>

#include "shell/keyboard.h"
#include "support/match_harness.h"

namespace {

class HitTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
  }
  void TearDown() override {
    if (Match.groundFrame) Match.TeardownRound();
    MatchTest::TearDown();
  }
  // A bullet of `owner` standing still at (x, y, z).
  static int PlaceBullet(int owner, float x, float y, float z) {
    int i = 0;
    while (Match.bullets[i].active) ++i;
    Match.SpawnBullet(owner, 0, 0, 0, 0);
    Bullet& bullet = Match.bullets[i];
    bullet.x = x;
    bullet.y = y;
    bullet.z = z;
    bullet.vx = bullet.vy = bullet.vz = 0;
    return i;
  }
};

// The hit region is a diamond of radius 1, compared strictly; a bullet passes its own craft.
TEST_F(HitTest, ManhattanThreshold) {
  Match.x[1] = 2;
  Match.y[1] = 5;
  Match.z[1] = 3;
  int miss = PlaceBullet(0, 2.5f, 5.25f, 3.25f);  // exactly 1.0
  EXPECT_FALSE(Match.TestBulletHit(miss));
  Match.UpdateBullets();
  EXPECT_EQ(Match.bullets[miss].active, 1);
  EXPECT_EQ(Match.life[1], 10);
  Match.RemoveBullet(miss);

  int own = PlaceBullet(1, 2, 5, 3);
  Match.UpdateBullets();
  EXPECT_EQ(Match.bullets[own].active, 1);
  EXPECT_EQ(Match.life[1], 10);
  Match.RemoveBullet(own);

  const int hit = PlaceBullet(0, 2.5f, 5.25f, 3.249f);  // 0.999
  Match.UpdateBullets();
  EXPECT_EQ(Match.bullets[hit].active, 0);
  EXPECT_FALSE(InScene(Match.bullets[hit].frame));
  EXPECT_EQ(Match.life[1], 9);
  EXPECT_EQ(Match.hitShake[1], 20);
}

// Nine hits shake the craft and leave one life; the tenth destroys it into 50 pieces where it was.
TEST_F(HitTest, TenHitsAndTheLethalOne) {
  Match.x[0] = 4;
  Match.y[0] = 6;
  Match.z[0] = -8;
  for (int hit = 1; hit <= 9; ++hit) {
    Match.hitShake[0] = 5;
    Match.HitPlayer(0, 1);
    EXPECT_EQ(Match.life[0], 10 - hit);
    EXPECT_EQ(Match.hitShake[0], 20);
  }
  const long live = RefCounted::LiveObjectCount();
  // Held by the test as well, to see the craft's frame leave the scene and the Match let go of it.
  FrameHandle craft = Match.craftFrame[0];
  craft->AddRef();
  Match.hitShake[0] = 7;
  Match.deathTimer[0] = 33;
  Match.HitPlayer(0, 1);
  EXPECT_EQ(Match.life[0], 0);
  EXPECT_EQ(Match.hitShake[0], 7);
  EXPECT_EQ(Match.deathTimer[0], 0);
  EXPECT_EQ(Match.craftFrame[0], nullptr);
  EXPECT_EQ(Match.shadowFrame[0], nullptr);
  EXPECT_EQ(craft->parent, nullptr);
  EXPECT_EQ(craft->RefCount(), 1u);
  craft->Release();
  EXPECT_EQ(RefCounted::LiveObjectCount(), live - 2 + DebrisCount);
  for (const Debris& piece : Match.debris[0]) {
    ASSERT_TRUE(InScene(piece.frame));
    if (Match.debrisModel) {
      ASSERT_EQ(piece.frame->visuals.size(), 1u);
      EXPECT_EQ(piece.frame->visuals[0], Match.debrisModel);
    }
    // Placed at the craft at once, not at the centre of the arena.
    const D3DVECTOR at = ScenePosition(piece.frame);
    EXPECT_NEAR(at.x, 4, 1e-6);
    EXPECT_NEAR(at.y, 6, 1e-6);
    EXPECT_NEAR(at.z, -8, 1e-6);
  }
  EXPECT_EQ(SceneChildren().size(), 7u - 2u + DebrisCount);

  // A destroyed craft takes no more hits, and a bullet reaching its position is still used up.
  Match.HitPlayer(0, 1);
  EXPECT_EQ(Match.life[0], 0);
  EXPECT_EQ(RefCounted::LiveObjectCount(), live - 2 + DebrisCount);
  const int bullet = PlaceBullet(1, 4, 6, -8);
  Match.UpdateBullets();
  EXPECT_EQ(Match.bullets[bullet].active, 0);
  EXPECT_EQ(Match.life[0], 0);
  EXPECT_EQ(Match.deathTimer[0], 0);

  // Damage beyond the remaining life stops at zero.
  Match.life[1] = 2;
  Match.HitPlayer(1, 5);
  EXPECT_EQ(Match.life[1], 0);

  // Teardown releases the debris instead of the craft.
  Match.TeardownRound();
  for (const Debris& piece : Match.debris[0]) EXPECT_EQ(piece.frame, nullptr);
}

// With a fixed random sequence, each piece draws spin x, y, z, theta, |vx|, |vz|, phi, |vy|.
TEST_F(HitTest, DebrisDrawOrder) {
  std::vector<int32_t> draws = {10, -20, 30, 90, 50, 100, 270, 20};
  draws.insert(draws.end(), {-90, 90, 0, 0, 100, 10, 90, 100});
  FixedRandom random(draws);
  Match.x[1] = 1;
  Match.y[1] = 2;
  Match.z[1] = 3;
  Match.HitPlayer(1, 10);

  const std::vector<FixedRandom::Call>& calls = random.Calls();
  ASSERT_EQ(calls.size(), 8u * DebrisCount);
  const FixedRandom::Call bounds[8] = {{-90, 90}, {-90, 90}, {-90, 90}, {0, 360},
                                       {10, 100}, {10, 100}, {0, 360},  {10, 100}};
  for (size_t i = 0; i < calls.size(); ++i) {
    ASSERT_EQ(calls[i].lo, bounds[i % 8].lo) << i;
    ASSERT_EQ(calls[i].hi, bounds[i % 8].hi) << i;
  }
  const Debris& piece = Match.debris[1][0];
  EXPECT_EQ(piece.spinX, 10);
  EXPECT_EQ(piece.spinY, -20);
  EXPECT_EQ(piece.spinZ, 30);
  EXPECT_FLOAT_EQ(piece.vx, 0.1f);
  EXPECT_NEAR(piece.vz, 0, 1e-9);
  EXPECT_NE(piece.vz, 0);  // 100 x cos 90 degrees with this pi is of the order of 1e-11
  EXPECT_FLOAT_EQ(piece.vy, 0.04f);
  const Debris& second = Match.debris[1][1];
  EXPECT_EQ(second.spinX, -90);
  EXPECT_EQ(second.spinY, 90);
  EXPECT_EQ(second.spinZ, 0);
  EXPECT_NEAR(second.vx, 0, 1e-12);
  EXPECT_FLOAT_EQ(second.vz, 0.02f);
  EXPECT_FLOAT_EQ(second.vy, -0.2f);

  Match.UpdateDebris(1);
  EXPECT_EQ(piece.angleX, 10);
  EXPECT_EQ(piece.angleY, -20);
  EXPECT_EQ(piece.angleZ, 30);
  EXPECT_FLOAT_EQ(piece.offsetX, 0.1f);
  EXPECT_FLOAT_EQ(piece.offsetY, 0.04f);
  const D3DVECTOR at = ScenePosition(piece.frame);
  EXPECT_NEAR(at.x, 1.1, 1e-6);
  EXPECT_NEAR(at.y, 2.04, 1e-6);
  EXPECT_NEAR(at.z, 3, 1e-6);
}

// The cloud travels with the destroyed craft's moving position; a living player's old debris
// records are left alone.
TEST_F(HitTest, DebrisFollowsTheDestroyedCraft) {
  Match.debris[0][0].offsetX = 3;
  Match.UpdateDebris(0);
  EXPECT_EQ(Match.debris[0][0].offsetX, 3);

  Match.yaw[1] = 180;
  Match.HitPlayer(1, 10);
  const Debris& piece = Match.debris[1][5];
  for (int frame = 0; frame < 4; ++frame) {
    Match.FlyPlayer(1);
    Match.UpdateDebris(1);
  }
  EXPECT_NEAR(Match.z[1], 35 - 0.8, 1e-5);
  const D3DVECTOR at = ScenePosition(piece.frame);
  EXPECT_NEAR(at.x, Match.x[1] + piece.offsetX, 1e-5);
  EXPECT_NEAR(at.y, Match.y[1] + piece.offsetY, 1e-5);
  EXPECT_NEAR(at.z, Match.z[1] + piece.offsetZ, 1e-5);
  EXPECT_NEAR(piece.offsetX, 4 * piece.vx, 1e-6);
}

// Bullets of a destroyed craft fly on and can still destroy the other: the round is a draw.
TEST_F(HitTest, BulletsOfADestroyedOwnerCanStillWin) {
  Match.TeardownRound();
  std::string results[2];
  FrameScript script([&](int frame, int pump) {
    if (frame == IntroFrames && pump == 0) {
      Match.HitPlayer(0, 10);
      Match.life[1] = 1;
      // Player 0's last bullet, just ahead of player 1, which flies into it.
      PlaceBullet(0, 0, 0, 34);
    }
    if (frame == IntroFrames + 1 && pump == 0) {
      EXPECT_EQ(Match.life[1], 0);
      EXPECT_EQ(Match.deathTimer[1], 0);
    }
    if (Match.deathTimer[0] > 50 && pump == 0) {
      results[0] = ResultOnOverlay(0);
      results[1] = ResultOnOverlay(1);
      HeadlessControl::KeyDown(PlayerKey(0, RoleFire));
    }
    if (frame == IntroFrames + 52 && pump == 0) HeadlessControl::KeyDown(VK_ESCAPE);
  });
  Match.RunMatch();
  EXPECT_EQ(results[0], "DRAW");
  EXPECT_EQ(results[1], "DRAW");
}

}  // namespace
