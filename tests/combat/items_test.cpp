// The power-up item: where it appears, who collects it and what it gives.
#include <cmath>

#include "shell/pacing.h"
#include "support/match_harness.h"

namespace {

class ItemTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
  }
  void TearDown() override {
    Match.TeardownRound();
    MatchTest::TearDown();
  }
  static void PutPlayerAt(int p, float x, float y, float z) {
    Match.x[p] = x;
    Match.y[p] = y;
    Match.z[p] = z;
  }
};

// One spawn draws the type, then x, then z, then the height; the marker lies below on the ground.
TEST_F(ItemTest, SpawnDrawOrderAndPlacement) {
  FixedRandom random({1, -39, 39, 19});
  Match.SpawnItem();
  ASSERT_EQ(random.Calls().size(), 4u);
  const int bounds[4][2] = {{0, 2}, {-39, 39}, {-39, 39}, {1, 19}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(random.Calls()[i].lo, bounds[i][0]);
    EXPECT_EQ(random.Calls()[i].hi, bounds[i][1]);
  }
  EXPECT_EQ(Match.itemType, ItemPower);
  EXPECT_EQ(Match.itemActive, 1);
  EXPECT_EQ(Match.itemX, -39);
  EXPECT_EQ(Match.itemZ, 39);
  EXPECT_EQ(Match.itemY, 19);
  ASSERT_TRUE(InScene(Match.itemFrame));
  ASSERT_TRUE(InScene(Match.itemShadowFrame));
  const D3DVECTOR at = ScenePosition(Match.itemFrame),
                  marker = ScenePosition(Match.itemShadowFrame);
  EXPECT_NEAR(at.y, 19, 1e-6);
  EXPECT_NEAR(marker.y, -0.39, 1e-6);
  for (const D3DVECTOR& v : {at, marker}) {
    EXPECT_NEAR(v.x, -39, 1e-6);
    EXPECT_NEAR(v.z, 39, 1e-6);
  }
  EXPECT_EQ(Match.itemFrame->visuals.at(0), Match.itemModels[ItemPower]);
  EXPECT_EQ(Match.itemShadowFrame->visuals.at(0), Match.itemShadowModel);

  // While the item stands, a spawn draws nothing and makes nothing.
  const long live = RefCounted::LiveObjectCount();
  Match.SpawnItem();
  EXPECT_EQ(random.Calls().size(), 4u);
  EXPECT_EQ(RefCounted::LiveObjectCount(), live);
}

// Items from the real generator: whole numbers in range, every kind appears, and each pickup
// releases both frames.
TEST_F(ItemTest, PositionsAndKindsOverManySpawns) {
  const long live = RefCounted::LiveObjectCount();
  int kinds[3] = {0, 0, 0};
  for (int i = 0; i < 200; ++i) {
    Match.SpawnItem();
    ASSERT_GE(Match.itemType, 0);
    ASSERT_LE(Match.itemType, 2);
    ++kinds[Match.itemType];
    for (float v : {Match.itemX, Match.itemZ}) {
      ASSERT_EQ(v, std::floor(v));
      ASSERT_GE(v, -39);
      ASSERT_LE(v, 39);
    }
    ASSERT_EQ(Match.itemY, std::floor(Match.itemY));
    ASSERT_GE(Match.itemY, 1);
    ASSERT_LE(Match.itemY, 19);
    PutPlayerAt(0, Match.itemX, Match.itemY, Match.itemZ);
    Match.PickUpItem(0);
    ASSERT_EQ(Match.itemActive, 0);
    ASSERT_EQ(Match.itemFrame, nullptr);
    ASSERT_EQ(Match.itemShadowFrame, nullptr);
  }
  for (int kind : kinds) EXPECT_GT(kind, 30);
  EXPECT_EQ(RefCounted::LiveObjectCount(), live);
  EXPECT_EQ(Match.grip[0], 10);             // capped
  EXPECT_EQ(Match.power[0], 1 + kinds[1]);  // not capped here
  EXPECT_NEAR(Match.speed[0], 0.2 + 0.02 * kinds[0], 1e-4);
}

// Collected below a Manhattan distance of 2, not at 2.
TEST_F(ItemTest, PickUpThreshold) {
  FixedRandom random({ItemSpeed, 3, -7, 5});
  Match.SpawnItem();
  PutPlayerAt(1, 3.5f, 5.75f, -7.75f);  // exactly 2.0
  Match.PickUpItem(1);
  EXPECT_EQ(Match.itemActive, 1);
  EXPECT_FLOAT_EQ(Match.speed[1], 0.2f);
  PutPlayerAt(1, 3.5f, 5.75f, -7.749f);  // 1.999
  Match.PickUpItem(1);
  EXPECT_EQ(Match.itemActive, 0);
  EXPECT_FALSE(InScene(Match.itemFrame));
  EXPECT_EQ(Match.speed[1], 0.2f + 0.02f);
}

// With both players in range, player 0 collects in its step; player 1 gets nothing this frame, and
// the replacement appears in the same frame. A destroyed player's position still collects.
TEST_F(ItemTest, BothPlayersInRangeInOneFrame) {
  Match.HitPlayer(1, 10);
  FixedRandom random({ItemGrip, 10, 10, 3, ItemPower, -20, -20, 4, ItemSpeed, 30, 30, 5});
  Match.SpawnItem();
  // Player 0 is collected from where the last frame left it, before this frame's flight takes it
  // out of range.
  PutPlayerAt(0, 10, 3, 11.9f);
  PutPlayerAt(1, 10.5f, 3, 10);
  Match.PlayFrame();
  EXPECT_EQ(Match.grip[0], 1);
  EXPECT_EQ(Match.grip[1], 0);
  EXPECT_EQ(Match.itemActive, 1);
  EXPECT_EQ(Match.itemType, ItemPower);
  EXPECT_EQ(Match.itemX, -20);
  EXPECT_TRUE(InScene(Match.itemFrame));

  // The destroyed player flies on into the next item.
  PutPlayerAt(1, -20, 4, -20);
  Match.PlayFrame();
  EXPECT_EQ(Match.power[1], 2);
  EXPECT_EQ(Match.itemX, 30);
}

// In a frame the item is placed before the bullets move: its draws come before those of a
// destruction in the same frame.
TEST_F(ItemTest, ItemDrawsComeBeforeTheFramesHits) {
  Match.life[1] = 1;
  Match.SpawnBullet(0, 0, 0, 0, 0);
  Bullet& bullet = Match.bullets[0];
  bullet.x = 0;
  bullet.y = 0;
  bullet.z = 34.8f;  // where player 1 flies to in this frame
  bullet.vx = bullet.vy = bullet.vz = 0;
  FixedRandom random({ItemSpeed, 20, 20, 5});
  Match.PlayFrame();
  EXPECT_EQ(Match.life[1], 0);
  ASSERT_EQ(random.Calls().size(), 4u + 8u * DebrisCount);
  EXPECT_EQ(random.Calls()[0].hi, 2);
  EXPECT_EQ(random.Calls()[4].lo, -90);
  EXPECT_EQ(Match.itemX, 20);
}

}  // namespace
