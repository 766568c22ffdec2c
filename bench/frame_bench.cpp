// Whole frames of the game with its real models: a frame of play in its worst case, the opening
// scene, the title menu, presentation on the screen and fast-forward (Ctrl held).
//
// The models are read from $GRONKA_SOURCE_DIR/data, else ./data, else the data directory beside
// the program. With a display (DISPLAY set) the benchmarks draw into a real window, and the
// presentation figures include the upload to the screen; without one (or with
// GRONKA_BENCH_HEADLESS=1) everything runs headless and presentation is only the copy into the
// screen's store. Frames are timed by the thread's processor time; presentation and fast-forward
// by the clock on the wall.
//
// The worst case of play cannot be one state: a destroyed craft leaves the scene when its 50
// debris pieces enter it, so "both craft flying" and "both destroyed" exclude each other. Both are
// measured, each with 200 bullets in flight, the item and its marker, and each with everything
// placed where both views see it; the worst case of a round is the larger of the two figures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/app.h"
#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "render/renderer.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "shell/pacing.h"
#include "support/game.h"

namespace {

const char* const QualityNames[4] = {"FLAT", "WIREFRAME", "UNLIGHT_FLAT", "GOURAUD"};

bool IsDirectory(const std::string& path) {
  return access((path + "/my.x").c_str(), R_OK) == 0;
}

// The directory holding the models.
const std::string& DataDirectory() {
  static const std::string dir = [] {
    if (const char* root = std::getenv("GRONKA_SOURCE_DIR")) {
      if (IsDirectory(std::string(root) + "/data")) return std::string(root) + "/data";
    }
    if (IsDirectory("data")) return std::string("data");
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
      self[n] = '\0';
      std::string path(self);
      path = path.substr(0, path.find_last_of('/'));
      if (IsDirectory(path + "/data")) return path + "/data";
    }
    return std::string("data");
  }();
  return dir;
}

bool UseDisplay() {
  static const bool display = [] {
    const char* headless = std::getenv("GRONKA_BENCH_HEADLESS");
    if (headless && *headless && std::strcmp(headless, "0") != 0) return false;
    const char* d = std::getenv("DISPLAY");
    return d != nullptr && *d != '\0';
  }();
  return display;
}

// The benchmarks' window ignores every message: no key or close may end the program.
LRESULT BenchWindowProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

