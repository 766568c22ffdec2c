#include "shell/assets.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "render/renderer.h"
#include "shell/options.h"
#include "support/headless.h"

namespace fs = std::filesystem;

namespace {

std::string Line(const char* name) {
  char line[LoadingLineSize];
  FormatLoadingLine(line, name);
  return line;
}

TEST(LoadingLineTest, NameIsRightAlignedInThirteenCharacters) {
  EXPECT_EQ(Line("shadow.x"), "[     shadow.x]を読み込み中");
  // A longer name is not cut to the field, only to the buffer.
  EXPECT_EQ(Line("a_rather_long_name.x"), "[a_rather_long_name.x]を読み込み中");
  const std::string huge(1000, 'x');
  const std::string cut = Line(huge.c_str());
  EXPECT_EQ(cut.size(), static_cast<size_t>(LoadingLineSize - 1));
  EXPECT_EQ(cut.substr(0, 3), "[xx");
}

// The ten model slots, in the loading order.
ModelHandle* Slots(int i) {
  ModelHandle* slots[] = {&Match.craftModel,    &Match.groundModel,   &Match.bulletModel,
                          &Match.shadowModel,   &TitleScene.model,    &Match.itemModels[0],
                          &Match.itemModels[1], &Match.itemModels[2], &Match.itemShadowModel,
                          &Match.debrisModel};
  return slots[i];
}
const char* const FileNames[] = {"my.x",    "zimen.x", "beam.x", "shadow.x", "ts.x",
                                 "speed.x", "power.x", "grip.x", "items.x",  "die.x"};

class AssetsTest : public HeadlessTest {
 protected:
  void Start(int fullScreen) {
    FullScreen = fullScreen;
    ASSERT_NE(OpenHeadlessWindow(), nullptr);
    ASSERT_TRUE(Renderer.Init(MainWindow, ScreenWidth, ScreenHeight, FullScreen));
    Overlay.Init();
    startDirectory = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(startDirectory.empty() ? fs::current_path() : startDirectory);
    ReleaseModels();
    Renderer.Teardown();
    Renderer.Reset();
    Overlay = {};
    if (!scratch.empty()) fs::remove_all(scratch);
    HeadlessTest::TearDown();
  }

  // A fresh directory to load from; with `models`, a data/ directory in it where file i is a
  // fan of i + 3 vertices, so that each slot tells which file it got.
  fs::path MakeScratch(bool models) {
    scratch = fs::path(::testing::TempDir()) / ("assets_test_" + std::to_string(getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    if (models) {
      fs::create_directories(scratch / "data");
      for (int i = 0; i < 10; ++i) {
        std::ofstream out(scratch / "data" / FileNames[i]);
        const int n = i + 3;
        out << "xof 0302txt 0032\nMesh {\n " << n << ";\n";
        for (int v = 0; v < n; ++v)
          out << " " << v << ".0;" << (v % 2) << ".0;0.0;" << (v + 1 < n ? "," : ";") << "\n";
        out << " 1;\n " << n << ";";
        for (int v = n - 1; v >= 0; --v) out << v << (v > 0 ? "," : "");
        out << ";;\n}\n";
      }
    }
    return scratch;
  }

  // The box {left, top, bottom} of the primary surface's pixels that are not black (the store
  // starts black), and its right edge.
  static std::vector<LONG> Written(IDirectDrawSurface* s, LONG* right) {
    std::vector<LONG> r{s->width, s->height, 0};
    *right = 0;
    for (int y = 0; y < s->height; ++y)
      for (int x = 0; x < s->width; ++x)
        if (s->pixels[static_cast<size_t>(y) * s->pitch + x] != 0) {
          r = {std::min<LONG>(r[0], x), std::min<LONG>(r[1], y), std::max<LONG>(r[2], y + 1)};
          *right = std::max<LONG>(*right, x + 1);
        }
    return r;
  }

  fs::path startDirectory, scratch;
};

TEST_F(AssetsTest, WindowedLinesStandAtTheTopLeftOfTheDrawingArea) {
  Start(0);
  ModelHandle slot = nullptr;
  const int presents = HeadlessControl::PresentCount();
  LoadModelWithNotice(&slot, "no-such-model.x");
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(HeadlessControl::PresentCount(), presents + 2);  // each line shows at once
  // The window frame's metrics put (x0 + 2, y0 + 2) on the drawing area's first pixel: the two
  // 16-pixel cells fill rows 0 to 31 from column 0.
  IDirectDrawSurface* primary = Overlay.primarySurface;
  LONG right = 0;
  EXPECT_EQ(Written(primary, &right), (std::vector<LONG>{0, 0, 32}));
  EXPECT_GT(right, 150);
  EXPECT_EQ(primary->pixels[16 * primary->pitch], 0xFFFFFFu);  // the default white background
  // And that is what the window shows.
  int w = 0, h = 0;
  const uint32_t* shown = HeadlessControl::LastPresentedPixels(&w, &h);
  ASSERT_EQ(w, 320);
  EXPECT_EQ(std::memcmp(shown, primary->pixels.data(), 320 * 240 * 4), 0);
}

TEST_F(AssetsTest, FullScreenLinesStandAtTwoTwoAndTwoEighteen) {
  Start(1);
  ModelHandle slot = nullptr;
  LoadModelWithNotice(&slot, "no-such-model.x");
  IDirectDrawSurface* primary = Overlay.primarySurface;
  LONG right = 0;
  EXPECT_EQ(Written(primary, &right), (std::vector<LONG>{2, 2, 34}));
  EXPECT_EQ(primary->pixels[18 * primary->pitch + 2], 0xFFFFFFu);
}

TEST_F(AssetsTest, EachFileGoesToItsSlotAndTheDirectoryComesBack) {
  Start(0);
  fs::current_path(MakeScratch(true));
  const fs::path before = fs::current_path();
  LoadAllModels();
  EXPECT_EQ(fs::current_path(), before);
  for (int i = 0; i < 10; ++i) {
    ASSERT_NE(*Slots(i), nullptr) << FileNames[i];
    EXPECT_EQ((*Slots(i))->mesh.vertices.size(), static_cast<size_t>(i + 3)) << FileNames[i];
  }
}

TEST_F(AssetsTest, MissingDataDirectoryLeavesSlotsEmptyAndTheDirectoryAlone) {
  Start(0);
  const fs::path here = MakeScratch(false);
  fs::create_directories(here / "inner");
  fs::current_path(here / "inner");
  LoadAllModels();
  // Going back with ".." after a change that never happened would have left "inner".
  EXPECT_EQ(fs::current_path(), here / "inner");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(*Slots(i), nullptr) << FileNames[i];
}

}  // namespace
