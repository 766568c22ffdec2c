// The opening scene: the camera looks straight down on the title model, spins and sinks towards it
// for 100 frames.
#include "frontend/title.h"
#include "render/frames.h"
#include "shell/options.h"
#include "shell/pacing.h"

struct TitleScene TitleScene;

namespace {
// The quality index of the settings, brought into the table's range.
int QualityIndex() {
  int q = Options[OptionQuality];
  return q >= 0 && q < 4 ? q : 0;
}
}  // namespace

void TitleScene::Build() {
  Renderer.CreateSceneFrame(&frame);
  ShowModel(frame, model);
  TurnFrame(frame, 90, 0, 0);
}

void TitleScene::Play() {
  Build();
  // Stepped in single precision on purpose: 20.0 down to 0.19999628 is exactly 100 frames, and the
  // next value lies just below zero.
  float t = 20.0f;
  while (t >= 0.0f) {
    BeginFrame();
    Renderer.SetCameraAngles(0, 90, static_cast<int>(t * 50.0f), 0);
    // The position comes after the angles, which put the camera back at the origin.
    Renderer.SetCameraPosition(0, 0.0, t, 0.0);
    Renderer.RenderFullView();
    PresentFrame();
    WaitFrame(50);
    t = t - 0.2f;
  }
  ReleaseFrame(frame);
  Renderer.SetQuality(RenderQuality[QualityIndex()]);
}
