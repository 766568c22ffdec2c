#include "support/match_harness.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "overlay/overlay.h"
#include "shell/options.h"
#include "shell/pacing.h"
#include "support/release.h"

namespace {

std::string DataPath(const char* name) {
  const char* root = std::getenv("GRONKA_SOURCE_DIR");
  return std::string(root ? root : ".") + "/data/" + name;
}

void LoadMatchModels() {
  struct {
    ModelHandle* slot;
    const char* name;
  } const models[] = {
      {&Match.craftModel, "my.x"},       {&Match.groundModel, "zimen.x"},
      {&Match.bulletModel, "beam.x"},    {&Match.shadowModel, "shadow.x"},
      {&Match.itemModels[0], "speed.x"}, {&Match.itemModels[1], "power.x"},
      {&Match.itemModels[2], "grip.x"},  {&Match.itemShadowModel, "items.x"},
      {&Match.debrisModel, "die.x"},
  };
  for (const auto& model : models) Renderer.LoadModel(model.slot, DataPath(model.name).c_str());
}

// Whatever a test left in the Match, frames and models alike.
void EmptyMatch() {
  ReleaseMatchFrames();
  ReleaseModels();
  Match = {};
}

}  // namespace

void MatchTest::SetUp() {
  HeadlessTest::SetUp();
  EmptyMatch();
  FrameParity = 0;
  RandomIntHook = nullptr;
  SeedRandom(1);
  StartDisplay(320, 240);
  LoadMatchModels();
}

void MatchTest::TearDown() {
  HeadlessControl::SetPumpHook(nullptr);
  RandomIntHook = nullptr;
  EmptyMatch();
  Renderer.Teardown();
  Renderer.Reset();
  HeadlessTest::TearDown();
}

void MatchTest::StartDisplay(int width, int height) {
  if (Renderer.ready) {
    Renderer.Teardown();
    Renderer.Reset();
  }
  ScreenWidth = width;
  ScreenHeight = height;
  HWND window = OpenHeadlessWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Renderer.Init(window, width, height, 0));
  Overlay.Init();
}

FrameScript::FrameScript(std::function<void(int, int)> act) : act_(std::move(act)) {
  // No BeginFrame can give this start time before the clock has gone round.
  FrameStartTime = timeGetTime() - 1;
  lastStart_ = FrameStartTime;
  HeadlessControl::SetPumpHook([this] {
    if (FrameStartTime != lastStart_) {
      lastStart_ = FrameStartTime;
      ++frames_;
      pump_ = 0;
    } else if (++pump_ > 1000000) {
      throw std::runtime_error("the game spins without beginning a frame");
    }
    act_(frames_, pump_);
  });
}

FrameScript::~FrameScript() {
  HeadlessControl::SetPumpHook(nullptr);
}

int FrameScript::Frames() const {
  return frames_ + (FrameStartTime != lastStart_ ? 1 : 0);
}

std::vector<IDirect3DRMFrame*> SceneChildren() {
  return Renderer.scene ? Renderer.scene->children : std::vector<IDirect3DRMFrame*>{};
}

bool InScene(IDirect3DRMFrame* frame) {
  return frame && Renderer.scene && frame->parent == Renderer.scene;
}

D3DVECTOR ScenePosition(IDirect3DRMFrame* frame) {
  D3DVECTOR position;
  frame->GetPosition(Renderer.scene, &position);
  return position;
}

D3DVECTOR SceneForward(IDirect3DRMFrame* frame) {
  D3DVECTOR dir, up;
  frame->GetOrientation(Renderer.scene, &dir, &up);
  return dir;
}

D3DVECTOR SceneUp(IDirect3DRMFrame* frame) {
  D3DVECTOR dir, up;
  frame->GetOrientation(Renderer.scene, &dir, &up);
  return up;
}

uint32_t BackPixel(int x, int y) {
  const IDirectDrawSurface* surface = Renderer.backSurface;
  return surface->pixels[static_cast<size_t>(y) * surface->pitch + x] & 0xFFFFFF;
}

namespace {

std::vector<uint32_t> OverlayHalf(int p) {
  const IDirectDrawSurface* surface = Renderer.overlaySurface;
  std::vector<uint32_t> half;
  for (int y = 0; y < OverlayHeight; ++y)
    for (int x = 160 * p; x < 160 * p + 160; ++x)
      half.push_back(surface->pixels[static_cast<size_t>(y) * surface->pitch + x] & 0xFFFFFF);
  return half;
}

}  // namespace

const char* ResultOnOverlay(int p) {
  static const char* const texts[3] = {"WIN!", "LOSE", "DRAW"};
  const std::vector<uint32_t> saved = Renderer.overlaySurface->pixels;
  const std::vector<uint32_t> shown = OverlayHalf(p);
  const char* found = "";
  for (const char* text : texts) {
    Overlay.Clear();
    Overlay.DrawStyledText(-1, -1, 80 + 160 * p, 120, text, 40, 0, 800, 3, 0xFFFFFF, 0, StyledFace,
                           128, 0);
    if (OverlayHalf(p) == shown) found = text;
  }
  Renderer.overlaySurface->pixels = saved;
  return found;
}

FixedRandom* FixedRandom::active_ = nullptr;

FixedRandom::FixedRandom(std::vector<int32_t> values) : values_(std::move(values)) {
  active_ = this;
  RandomIntHook = &FixedRandom::Next;
}

FixedRandom::~FixedRandom() {
  RandomIntHook = nullptr;
  active_ = nullptr;
}

int32_t FixedRandom::Next(int32_t lo, int32_t hi) {
  FixedRandom& self = *active_;
  self.calls_.push_back({lo, hi});
  return self.next_ < self.values_.size() ? self.values_[self.next_++] : lo;
}
