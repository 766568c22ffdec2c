// Flight, the shake after a hit, the random generator, and the cameras.
#include <cmath>
#include <vector>

#include "support/match_harness.h"

namespace {

class FlightTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    Match.SetupRound();
  }
  void TearDown() override {
    Match.TeardownRound();
    MatchTest::TearDown();
  }
};

void ExpectNear(D3DVECTOR v, double x, double y, double z, double tolerance = 1e-4) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

// The generator of the C runtime the game was made with: seeded with 1 it gives this sequence.
TEST(RandomIntTest, RuntimeSequenceAndRanges) {
  SeedRandom(1);
  std::vector<int> values;
  for (int i = 0; i < 5; ++i) values.push_back(RandomInt(0, 32767));
  EXPECT_EQ(values, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  SeedRandom(1);
  EXPECT_EQ(RandomInt(-5, 5), -5 + 41 % 11);
  EXPECT_EQ(RandomInt(10, 100), 10 + 18467 % 91);
  SeedRandom(1);
  for (int i = 0; i < 1000; ++i) {
    const int value = RandomInt(-3, 3);
    ASSERT_GE(value, -3);
    ASSERT_LE(value, 3);
  }
  EXPECT_EQ(RandomInt(7, 7), 7);
}

TEST_F(FlightTest, StepAlongHeadingAndPitch) {
  Match.x[0] = 1;
  Match.y[0] = 5;
  Match.z[0] = 2;
  Match.yaw[0] = 90;
  Match.pitch[0] = 30;
  Match.FlyPlayer(0);
  // A full ground step whatever the pitch; the height falls by sin 30 x 0.2.
  EXPECT_FLOAT_EQ(Match.x[0], 1.2f);
  EXPECT_NEAR(Match.z[0], 2, 1e-6);
  EXPECT_FLOAT_EQ(Match.y[0], 4.9f);
  ExpectNear(ScenePosition(Match.craftFrame[0]), 1.2, 4.9, 2);
  ExpectNear(ScenePosition(Match.shadowFrame[0]), 1.2, -0.39, 2);
}

TEST_F(FlightTest, WrapAfterBeingDrawnOnceBeyondTheEdge) {
  Match.x[0] = 39.9f;
  Match.yaw[0] = 90;
  Match.FlyPlayer(0);
  EXPECT_NEAR(ScenePosition(Match.craftFrame[0]).x, 40.1, 1e-4);
  EXPECT_EQ(Match.x[0], -38);
  Match.FlyPlayer(0);
  EXPECT_NEAR(ScenePosition(Match.craftFrame[0]).x, -37.8, 1e-4);

  // The other three edges.
  Match.x[1] = -39.9f;
  Match.z[1] = 0;
  Match.yaw[1] = -90;
  Match.FlyPlayer(1);
  EXPECT_EQ(Match.x[1], 38);
  Match.x[1] = 0;
  Match.z[1] = 39.9f;
  Match.yaw[1] = 0;
  Match.FlyPlayer(1);
  EXPECT_EQ(Match.z[1], -38);
  Match.z[1] = -39.9f;
  Match.yaw[1] = 180;
  Match.FlyPlayer(1);
  EXPECT_EQ(Match.z[1], 38);

  // Flying exactly along an edge does not wrap.
  Match.x[0] = 40;
  Match.z[0] = 0;
  Match.yaw[0] = 0;
  Match.FlyPlayer(0);
  EXPECT_EQ(Match.x[0], 40);
  Match.x[0] = -40;
  Match.FlyPlayer(0);
  EXPECT_EQ(Match.x[0], -40);
}

TEST_F(FlightTest, HeightStaysBetweenGroundAndCeiling) {
  Match.y[0] = 0.1f;
  Match.pitch[0] = 48;
  Match.yaw[0] = 0;
  const float z = Match.z[0];
  Match.FlyPlayer(0);
  EXPECT_EQ(Match.y[0], 0);
  EXPECT_FLOAT_EQ(Match.z[0], z + 0.2f);  // full ground speed on the ground
  Match.y[0] = 18.9f;
  Match.pitch[0] = -48;
  Match.FlyPlayer(0);
  EXPECT_EQ(Match.y[0], 19);
}

// A shake of 20 lasts seven frames with three draws each, bounded by the new amplitude; it moves
// only the drawn craft and its shadow, never the craft's real position.
TEST_F(FlightTest, ShakeDrawsThreeTimesForSevenFrames) {
  Match.x[0] = 5;
  Match.y[0] = 5;
  Match.z[0] = 5;
  Match.yaw[0] = 0;
  Match.hitShake[0] = 20;
  FixedRandom random({17, -17, 5});
  Match.FlyPlayer(0);
  EXPECT_FLOAT_EQ(Match.z[0], 5.2f);
  EXPECT_EQ(Match.x[0], 5);
  ExpectNear(ScenePosition(Match.craftFrame[0]), 5.17, 4.83, 5.25);
  ExpectNear(ScenePosition(Match.shadowFrame[0]), 5.17, -0.39, 5.25);
  for (int i = 0; i < 8; ++i) Match.FlyPlayer(0);
  EXPECT_EQ(Match.hitShake[0], 0);

  const int bounds[7] = {17, 14, 11, 8, 5, 2, 0};
  ASSERT_EQ(random.Calls().size(), 21u);
  for (int i = 0; i < 21; ++i) {
    EXPECT_EQ(random.Calls()[i].lo, -bounds[i / 3]);
    EXPECT_EQ(random.Calls()[i].hi, bounds[i / 3]);
  }
}

TEST_F(FlightTest, DestroyedCraftFliesOnUnseen) {
  Match.yaw[1] = 180;
  Match.HitPlayer(1, 10);
  const float z = Match.z[1];
  for (int i = 0; i < 3; ++i) Match.FlyPlayer(1);
  EXPECT_NEAR(Match.z[1], z - 0.6f, 1e-5);
  Match.PlaceCamera(1);
  ExpectNear(ScenePosition(Camera(1)), 0, 0.5, Match.z[1] + 3);
}

struct CameraCase {
  int mode;
  int yaw;
  D3DVECTOR position;  // relative to the craft at (1, 2, 3)
  D3DVECTOR forward;
};

TEST_F(FlightTest, CameraOfEachMode) {
  const double s = std::sqrt(0.5);
  const float f = static_cast<float>(s);
  const CameraCase cases[] = {
      {0, 0, {0, 0.5f, -3}, {0, 0, 1}},     {0, 90, {-3, 0.5f, 0}, {1, 0, 0}},
      {0, -3690, {3, 0.5f, 0}, {-1, 0, 0}},  // a large negative heading, the same as 270
      {1, 45, {0, 0.5f, 0}, {f, 0, f}},     {2, 180, {0, 0.5f, 10}, {0, 0, -1}},
      {3, 0, {-5, 0.5f, 0}, {1, 0, 0}},     {3, -450, {0, 0.5f, -5}, {0, 0, 1}},
      {4, 90, {-9, 9, 0}, {f, -f, 0}},      {5, 0, {0, -9, -9}, {0, f, f}},
      {5, 720, {0, -9, -9}, {0, f, f}},
  };
  Match.x[0] = 1;
  Match.y[0] = 2;
  Match.z[0] = 3;
  for (const CameraCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " yaw " << c.yaw);
    Match.cameraMode[0] = c.mode;
    Match.yaw[0] = c.yaw;
    Match.PlaceCamera(0);
    ExpectNear(ScenePosition(Camera(0)), 1 + c.position.x, 2 + c.position.y, 3 + c.position.z);
    ExpectNear(SceneForward(Camera(0)), c.forward.x, c.forward.y, c.forward.z);
    EXPECT_NEAR(SceneUp(Camera(0)).y, c.mode >= 4 ? s : 1, 1e-4);  // never rolled
  }
}

}  // namespace
