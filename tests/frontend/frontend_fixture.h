// Running the title scene, the title menu and the config screen headless.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/title.h"
#include "overlay/overlay.h"
#include "shell/app.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "support/match_harness.h"

// A rectangle on the 320 x 240 overlay: left, top, right, bottom (the last two excluded).
struct Area {
  int left, top, right, bottom;
};

// Where the menu items and the config rows stand, with room for their shadows.
inline Area MenuItemArea(int i) {
  return {150, 110 + 28 * i, 280, 134 + 28 * i};
}
inline Area ConfigLabelArea(int r) {
  return {32, 100 + 32 * r, 176, 124 + 32 * r};
}
inline Area ConfigValueArea(int r) {
  return {170, 100 + 32 * r, 320, 124 + 32 * r};
}
constexpr Area TitleArea{0, 10, 320, 100};
constexpr Area CreditArea{0, 208, 320, 236};

constexpr COLORREF Highlight = 0xC8C8FF;
constexpr COLORREF White = 0xFFFFFF;

// The picture last shown on the window, ScreenWidth x ScreenHeight XRGB pixels.
inline std::vector<uint32_t> Presented() {
  int width = 0, height = 0;
  const uint32_t* pixels = HeadlessControl::LastPresentedPixels(&width, &height);
  if (pixels == nullptr) return {};
  return std::vector<uint32_t>(pixels, pixels + width * height);
}

// Pixels of a colour inside an overlay area of a presented picture (scaled to the screen).
inline int CountIn(const std::vector<uint32_t>& picture, Area area, COLORREF colour) {
  int scale = ScreenWidth / OverlayWidth, n = 0;
  for (int y = area.top * scale; y < area.bottom * scale; ++y)
    for (int x = area.left * scale; x < area.right * scale; ++x)
      if (picture[y * ScreenWidth + x] == PixelOf(colour)) ++n;
  return n;
}

// Pixels that differ between two presented pictures outside the given overlay areas.
inline int DifferencesOutside(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
                              std::vector<Area> areas) {
  int scale = ScreenWidth / OverlayWidth, n = 0;
  for (int y = 0; y < ScreenHeight; ++y)
    for (int x = 0; x < ScreenWidth; ++x) {
      bool inside = false;
      for (const Area& r : areas)
        inside = inside || (x >= r.left * scale && x < r.right * scale && y >= r.top * scale &&
                            y < r.bottom * scale);
      if (!inside && a[y * ScreenWidth + x] != b[y * ScreenWidth + x]) ++n;
    }
  return n;
}

// The picture shows the menu items with exactly item `lit` highlighted and the others white.
inline ::testing::AssertionResult MenuShowsHighlighted(int lit) {
  std::vector<uint32_t> picture = Presented();
  for (int i = 0; i < 3; ++i) {
    int highlighted = CountIn(picture, MenuItemArea(i), Highlight);
    int white = CountIn(picture, MenuItemArea(i), White);
    bool ok = i == lit ? highlighted > 30 && white == 0 : highlighted == 0 && white > 30;
    if (!ok)
      return ::testing::AssertionFailure() << "item " << i << ": " << highlighted
                                           << " highlighted and " << white << " white pixels";
  }
  return ::testing::AssertionSuccess();
}

inline std::string DataFile(const char* name) {
  const char* root = std::getenv("GRONKA_SOURCE_DIR");
  return std::string(root ? root : ".") + "/data/" + name;
}

inline std::string FileBytes(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Presses the players' keys one step at a time, as the window procedure records them: the keys of
// a step go down together within one pump, and the next step waits until the game has consumed
// them all. `after`(step) runs at the first pump after step `step` was consumed.
class KeyScript {
 public:
  explicit KeyScript(std::vector<std::vector<uint8_t>> steps,
                     std::function<void(int)> after = nullptr)
      : steps_(std::move(steps)), after_(std::move(after)) {
    HeadlessControl::SetPumpHook([this] { Pump(); });
  }
  ~KeyScript() { HeadlessControl::SetPumpHook(nullptr); }
  KeyScript(const KeyScript&) = delete;
  KeyScript& operator=(const KeyScript&) = delete;

 private:
  void Pump() {
    if (pending_) {
      for (uint8_t key : steps_[next_ - 1])
        if (KeyState[key]) return;
      pending_ = false;
      if (after_) after_(static_cast<int>(next_ - 1));
    }
    if (next_ < steps_.size()) {
      for (uint8_t key : steps_[next_]) KeyState[key] = 1;
      ++next_;
      pending_ = true;
    } else if (++idle_ > 10000) {
      throw std::runtime_error("the screen waits for keys the script does not press");
    }
  }

  std::vector<std::vector<uint8_t>> steps_;
  std::function<void(int)> after_;
  size_t next_ = 0;
  bool pending_ = false;
  int idle_ = 0;
};

inline uint8_t Up(int player = 0) {
  return PlayerKey(player, RoleUp);
}
inline uint8_t Down(int player = 0) {
  return PlayerKey(player, RoleDown);
}
inline uint8_t Select(int player = 0) {
  return PlayerKey(player, RoleFire);
}

// The Match fixture plus the title model, a working directory of its own for option.dat, and a
// check that every reference the test made has been given back.
class FrontEndTest : public MatchTest {
 protected:
  void SetUp() override {
    baseline_ = RefCounted::LiveObjectCount();
    MatchTest::SetUp();
    Renderer.LoadModel(&TitleScene.model, DataFile("ts.x").c_str());
    ASSERT_NE(TitleScene.model, nullptr);
    home_ = std::filesystem::current_path();
    char name[] = "/tmp/gronka-frontend-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    workDir_ = name;
    std::filesystem::current_path(workDir_);
  }

  void TearDown() override {
    HeadlessControl::SetPumpHook(nullptr);
    TitleMenu.ReleaseFrames();
    Drop(TitleScene.frame);
    Drop(TitleScene.model);
    Renderer.RemoveFromScene(LightFrame);
    Drop(LightFrame);
    Drop(SceneLight);
    MatchTest::TearDown();
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(workDir_);
    EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_) << "references left behind";
  }

  // The scene light as the start-up adds it.
  void AddSceneLight() {
    Renderer.CreateLight(&SceneLight, D3DRMLIGHT_DIRECTIONAL, 1.0, 1.0, 1.0);
    Renderer.CreateSceneFrame(&LightFrame);
    LightFrame->AddLight(SceneLight);
  }

  template <typename Handle>
  static void Drop(Handle& handle) {
    if (handle == nullptr) return;
    handle->Release();
    handle = nullptr;
  }

  long baseline_ = 0;
  std::filesystem::path home_, workDir_;
};