// The display at one size with the scene light, the overlay and all ten models, as the game has
// them after its start-up. Kept from one benchmark to the next while the size stays.
class Stage {
 public:
  // False (with the reason in `error`) when the display cannot be started or a model is missing.
  bool Open(int width, int height, std::string& error) {
    if (width_ == width && height_ == height && Renderer.ready) return true;
    Close();
    static bool platformReady = false;
    if (!platformReady) {
      if (!UseDisplay()) HeadlessControl::Enable(0);
      WNDCLASSA windowClass;
      windowClass.lpfnWndProc = BenchWindowProc;
      windowClass.lpszClassName = "GronkaBench";
      RegisterClassA(&windowClass);
      platformReady = true;
    }
    std::memset(KeyState, 0, sizeof KeyState);
    std::memset(Options, 0, sizeof Options);
    WaitEnabled = 1;
    FullScreen = 0;
    ScreenWidth = width;
    ScreenHeight = height;
    const int outerWidth = width + 2 * GetSystemMetrics(SM_CXBORDER) + 4;
    const int outerHeight =
        height + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4;
    window_ = CreateWindowExA(
        0, "GronkaBench", "gronka-bench", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
        CW_USEDEFAULT, outerWidth, outerHeight, nullptr, nullptr, nullptr, nullptr);
    if (window_ == nullptr) {
      error = std::string("no window: ") + LastWindowError();
      return false;
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    MainWindow = window_;
    if (!InitScene(window_)) {
      error = "the display could not be started";
      Close();
      return false;
    }
    struct {
      ModelHandle* slot;
      const char* name;
    } const models[] = {
        {&Match.craftModel, "my.x"},         {&Match.groundModel, "zimen.x"},
        {&Match.bulletModel, "beam.x"},      {&Match.shadowModel, "shadow.x"},
        {&TitleScene.model, "ts.x"},         {&Match.itemModels[0], "speed.x"},
        {&Match.itemModels[1], "power.x"},   {&Match.itemModels[2], "grip.x"},
        {&Match.itemShadowModel, "items.x"}, {&Match.debrisModel, "die.x"},
    };
    for (const auto& model : models) {
      const std::string path = DataDirectory() + "/" + model.name;
      if (!Renderer.LoadModel(model.slot, path.c_str())) {
        error = "cannot load " + path + " (set GRONKA_SOURCE_DIR to the source tree)";
        Close();
        return false;
      }
    }
    width_ = width;
    height_ = height;
    return true;
  }

  void Close() {
    game::ReleaseMatchFrames();
    TitleMenu.ReleaseFrames();
    ReleaseFrame(TitleScene.frame);
    ReleaseModels();
    ReleaseFrame(LightFrame);
    if (SceneLight != nullptr) {
      SceneLight->Release();
      SceneLight = nullptr;
    }
    Renderer.Teardown();
    Renderer.Reset();
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
    MainWindow = nullptr;
    width_ = height_ = 0;
  }

 private:
  HWND window_ = nullptr;
  int width_ = 0, height_ = 0;
};

Stage& TheStage() {
  static Stage stage;
  return stage;
}

bool OpenStage(benchmark::State& state, int width, int height) {
  std::string error;
  if (TheStage().Open(width, height, error)) return true;
  state.SkipWithError(error.c_str());
  return false;
}

// ---------------------------------------------------------------------------------------------
// Frames of play.

enum Scenario { Flying = 0, Destroyed = 1 };

// Player 0 at z = -12 heading for +z, player 1 at z = +12 heading for -z, both 4 units up, each
// camera close behind its craft: each view looks at the other player across the middle of the
// arena, where the bullets fly and the item stands.
void BuildRound(Scenario scenario) {
  game::ReleaseMatchFrames();
  TitleMenu.ReleaseFrames();
  std::memset(KeyState, 0, sizeof KeyState);
  SeedRandom(1);
  Match.SetupRound();
  for (int p = 0; p < 2; ++p) {
    Match.x[p] = p == 0 ? 0.5f : -0.5f;
    Match.y[p] = 4.0f;
    Match.z[p] = p == 0 ? -12.0f : 12.0f;
    Match.cameraMode[p] = 0;
    Match.power[p] = 4;
  }
  // The item and its marker between the players.
  Match.itemActive = 0;
  Match.SpawnItem();
  Match.itemX = 2.0f;
  Match.itemY = 4.0f;
  Match.itemZ = 0.0f;

  // 200 bullets in the middle, each where both cameras (3 units behind z = -12 and z = 12) see it,
  // flying in all directions at the speed of a shot.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> heading(0, 359), climb(-30, 30);
  for (int i = 0; i < BulletCount; ++i) {
    Bullet& b = Match.bullets[i];
    const float z = 7.0f * unit(rng);
    const float d = 15.0f - std::abs(z);  // distance to the farther camera plane
    b.active = 1;
    b.owner = static_cast<uint8_t>(i % 2);
    b.x = 0.25f * d * unit(rng);
    b.y = 4.5f + 0.35f * d * unit(rng);
    b.z = z;
    b.yaw = heading(rng);
    b.pitch = climb(rng);
    b.roll = 0;
    b.vx = static_cast<float>(std::sin(DegToRad(b.yaw)) * 0.8);
    b.vz = static_cast<float>(std::cos(DegToRad(b.yaw)) * 0.8);
    b.vy = static_cast<float>(-std::sin(DegToRad(b.pitch)) * 1.2);
  }
  if (scenario == Destroyed) {
    for (int p = 0; p < 2; ++p) Match.HitPlayer(p, 10);
    // A few frames into the burst, the pieces spread over a unit or two.
    for (int frame = 0; frame < 6; ++frame)
      for (int p = 0; p < 2; ++p) Match.UpdateDebris(p);
  }
  for (int p = 0; p < 2; ++p) {
    Match.ControlPlayer(p);
    Match.FlyPlayer(p);
  }
  Match.UpdateBullets();
  Match.SyncScene();
  Match.soundCount = 0;
  for (int p = 0; p < 2; ++p) Match.PlaceCamera(p);
}

// Match::PlayFrame's work without the Esc test, the death countdown, presenting and waiting.
void PlayOneFrame() {
  FrameParity = FrameParity == 0 ? 1 : 0;
  for (int p = 0; p < 2; ++p) {
    Match.ControlPlayer(p);
    Match.PickUpItem(p);
    Match.FlyPlayer(p);
    Match.UpdateDebris(p);
  }
  Match.SpawnItem();
  Match.UpdateBullets();
  Match.SyncScene();
  Match.soundCount = 0;
  for (int p = 0; p < 2; ++p) Match.PlaceCamera(p);
  Renderer.RenderPlayerViews();
  Match.DrawHud();
}

void BM_PlayFrame(benchmark::State& state, Scenario scenario, int width, int height, int quality) {
  if (!OpenStage(state, width, height)) return;
  BuildRound(scenario);
  Renderer.SetQuality(RenderQuality[quality]);
  // Every frame starts from the same state: the steps move craft, bullets and debris, and a
  // restored record puts them back (the same frames stay in the scene).
  const struct Match saved = Match;
  const int parity = FrameParity;
  const size_t children = Renderer.scene->children.size();
  for (auto _ : state) {
    Match = saved;
    FrameParity = parity;
    PlayOneFrame();
    benchmark::DoNotOptimize(Renderer.backSurface->pixels.data());
  }
  if (Renderer.scene->children.size() != children)
    state.SkipWithError("the scene changed during the frame: the state is not the worst case");
  Match = saved;
  game::ReleaseMatchFrames();
  Renderer.SetQuality(D3DRMRENDER_FLAT);
}

// Frames per second of real play with Ctrl held: both players turning and firing volleys of four
// at every second frame (the bullet pool runs full), every frame presented and pumped as in the
// game. A round that ends is replaced by a new one at once (the result screen waits for a key).
void BM_FastForward(benchmark::State& state, int width, int height, int quality) {
  if (!OpenStage(state, width, height)) return;
  game::ReleaseMatchFrames();
  TitleMenu.ReleaseFrames();
  Renderer.SetQuality(RenderQuality[quality]);
  SeedRandom(1);
  auto newRound = [] {
    Match.SetupRound();
    Match.power[0] = Match.power[1] = 4;
  };
  auto holdKeys = [] {
    std::memset(KeyState, 0, sizeof KeyState);
    KeyState[PlayerKey(0, RoleFire)] = 1;
    KeyState[PlayerKey(0, RoleLeft)] = 1;
    KeyState[PlayerKey(1, RoleFire)] = 1;
    KeyState[PlayerKey(1, RoleRight)] = 1;
    WaitEnabled = 0;
  };
  newRound();
  holdKeys();
  int64_t bullets = 0;
  for (auto _ : state) {
    if ((Match.life[0] == 0 && Match.deathTimer[0] >= 50) ||
        (Match.life[1] == 0 && Match.deathTimer[1] >= 50)) {
      Match.TeardownRound();
      newRound();
      holdKeys();
    }
    if (Match.PlayFrame() != Match::FrameOutcome::Continue) {
      state.SkipWithError("the frame left the round");
      break;
    }
    for (const Bullet& b : Match.bullets) bullets += b.active;
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bullets"] =
      state.iterations() > 0 ? static_cast<double>(bullets) / state.iterations() : 0.0;
  WaitEnabled = 1;
  std::memset(KeyState, 0, sizeof KeyState);
  game::ReleaseMatchFrames();
  Renderer.SetQuality(D3DRMRENDER_FLAT);
}

// ---------------------------------------------------------------------------------------------
// The front end.

// The opening scene's frame at camera height t (it sinks from 20 to 0.2), drawn as the opening
// draws it (in the quality the display starts with: FLAT).
void BM_TitleScene(benchmark::State& state, int width, int height, float t) {
  if (!OpenStage(state, width, height)) return;
  game::ReleaseMatchFrames();
  TitleMenu.ReleaseFrames();
  TitleScene.Build();
  Renderer.SetQuality(D3DRMRENDER_FLAT);
  for (auto _ : state) {
    Renderer.SetCameraAngles(0, 90, static_cast<int>(t * 50.0f), 0);
    Renderer.SetCameraPosition(0, 0.0, t, 0.0);
    Renderer.RenderFullView();
    benchmark::DoNotOptimize(Renderer.backSurface->pixels.data());
  }
  ReleaseFrame(TitleScene.frame);
}

// The title menu drawn whole (3-D picture, texts, composite of the text layer) without the copy to
// the screen, in each quality; and the redraw of one cursor move.
void BM_TitleMenu(benchmark::State& state, int width, int height, int quality, bool cursorMove) {
  if (!OpenStage(state, width, height)) return;
  game::ReleaseMatchFrames();
  Renderer.SetQuality(RenderQuality[quality]);
  TitleMenu.Show();
  // With no primary surface, presenting stops before the screen copy.
  IDirectDrawSurface* primary = Renderer.primarySurface;
  Renderer.primarySurface = nullptr;
  for (auto _ : state) {
    if (cursorMove)
      TitleMenu.MoveCursor(+1);
    else
      TitleMenu.DrawMenu();
    benchmark::DoNotOptimize(Renderer.backSurface->pixels.data());
  }
  Renderer.primarySurface = primary;
  TitleMenu.ReleaseFrames();
  Renderer.SetQuality(D3DRMRENDER_FLAT);
}

// ---------------------------------------------------------------------------------------------
// Presentation.

// PresentFrame: the back buffer copied to the screen's store, which shows it (with a display: the
// upload into SDL's texture and SDL's present).
void BM_Present(benchmark::State& state, int width, int height) {
  if (!OpenStage(state, width, height)) return;
  Renderer.RenderFullView();
  for (auto _ : state) {
    PresentFrame();
    PumpMessages();
  }
  state.SetLabel(UseDisplay() ? "copy + SDL upload and present" : "headless: copy only");
}

// Only the window's part of it: texture upload and present (display only).
void BM_ShowOnScreen(benchmark::State& state, int width, int height) {
  if (!UseDisplay()) {
    state.SkipWithError("no display (DISPLAY unset or GRONKA_BENCH_HEADLESS set)");
    return;
  }
  if (!OpenStage(state, width, height)) return;
  Renderer.RenderFullView();
  const IDirectDrawSurface* back = Renderer.backSurface;
  for (auto _ : state) {
    PresentPixels(MainWindow, back->pixels.data(), back->width, back->height, back->pitch);
    PumpMessages();
  }
}

std::string Size(int w, int h) {
  return std::to_string(w) + "x" + std::to_string(h);
}

// Registered in this order, so that every size's benchmarks run together.
int RegisterAll() {
  const int sizes[2][2] = {{320, 240}, {640, 480}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    const std::string s = Size(w, h);
    for (int scenario = 0; scenario < 2; ++scenario)
      for (int q = 0; q < 4; ++q)
        benchmark::RegisterBenchmark(
            ("PlayFrame/" + std::string(scenario == Flying ? "flying/" : "destroyed/") + s + "/" +
             QualityNames[q])
                .c_str(),
            [=](benchmark::State& st) {
              BM_PlayFrame(st, static_cast<Scenario>(scenario), w, h, q);
            })
            ->Unit(benchmark::kMicrosecond);
    for (float t : {20.0f, 10.0f, 4.0f, 1.0f})
      benchmark::RegisterBenchmark(
          ("TitleScene/" + s + "/height:" + std::to_string(static_cast<int>(t))).c_str(),
          [=](benchmark::State& st) { BM_TitleScene(st, w, h, t); })
          ->Unit(benchmark::kMicrosecond);
    for (int q = 0; q < 4; ++q)
      benchmark::RegisterBenchmark(("TitleMenu/" + s + "/" + QualityNames[q]).c_str(),
                                   [=](benchmark::State& st) { BM_TitleMenu(st, w, h, q, false); })
          ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("TitleMenuCursor/" + s).c_str(), [=](benchmark::State& st) {
      BM_TitleMenu(st, w, h, 0, true);
    })->Unit(benchmark::kMicrosecond);
    // Presentation and fast-forward by the clock on the wall: the display's work may run on
    // other threads (SDL's renderer), and the player sees the frames per second it allows.
    benchmark::RegisterBenchmark(("Present/" + s).c_str(),
                                 [=](benchmark::State& st) { BM_Present(st, w, h); })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("ShowOnScreen/" + s).c_str(),
                                 [=](benchmark::State& st) { BM_ShowOnScreen(st, w, h); })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    for (int q : {0, 3})
      benchmark::RegisterBenchmark(("FastForward/" + s + "/" + QualityNames[q]).c_str(),
                                   [=](benchmark::State& st) { BM_FastForward(st, w, h, q); })
          ->Unit(benchmark::kMicrosecond)
          ->UseRealTime();
  }
  return 0;
}

const int Registered = RegisterAll();

}  // namespace
