// The config screen: its rows and values, leaving it, and the settings file.
#include <algorithm>

#include "frontend/frontend_fixture.h"

namespace {

class ConfigTest : public FrontEndTest {
 protected:
  void SetUp() override {
    FrontEndTest::SetUp();
    TitleMenu.Show();
  }
};

using Steps = std::vector<std::vector<uint8_t>>;

// The overlay shows `text` as the highlighted value of `row`, exactly as if drawn alone there.
::testing::AssertionResult ValueShown(int row, const char* text) {
  IDirectDrawSurface* overlay = Renderer.overlaySurface;
  std::vector<uint32_t> screen = overlay->pixels;
  Overlay.Clear();
  const int width = Overlay.MeasureStyledText(text, 20, 8, 800, 0, StyledFace, 128);
  const int x = std::min(180, OverlayWidth - 3 - width);
  Overlay.DrawStyledText(x, 100 + 32 * row, 160, 120, text, 20, 8, 800, 3, Highlight, 0, StyledFace,
                         128, 0);
  Area area = ConfigValueArea(row);
  int differences = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if (screen[y * overlay->pitch + x] != overlay->pixels[y * overlay->pitch + x]) ++differences;
  overlay->pixels = screen;
  if (differences == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << differences << " pixels differ from \"" << text << "\"";
}

// Label (and value) of row `row` highlighted on the presented picture, the other rows white.
::testing::AssertionResult RowHighlighted(int row) {
  std::vector<uint32_t> picture = Presented();
  for (int r = 0; r < 4; ++r) {
    std::vector<Area> areas{ConfigLabelArea(r)};
    if (r > 0) areas.push_back(ConfigValueArea(r));
    for (const Area& area : areas) {
      int lit = CountIn(picture, area, Highlight), white = CountIn(picture, area, White);
      bool ok = r == row ? lit > 20 && white == 0 : lit == 0 && white > 20;
      if (!ok)
        return ::testing::AssertionFailure()
               << "row " << r << ": " << lit << " highlighted and " << white << " white pixels";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(ConfigTest, CursorWrapsBothWaysAndHighlightsLabelAndValue) {
  TitleMenu.DrawConfig(0);
  EXPECT_TRUE(RowHighlighted(0));
  EXPECT_GT(CountIn(Presented(), TitleArea, 0xFFC8C8), 500);
  int row = 0;
  TitleMenu.MoveConfigCursor(-1, row);
  EXPECT_EQ(row, 3);
  EXPECT_TRUE(RowHighlighted(3));
  TitleMenu.MoveConfigCursor(+1, row);
  EXPECT_EQ(row, 0);
  EXPECT_TRUE(RowHighlighted(0));
  TitleMenu.MoveConfigCursor(+1, row);
  EXPECT_TRUE(RowHighlighted(1));
}

// Leftmost and rightmost overlay columns that are not transparent in a row's band.
std::pair<int, int> InkColumns(int row) {
  IDirectDrawSurface* overlay = Renderer.overlaySurface;
  int left = OverlayWidth, right = -1;
  for (int y = 100 + 32 * row; y < 124 + 32 * row; ++y)
    for (int x = 150; x < OverlayWidth; ++x)
      if (overlay->pixels[y * overlay->pitch + x] != PixelOf(KeyColor)) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  return {left, right};
}

TEST_F(ConfigTest, ValuesStandInTheirColumnUnlessTheyWouldRunOffTheEdge) {
  Options[OptionQuality] = 0;  // "FLAT": narrow, stays in the column
  TitleMenu.DrawConfig(3);
  auto [flatLeft, flatRight] = InkColumns(3);
  EXPECT_GE(flatLeft, 180);
  EXPECT_LT(flatRight, 260);
  Options[OptionQuality] = 2;  // "UNLIGHT FLAT": too wide for the column in the stand-in face
  TitleMenu.DrawConfig(3);
  auto [wideLeft, wideRight] = InkColumns(3);
  const int width = Overlay.MeasureStyledText("UNLIGHT FLAT", 20, 8, 800, 0, StyledFace, 128);
  if (180 + width + 3 > OverlayWidth) {
    EXPECT_LT(wideLeft, 180);
  }
  EXPECT_LT(wideRight, OverlayWidth - 1) << "the value or its shadow is cut at the edge";
  EXPECT_GT(wideLeft, 32 + Overlay.MeasureStyledText("QUALITY", 20, 8, 800, 0, StyledFace, 128));
  Options[OptionQuality] = 0;
}

TEST_F(ConfigTest, QualityCyclesAndTakesEffectOnlyWhenTheScreenIsLeft) {
  std::vector<uint32_t> flatMenu = Presented();
  const char* const cycle[] = {"WIREFRAME", "UNLIGHT FLAT", "GOURAUD",
                               "FLAT",      "WIREFRAME",    "UNLIGHT FLAT"};
  std::vector<int> values;
  Steps steps{{Up()}};
  for (int i = 0; i < 6; ++i) steps.push_back({Select()});
  steps.insert(steps.end(), {{Down()}, {Select()}});
  KeyScript keys(steps, [&](int step) {
    if (step < 1 || step > 6) return;
    values.push_back(Options[OptionQuality]);
    EXPECT_TRUE(ValueShown(3, cycle[step - 1])) << "selection " << step;
    EXPECT_EQ(Renderer.device->GetQuality(), D3DRMRENDER_FLAT);
  });
  EXPECT_EQ(ExitCodeOf([] { TitleMenu.RunConfig(); }), std::nullopt);

  EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 0, 1, 2}));
  EXPECT_EQ(FileBytes("option.dat"), std::string("\0\0\0\2", 4));
  EXPECT_EQ(Renderer.device->GetQuality(), D3DRMRENDER_UNLITFLAT);
  EXPECT_TRUE(MenuShowsHighlighted(0));
  EXPECT_GT(DifferencesOutside(
                Presented(), flatMenu,
                {TitleArea, CreditArea, MenuItemArea(0), MenuItemArea(1), MenuItemArea(2)}),
            1000)
      << "the backdrop is drawn in the new quality";
}

TEST_F(ConfigTest, LeavingWithTheSettingsOfEntryRewritesTheSameBytes) {
  const int8_t stored[4] = {9, 0, 0, 2};
  std::copy(stored, stored + 4, Options);
  std::ofstream("option.dat", std::ios::binary) << "garbage";
  // "SCREEN" changed and changed back counts as no change.
  KeyScript keys({{Down()}, {Down()}, {Select()}, {Select()}, {Up()}, {Up()}, {Select()}});
  EXPECT_EQ(ExitCodeOf([] { TitleMenu.RunConfig(); }), std::nullopt);
  EXPECT_EQ(FileBytes("option.dat"), std::string("\x09\0\0\x02", 4));
  EXPECT_EQ(Renderer.device->GetQuality(), D3DRMRENDER_UNLITFLAT);
  EXPECT_TRUE(InScene(TitleMenu.craftFrame));
  EXPECT_TRUE(MenuShowsHighlighted(0));
}

class DisplayChangeTest : public ConfigTest, public ::testing::WithParamInterface<int> {};

TEST_P(DisplayChangeTest, SavesReleasesEverythingAndEndsWithExitCode1) {
  const int row = GetParam();
  AddSceneLight();
  Steps steps;
  for (int i = 0; i < row; ++i) steps.push_back({Down(1)});
  steps.push_back({Select(1)});
  for (int i = 0; i < row; ++i) steps.push_back({Up(1)});
  steps.push_back({Select(1)});
  KeyScript keys(steps);
  EXPECT_EQ(ExitCodeOf([] { TitleMenu.RunConfig(); }), 1);

  std::string expected(4, '\0');
  expected[row] = 1;
  EXPECT_EQ(FileBytes("option.dat"), expected);
  // Every reference of the Renderer, the menu's frames and the models is given back; only the
  // scene light and its frame, which the shell holds, are left.
  const void* held[] = {
      Renderer.directDraw,  Renderer.rm,           Renderer.device,         Renderer.scene,
      Renderer.viewFull,    Renderer.camera[0],    Renderer.primarySurface, Renderer.overlaySurface,
      TitleMenu.craftFrame, TitleMenu.groundFrame, Match.craftModel,        Match.debrisModel,
      TitleScene.model};
  for (size_t i = 0; i < std::size(held); ++i) EXPECT_EQ(held[i], nullptr) << "slot " << i;
  EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_ + 2);
  EXPECT_EQ(LightFrame->RefCount(), 1u);

  LoadOptions();
  EXPECT_EQ(FullScreen, row == OptionFullScreen ? 1 : 0);
  EXPECT_EQ(ScreenWidth, row == OptionScreenSize ? 640 : 320);
  EXPECT_EQ(ScreenHeight, row == OptionScreenSize ? 480 : 240);
}

INSTANTIATE_TEST_SUITE_P(FullScreenAndScreenSize, DisplayChangeTest,
                         ::testing::Values(OptionFullScreen, OptionScreenSize));

TEST_F(ConfigTest, AnUnwritableFileEndsWithoutApplyingTheQuality) {
  std::filesystem::create_directory("option.dat");
  KeyScript keys({{Up()}, {Select()}, {Down()}, {Select()}});
  EXPECT_EQ(ExitCodeOf([] { TitleMenu.RunConfig(); }), 1);
  EXPECT_EQ(Renderer.device->GetQuality(), D3DRMRENDER_FLAT);
  EXPECT_TRUE(std::filesystem::is_directory("option.dat"));
}

TEST_F(ConfigTest, BothPlayersKeysInOnePassActInOrder) {
  // Player 0 leaves while player 1 moves: the move is made and drawn, then the screen is left.
  int presents = HeadlessControl::PresentCount();
  {
    KeyScript keys({{Select(0), Down(1)}});
    EXPECT_EQ(ExitCodeOf([] { TitleMenu.RunConfig(); }), std::nullopt);
  }
  EXPECT_EQ(HeadlessControl::PresentCount() - presents, 3) << "entry, the move, the menu";
  EXPECT_EQ(FileBytes("option.dat"), std::string(4, '\0'));

  // Player 0 moves to "FULL SCREEN" before player 1's select acts on it.
  std::vector<int8_t> fullScreen;
  KeyScript keys({{Down(0), Select(1)}, {Select(0)}, {Up(1)}, {Select(1)}},
                 [&](int) { fullScreen.push_back(Options[OptionFullScreen]); });
  EXPECT_EQ(ExitCodeOf([] { TitleMenu.RunConfig(); }), std::nullopt);
  EXPECT_EQ(fullScreen, (std::vector<int8_t>{1, 0, 0}));
}

}  // namespace
