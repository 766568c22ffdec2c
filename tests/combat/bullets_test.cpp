// Volleys, the bullet pool, flight of the bullets and the arena box.
#include <cmath>

#include "support/match_harness.h"

namespace {

class BulletTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
  }
  void TearDown() override {
    Match.TeardownRound();
    MatchTest::TearDown();
  }
  static int Flying() {
    int count = 0;
    for (const Bullet& bullet : Match.bullets) count += bullet.active;
    return count;
  }
};

struct Expected {
  float x, z;  // muzzle, for a craft at (0, 5, 0) with heading 0
  int pitch, yaw;
};

// Each level's rows in firing order.
TEST_F(BulletTest, VolleyPatternsInOrder) {
  const Expected levels[4][4] = {
      {{0, 0, 0, 0}},
      {{0.2f, 0, 0, 0}, {-0.2f, 0, 0, 0}},
      {{0.2f, 0, 0, 6}, {0, 0, 0, 0}, {-0.2f, 0, 0, -6}},
      {{0.2f, 0, 0, 0}, {-0.2f, 0, 0, 0}, {0, 0, 6, 0}, {0, 0, -6, 0}},
  };
  Match.y[0] = 5;
  Match.z[0] = 0;
  Match.yaw[0] = 0;
  for (int level = 1; level <= 4; ++level) {
    SCOPED_TRACE(testing::Message() << "power " << level);
    for (Bullet& bullet : Match.bullets) bullet.active = 0;
    Match.power[0] = level;
    Match.FireVolley(0);
    ASSERT_EQ(Flying(), level);
    for (int i = 0; i < level; ++i) {
      const Bullet& bullet = Match.bullets[i];
      const Expected& row = levels[level - 1][i];
      EXPECT_NEAR(bullet.x, row.x, 1e-6);
      EXPECT_FLOAT_EQ(bullet.y, 4.9f);
      EXPECT_NEAR(bullet.z, row.z, 1e-6);
      EXPECT_EQ(bullet.pitch, row.pitch);
      EXPECT_EQ(bullet.yaw, row.yaw);
      EXPECT_EQ(bullet.roll, 0);
      EXPECT_EQ(bullet.owner, 0);
      EXPECT_TRUE(InScene(bullet.frame));
    }
  }
}

// A craft at (0, 5, 0) heading 90 fires a power-3 fan spreading from the centre line.
TEST_F(BulletTest, PowerThreeExample) {
  Match.y[0] = 5;
  Match.z[0] = 0;
  Match.yaw[0] = 90;
  Match.power[0] = 3;
  Match.FireVolley(0);
  const float muzzle[3][3] = {{0, 4.9f, -0.2f}, {0, 4.9f, 0}, {0, 4.9f, 0.2f}};
  const float velocity[3][3] = {{0.7956f, 0, -0.0836f}, {0.8f, 0, 0}, {0.7956f, 0, 0.0836f}};
  for (int i = 0; i < 3; ++i) {
    const Bullet& b = Match.bullets[i];
    EXPECT_NEAR(b.x, muzzle[i][0], 1e-6);
    EXPECT_NEAR(b.y, muzzle[i][1], 1e-6);
    EXPECT_NEAR(b.z, muzzle[i][2], 1e-6);
    EXPECT_NEAR(b.vx, velocity[i][0], 1e-4);
    EXPECT_NEAR(b.vy, velocity[i][1], 1e-6);
    EXPECT_NEAR(b.vz, velocity[i][2], 1e-4);
  }
}

// Bullets leave along the drawn heading (yaw + bank) and the muzzle sits beside it.
TEST_F(BulletTest, BankedCraftFiresAlongItsDrawnHeading) {
  Match.yaw[1] = 180;
  Match.bank[1] = -30;
  Match.pitch[1] = 48;
  Match.power[1] = 4;
  Match.y[1] = 3;
  Match.FireVolley(1);
  EXPECT_EQ(Match.bullets[0].yaw, 150);
  EXPECT_NEAR(Match.bullets[0].x, -0.17320508, 1e-6);  // 0.2 beside, at 240 degrees
  EXPECT_NEAR(Match.bullets[0].z, 34.9, 1e-5);
  // The steepest dive sends the +6 bullet 54 degrees down, 1.2 x sin 54 per frame.
  EXPECT_EQ(Match.bullets[2].pitch, 54);
  EXPECT_NEAR(Match.bullets[2].vy, -0.9708, 1e-4);
  EXPECT_NEAR(std::hypot(Match.bullets[2].vx, Match.bullets[2].vz), 0.8, 1e-6);
  EXPECT_EQ(Match.bullets[3].pitch, 42);
  EXPECT_EQ(Match.bullets[0].owner, 1);
}

