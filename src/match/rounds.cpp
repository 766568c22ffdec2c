// The frame of each round: set-up, the camera intro, the result and the teardown.
#include <cmath>

#include "audio/sound.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "render/frames.h"
#include "render/renderer.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"

namespace {

const char* const ResultText[3] = {"WIN!", "LOSE", "DRAW"};

}  // namespace

void Match::SetupRound() {
  for (int p = 0; p < 2; ++p) {
    const int startYaw = p == 0 ? 0 : 180;
    const float startZ = p == 0 ? -35.0f : 35.0f;
    Renderer.CreateSceneFrame(&craftFrame[p]);
    Renderer.CreateSceneFrame(&shadowFrame[p]);
    Renderer.SetOrientationAngles(craftFrame[p], 0, startYaw, 0);
    PlaceFrame(craftFrame[p], 0, 0, startZ);
    Renderer.SetOrientationAngles(shadowFrame[p], 0, startYaw, 0);
    PlaceFrame(shadowFrame[p], 0, 0, startZ);
    z[p] = startZ;
    y[p] = 0;
    x[p] = 0;
    yaw[p] = startYaw;
    pitch[p] = 0;
    ShowModel(craftFrame[p], craftModel);
    ShowModel(shadowFrame[p], shadowModel);
    bank[p] = 0;
    life[p] = 10;
    hitShake[p] = 0;
    cameraMode[p] = 0;
    speed[p] = 0.2f;
    deathTimer[p] = 0;
    power[p] = 1;
    grip[p] = 0;
    PlaceFrame(shadowFrame[p], x[p], -0.39, z[p]);
  }
  for (int i = 0; i < BulletCount; ++i) {
    Renderer.CreateDetachedFrame(&bulletFrame[i]);
    ShowModel(bulletFrame[i], bulletModel);
    bullets[i].active = 0;
    bulletShown[i] = 0;
  }
  debrisShown[0] = debrisShown[1] = 0;
  itemsShown = itemsSpawned;
  soundCount = 0;
  ++roundsSetUp;
  Renderer.CreateSceneFrame(&groundFrame);
  PlaceFrame(groundFrame, 0, -1, 0);
  ShowModel(groundFrame, groundModel);
  itemActive = 0;
}

void Match::PlayIntro() {
  float cx[2], cy[2], cz[2];
  int h[2];
  for (int p = 0; p < 2; ++p) {
    const int a = (yaw[p] + 180) % 360;
    cx[p] = static_cast<float>(std::sin(DegToRad(a)) * 3.0 + x[p]);
    cz[p] = static_cast<float>(std::cos(DegToRad(a)) * 3.0 + z[p]);
    cy[p] = y[p] + 0.5f;
    h[p] = yaw[p];
    Renderer.SetCameraAngles(p, 90, h[p], 0);
  }
  Sound::Play(SoundIntro);
  // A descent looking straight down while the picture turns.
  for (float height = 20.0f; height > 1.0f; height -= 0.5f) {
    BeginFrame();
    for (int p = 0; p < 2; ++p) {
      Renderer.SetCameraAngles(p, 90, h[p], static_cast<int>(height * 10));
      Renderer.SetCameraPosition(p, cx[p], height, cz[p]);
    }
    Renderer.RenderPlayerViews();
    PresentFrame();
    WaitFrame(50);
  }
  // Then a tilt up to the view behind the craft.
  for (int v = 90; v > 0; v -= 8) {
    BeginFrame();
    for (int p = 0; p < 2; ++p) {
      Renderer.SetCameraAngles(p, v, h[p], 0);
      Renderer.SetCameraPosition(p, cx[p], cy[p] + 0.1, cz[p]);
    }
    Renderer.RenderPlayerViews();
    PresentFrame();
    WaitFrame(50);
  }
}

void Match::ShowResult() {
  int result[2] = {2, 2};
  if (life[0] != 0 || life[1] != 0) {
    for (int p = 0; p < 2; ++p) result[p] = life[p] == 0 ? 1 : 0;
  }
  if (result[0] == 2) {
    Sound::Play(SoundDraw);
  } else {
    Sound::Play(SoundWin, result[0] == 0 ? 0 : 1);  // each from its player's side
    Sound::Play(SoundLose, result[0] == 0 ? 1 : 0);
  }
  Overlay.Clear();
  for (int p = 0; p < 2; ++p) {
    Overlay.DrawStyledText(-1, -1, 80 + 160 * p, 120, ResultText[result[p]], 40, 0, 800, 3,
                           0xFFFFFF, 0, StyledFace, 128, 0);
    // A fire key held through the end of the round must not dismiss the result by itself.
    KeyState[PlayerKey(p, RoleFire)] = 0;
  }
  PresentOverlay();
}

void Match::WaitForResultDismissed() {
  for (;;) {
    for (int p = 0; p < 2; ++p) {
      const uint8_t fire = PlayerKey(p, RoleFire);
      if (KeyState[fire]) {
        KeyState[fire] = 0;
        return;
      }
    }
    WaitFrame(0);
  }
}

void Match::TeardownRound() {
  ReleaseFrame(groundFrame);
  ReleaseFrame(itemFrame);
  ReleaseFrame(itemShadowFrame);
  for (int p = 0; p < 2; ++p) {
    if (!debrisShown[p]) {
      ReleaseFrame(craftFrame[p]);
      ReleaseFrame(shadowFrame[p]);
    } else {
      for (FrameHandle& piece : debrisFrame[p]) ReleaseFrame(piece);
    }
  }
  for (FrameHandle& bullet : bulletFrame) ReleaseFrame(bullet);
}
