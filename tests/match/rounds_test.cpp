// Rounds as RunMatch plays them: set-up, the intro, the end of a round, the result and teardown.
#include <cmath>
#include <string>
#include <vector>

#include "overlay/overlay.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"
#include "support/match_harness.h"

namespace {

class RoundTest : public MatchTest {};

constexpr UINT FireKey0 = 'Z', FireKey1 = VK_LEFT;

void ExpectNear(D3DVECTOR v, float x, float y, float z, float tolerance = 1e-4f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

// Reference counts of every model and of the scene: frames showing a model hold references to it.
std::vector<ULONG> SharedRefs() {
  std::vector<ULONG> refs;
  for (ModelHandle model : {Match.craftModel, Match.groundModel, Match.bulletModel,
                            Match.shadowModel, Match.itemModels[0], Match.itemModels[1],
                            Match.itemModels[2], Match.itemShadowModel, Match.debrisModel})
    refs.push_back(model ? model->RefCount() : 0);
  refs.push_back(Renderer.scene->RefCount());
  return refs;
}

bool HoldsAnyRoundFrame() {
  for (int p = 0; p < 2; ++p) {
    if (Match.craftFrame[p] || Match.shadowFrame[p]) return true;
    for (const Debris& piece : Match.debris[p])
      if (piece.frame) return true;
  }
  for (const Bullet& bullet : Match.bullets)
    if (bullet.frame) return true;
  return Match.groundFrame || Match.itemFrame || Match.itemShadowFrame;
}

TEST_F(RoundTest, SetupPlacesBothCraftFacingEachOther) {
  ASSERT_NE(Match.craftModel, nullptr);  // the real models are there
  FrameParity = 1;
  Match.itemX = 7;
  Match.itemType = ItemGrip;
  Match.life[0] = 0;
  Match.power[1] = 5;
  Match.SetupRound();

  EXPECT_EQ(FrameParity, 1);
  EXPECT_EQ(Match.itemX, 7);
  EXPECT_EQ(Match.itemType, ItemGrip);
  EXPECT_EQ(Match.itemActive, 0);
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(Match.x[p], 0);
    EXPECT_EQ(Match.y[p], 0);
    EXPECT_EQ(Match.z[p], p == 0 ? -35 : 35);
    EXPECT_EQ(Match.yaw[p], p == 0 ? 0 : 180);
    EXPECT_FLOAT_EQ(Match.speed[p], 0.2f);
    EXPECT_EQ(Match.life[p], 10);
    EXPECT_EQ(Match.power[p], 1);
    EXPECT_EQ(Match.grip[p], 0);
    EXPECT_EQ(Match.cameraMode[p], 0);
    ASSERT_TRUE(InScene(Match.craftFrame[p]));
    ASSERT_TRUE(InScene(Match.shadowFrame[p]));
    ExpectNear(ScenePosition(Match.craftFrame[p]), 0, 0, Match.z[p]);
    ExpectNear(ScenePosition(Match.shadowFrame[p]), 0, -0.39f, Match.z[p]);
    ExpectNear(SceneForward(Match.craftFrame[p]), 0, 0, p == 0 ? 1 : -1);
  }
  ASSERT_TRUE(InScene(Match.groundFrame));
  ExpectNear(ScenePosition(Match.groundFrame), 0, -1, 0);
  // The bullet frames exist, out of the scene, each already showing the bullet model.
  for (const Bullet& bullet : Match.bullets) {
    ASSERT_NE(bullet.frame, nullptr);
    EXPECT_EQ(bullet.frame->parent, nullptr);
    EXPECT_EQ(bullet.active, 0);
    EXPECT_EQ(bullet.frame->visuals.at(0), Match.bulletModel);
  }
  // Two cameras, two craft, two shadows and the ground.
  EXPECT_EQ(SceneChildren().size(), 7u);
  Match.TeardownRound();
}

// The intro: 38 frames of descent looking straight down while turning, then 12 of tilt; keys do
// nothing during it, and Esc still held when it ends leaves in the first frame of play.
TEST_F(RoundTest, IntroThenEscHeldLeavesInTheFirstFrameOfPlay) {
  const long liveBefore = RefCounted::LiveObjectCount();
  const std::vector<ULONG> refsBefore = SharedRefs();
  const auto childrenBefore = SceneChildren();
  int presentsAtIntroEnd = -1;
  FrameScript script([&](int frame, int pump) {
    if (pump != 0) return;
    if (frame == 1) {
      // Steering and fire held from the start change nothing until play begins.
      HeadlessControl::KeyDown('F');
      HeadlessControl::KeyDown(FireKey0);
    }
    if (frame >= 1 && frame <= 38) {
      const float height = 20.0f - 0.5f * (frame - 1);
      ExpectNear(ScenePosition(Camera(0)), 0, height, -38);
      ExpectNear(ScenePosition(Camera(1)), 0, height, 38);
      ExpectNear(SceneForward(Camera(0)), 0, -1, 0);
      // Turned about the vertical by 10 x the height: 200 degrees down to 15.
      const double spin = (200 - 5 * (frame - 1)) * 3.1415926535 / 180;
      ExpectNear(SceneUp(Camera(0)), static_cast<float>(-std::sin(spin)), 0,
                 static_cast<float>(std::cos(spin)));
    } else if (frame >= 39 && frame <= IntroFrames) {
      const double tilt = (90 - 8 * (frame - 39)) * 3.1415926535 / 180;
      ExpectNear(ScenePosition(Camera(0)), 0, 0.6f, -38);
      ExpectNear(ScenePosition(Camera(1)), 0, 0.6f, 38);
      ExpectNear(SceneForward(Camera(0)), 0, static_cast<float>(-std::sin(tilt)),
                 static_cast<float>(std::cos(tilt)));
      ExpectNear(SceneForward(Camera(1)), 0, static_cast<float>(-std::sin(tilt)),
                 static_cast<float>(-std::cos(tilt)));
    }
    if (frame == IntroFrames) {
      EXPECT_EQ(Match.yaw[0], 0);
      EXPECT_EQ(Match.z[0], -35);
      for (const Bullet& bullet : Match.bullets) EXPECT_EQ(bullet.active, 0);
      presentsAtIntroEnd = HeadlessControl::PresentCount();
      HeadlessControl::KeyDown(VK_ESCAPE);
    }
  });
  Match.RunMatch();

  EXPECT_EQ(script.Frames(), IntroFrames + 1);
  EXPECT_EQ(presentsAtIntroEnd, IntroFrames);
  EXPECT_EQ(HeadlessControl::PresentCount(), IntroFrames);
  EXPECT_EQ(KeyState[VK_ESCAPE], 0);
  EXPECT_EQ(FrameParity, 0);  // Esc is tested before the parity turns
  EXPECT_FALSE(HoldsAnyRoundFrame());
  EXPECT_EQ(SceneChildren(), childrenBefore);
  EXPECT_EQ(RefCounted::LiveObjectCount(), liveBefore);
  EXPECT_EQ(SharedRefs(), refsBefore);
}

TEST_F(RoundTest, EscPressedAndReleasedDuringTheIntroIsForgotten) {
  FrameScript script([&](int frame, int pump) {
    if (pump != 0) return;
    if (frame == 20) {
      HeadlessControl::KeyDown(VK_ESCAPE);
      HeadlessControl::KeyUp(VK_ESCAPE);
    }
    if (frame == IntroFrames + 5) HeadlessControl::KeyDown(VK_ESCAPE);
  });
  Match.RunMatch();
  EXPECT_EQ(script.Frames(), IntroFrames + 6);
  // Five frames of play toggled the parity five times.
  EXPECT_EQ(FrameParity, 1);
}

// Player 1 destroyed in frame N of play: the round ends in frame N + 51, which is not drawn; the
// result stays up while player 0 holds fire, needs a new key-down, and the next round starts fresh.
TEST_F(RoundTest, RoundEndsInThe51stFrameAfterADestruction) {
  const long liveBefore = RefCounted::LiveObjectCount();
  const std::vector<ULONG> refsBefore = SharedRefs();
  const auto childrenBefore = SceneChildren();
  constexpr int Destroyed = IntroFrames + 3;
  constexpr int Ends = Destroyed + 51;
  float zBeforeEnd[2] = {0, 0};
  int presentsBeforeEnd = 0;
  int resultPumps = 0;
  bool checkedNextRound = false;
  FrameScript script([&](int frame, int pump) {
    if (frame == Destroyed && pump == 0) Match.HitPlayer(1, 10);
    if (frame == Destroyed + 30 && pump == 0) HeadlessControl::KeyDown(FireKey0);
    if (frame == Ends - 1 && pump == 0) {
      EXPECT_EQ(Match.deathTimer[1], 50);
      zBeforeEnd[0] = Match.z[0];
      zBeforeEnd[1] = Match.z[1];
      presentsBeforeEnd = HeadlessControl::PresentCount();
    }
    if (frame == Ends) {
      ++resultPumps;
      if (pump == 0) {
        EXPECT_EQ(Match.deathTimer[1], 51);
        // Player 0's steps ran before player 1's countdown ended the frame; nothing after it did.
        EXPECT_FLOAT_EQ(Match.z[0], zBeforeEnd[0] + 0.2f);
        EXPECT_EQ(Match.z[1], zBeforeEnd[1]);
        EXPECT_EQ(HeadlessControl::PresentCount(), presentsBeforeEnd + 1);  // the result only
        EXPECT_STREQ(ResultOnOverlay(0), "WIN!");
        EXPECT_STREQ(ResultOnOverlay(1), "LOSE");
        EXPECT_EQ(KeyState[FireKey0], 0);  // held, but cleared when the result was drawn
      }
      if (pump == 400) HeadlessControl::KeyDown(FireKey0);  // the keyboard's auto-repeat
    }
    if (frame == Ends + 1 && pump == 0) {
      // The next round's first intro frame: everything as at the start.
      EXPECT_EQ(Match.life[1], 10);
      EXPECT_TRUE(InScene(Match.craftFrame[1]));
      for (const Debris& piece : Match.debris[1]) EXPECT_EQ(piece.frame, nullptr);
      for (const Bullet& bullet : Match.bullets) EXPECT_EQ(bullet.active, 0);
      checkedNextRound = true;
      HeadlessControl::KeyUp(FireKey0);
      HeadlessControl::KeyDown(VK_ESCAPE);
    }
  });
  Match.RunMatch();

  EXPECT_GT(resultPumps, 400);
  EXPECT_TRUE(checkedNextRound);
  EXPECT_EQ(script.Frames(), Ends + IntroFrames + 1);
  EXPECT_FALSE(HoldsAnyRoundFrame());
  EXPECT_EQ(SceneChildren(), childrenBefore);
  EXPECT_EQ(RefCounted::LiveObjectCount(), liveBefore);
  EXPECT_EQ(SharedRefs(), refsBefore);
}

// Both players hold fire from the first frame of play and fly at each other: their volleys are
// mirror images, so both craft take their tenth hit in the same frame and the round is a draw.
TEST_F(RoundTest, BothHoldingFireFromTheStart) {
  const long liveBefore = RefCounted::LiveObjectCount();
  int destroyedAt[2] = {0, 0};
  int endedAt = 0;
  int mostBullets = 0;
  std::string results[2];
  FrameScript script([&](int frame, int pump) {
    if (frame == IntroFrames && pump == 0) {
      HeadlessControl::KeyDown(FireKey0);
      HeadlessControl::KeyDown(FireKey1);
    }
    if (frame > IntroFrames && pump == 0 && endedAt == 0) {
      int flying = 0;
      for (const Bullet& bullet : Match.bullets) flying += bullet.active;
      mostBullets = std::max(mostBullets, flying);
      for (int p = 0; p < 2; ++p)
        if (Match.life[p] == 0 && destroyedAt[p] == 0) destroyedAt[p] = frame - IntroFrames;
      if (Match.deathTimer[0] > 50 || Match.deathTimer[1] > 50) {
        endedAt = frame - IntroFrames;
        results[0] = ResultOnOverlay(0);
        results[1] = ResultOnOverlay(1);
        HeadlessControl::KeyDown(FireKey0);
      }
    }
    if (endedAt != 0 && frame == endedAt + IntroFrames + 1 && pump == 0)
      HeadlessControl::KeyDown(VK_ESCAPE);
  });
  Match.RunMatch();

  ASSERT_NE(endedAt, 0);
  EXPECT_EQ(destroyedAt[0], destroyedAt[1]);
  EXPECT_EQ(endedAt, destroyedAt[0] + 51);
  EXPECT_EQ(results[0], "DRAW");
  EXPECT_EQ(results[1], "DRAW");
  EXPECT_GT(mostBullets, 0);
  EXPECT_EQ(RefCounted::LiveObjectCount(), liveBefore);
}

}  // namespace