// With exactly two idle slots a power-3 volley fires its first two rows, the lower slot first.
TEST_F(BulletTest, PartialVolleyAndFullPool) {
  for (Bullet& bullet : Match.bullets) bullet.active = 1;
  Match.bullets[150].active = 0;
  Match.bullets[3].active = 0;
  Match.power[0] = 3;
  Match.FireVolley(0);
  EXPECT_EQ(Flying(), BulletCount);
  EXPECT_EQ(Match.bullets[3].yaw, 6);
  EXPECT_NEAR(Match.bullets[3].x, 0.2, 1e-6);
  EXPECT_EQ(Match.bullets[150].yaw, 0);
  EXPECT_NEAR(Match.bullets[150].x, 0, 1e-6);
  EXPECT_TRUE(InScene(Match.bullets[3].frame));
  EXPECT_TRUE(InScene(Match.bullets[150].frame));

  // A full pool: nothing fires, nothing changes.
  const long live = RefCounted::LiveObjectCount();
  Match.bullets[7].yaw = 77;
  Match.power[1] = 4;
  Match.FireVolley(1);
  EXPECT_EQ(Match.bullets[7].yaw, 77);
  EXPECT_EQ(RefCounted::LiveObjectCount(), live);
  EXPECT_EQ(SceneChildren().size(), 7u + 2u);  // the two bullets really attached above
}

TEST_F(BulletTest, PowerCapWrittenBackByTheNextVolley) {
  Match.power[0] = 6;
  Match.FireVolley(0);
  EXPECT_EQ(Match.power[0], 4);
  EXPECT_EQ(Flying(), 4);
  EXPECT_EQ(Match.bullets[2].pitch, 6);
}

// A new bullet moves once and is placed in the frame it is fired, drawn with roll 0, then 30.
TEST_F(BulletTest, FlightPlacementAndSpin) {
  const long live = RefCounted::LiveObjectCount();
  Match.y[0] = 2;
  Match.FireVolley(0);
  Match.UpdateBullets();
  const Bullet& bullet = Match.bullets[0];
  EXPECT_FLOAT_EQ(bullet.z, -35 + 0.8f);
  D3DVECTOR at = ScenePosition(bullet.frame);
  EXPECT_NEAR(at.x, 0, 1e-6);
  EXPECT_NEAR(at.y, 1.9, 1e-6);
  EXPECT_NEAR(at.z, -34.2, 1e-5);
  EXPECT_NEAR(SceneUp(bullet.frame).x, 0, 1e-6);
  EXPECT_EQ(bullet.roll, 30);
  Match.UpdateBullets();
  EXPECT_NEAR(ScenePosition(bullet.frame).z, -33.4, 1e-5);
  // Drawn rolled by 30 degrees about its own axis.
  EXPECT_NEAR(SceneUp(bullet.frame).x, -0.5, 1e-5);
  EXPECT_EQ(bullet.roll, 60);
  // No frame was made or dropped by firing and flying.
  EXPECT_EQ(RefCounted::LiveObjectCount(), live);
}

// On a face of the box a bullet flies on; a little beyond, it leaves before any hit test, even
// with the other craft right there.
TEST_F(BulletTest, BoxFaces) {
  struct Face {
    float x, y, z, vx, vy, vz;
  };
  const Face faces[] = {
      {39.5f, 5, 0, 0.5f, 0, 0},   {-39.5f, 5, 0, -0.5f, 0, 0}, {0, 5, 39.5f, 0, 0, 0.5f},
      {0, 5, -39.5f, 0, 0, -0.5f}, {0, 19.5f, 0, 0, 0.5f, 0},   {0, -0.5f, 0, 0, -0.5f, 0},
  };
  for (const Face& face : faces) {
    for (const float beyond : {0.0f, 0.25f}) {
      SCOPED_TRACE(testing::Message()
                   << face.x << " " << face.y << " " << face.z << " +" << beyond);
      Match.SpawnBullet(0, 0, 0, 0, 0);
      Bullet& bullet = Match.bullets[0];
      bullet.x = face.x;
      bullet.y = face.y;
      bullet.z = face.z;
      const float step = 0.5f + beyond;
      bullet.vx = face.vx / 0.5f * step;
      bullet.vy = face.vy / 0.5f * step;
      bullet.vz = face.vz / 0.5f * step;
      // The target stands where the bullet ends up.
      Match.x[1] = face.x + bullet.vx;
      Match.y[1] = face.y + bullet.vy;
      Match.z[1] = face.z + bullet.vz;
      Match.life[1] = 10;
      const bool stays = beyond == 0;
      if (stays) Match.x[1] += 5;  // out of reach, so that the bullet is not taken by a hit
      Match.UpdateBullets();
      EXPECT_EQ(bullet.active, stays ? 1 : 0);
      EXPECT_EQ(InScene(bullet.frame), stays);
      EXPECT_EQ(Match.life[1], 10);
      Match.RemoveBullet(0);
    }
  }
}

}  // namespace
