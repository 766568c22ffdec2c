// The opening scene and the title menu.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "frontend/frontend_fixture.h"
#include "platform/gdi.h"
#include "shell/pacing.h"

namespace {

class TitleSceneTest : public FrontEndTest {};
class TitleMenuTest : public FrontEndTest {};

// The camera's turn about the vertical axis in whole degrees, 0 to 359: looking straight down,
// its up axis is (sin a, 0, cos a).
int CameraTurn() {
  D3DVECTOR up = SceneUp(Camera(0));
  long degrees = std::lround(std::atan2(up.x, up.z) * 180.0 / 3.14159265358979);
  return static_cast<int>((degrees % 360 + 360) % 360);
}

TEST_F(TitleSceneTest, FliesDownForOneHundredFramesThenTakesTheStoredQuality) {
  Options[OptionQuality] = 3;
  std::vector<float> heights;
  std::vector<int> turns;
  int presentsBefore = HeadlessControl::PresentCount();
  DWORD start = timeGetTime();
  FrameScript script([&](int, int pump) {
    if (pump != 0) return;
    heights.push_back(ScenePosition(Camera(0)).y);
    turns.push_back(CameraTurn());
    D3DVECTOR forward = SceneForward(Camera(0));
    EXPECT_NEAR(forward.y, -1.0f, 1e-5f);
    // The model lies in the scene, turned to face the camera; the quality is still the start-up's.
    ASSERT_TRUE(InScene(TitleScene.frame));
    ASSERT_EQ(TitleScene.frame->visuals.size(), 1u);
    EXPECT_EQ(TitleScene.frame->visuals[0], TitleScene.model);
    EXPECT_EQ(Renderer.device->GetQuality(), D3DRMRENDER_FLAT);
  });
  size_t sceneBefore = SceneChildren().size();
  TitleScene.Play();

  EXPECT_EQ(HeadlessControl::PresentCount() - presentsBefore, 100);
  EXPECT_EQ(timeGetTime() - start, 100u * 50u);
  ASSERT_EQ(heights.size(), 100u);
  EXPECT_FLOAT_EQ(heights.front(), 20.0f);
  EXPECT_FLOAT_EQ(heights[1], 19.8f);
  EXPECT_FLOAT_EQ(heights.back(), 0.19999628f);
  // 1000, 989, 979, ..., 29, 19, 9 degrees, seen modulo a whole turn.
  EXPECT_EQ(turns[0], 1000 % 360);
  EXPECT_EQ(turns[1], 989 % 360);
  EXPECT_EQ(turns[2], 979 % 360);
  EXPECT_EQ(turns[99], 9);
  int turned = 0;
  for (size_t i = 1; i < turns.size(); ++i) {
    int step = (turns[i - 1] - turns[i] + 360) % 360;
    EXPECT_TRUE(step == 10 || step == 11) << "frame " << i << " turns by " << step;
    turned += step;
  }
  EXPECT_EQ(turned, 1000 - 9);

  EXPECT_EQ(TitleScene.frame, nullptr);
  EXPECT_EQ(SceneChildren().size(), sceneBefore);
  EXPECT_EQ(Renderer.device->GetQuality(), D3DRMRENDER_GOURAUD);
}

TEST_F(TitleSceneTest, PlaysWithoutWaitingUnderCtrlAndWithoutItsModel) {
  Drop(TitleScene.model);
  WaitEnabled = 0;
  int presentsBefore = HeadlessControl::PresentCount();
  DWORD start = timeGetTime();
  TitleScene.Play();
  EXPECT_EQ(HeadlessControl::PresentCount() - presentsBefore, 100);
  EXPECT_EQ(timeGetTime(), start);
  EXPECT_EQ(TitleScene.frame, nullptr);
}

TEST_F(TitleMenuTest, ShowsTheBackdropAndTheTextsWithStartHighlighted) {
  TitleMenu.cursor = 2;
  TitleMenu.Show();
  EXPECT_EQ(TitleMenu.cursor, 0);
  ASSERT_TRUE(InScene(TitleMenu.craftFrame));
  ASSERT_TRUE(InScene(TitleMenu.groundFrame));
  EXPECT_EQ(TitleMenu.craftFrame->visuals.at(0), Match.craftModel);
  EXPECT_EQ(TitleMenu.groundFrame->visuals.at(0), Match.groundModel);
  EXPECT_NEAR(ScenePosition(TitleMenu.groundFrame).y, -2.0f, 1e-6f);
  EXPECT_NEAR(SceneForward(TitleMenu.groundFrame).y, -std::sqrt(0.5f), 1e-5f);
  D3DVECTOR eye = ScenePosition(Camera(0));
  EXPECT_FLOAT_EQ(eye.x, 1.0f);
  EXPECT_FLOAT_EQ(eye.y, 2.0f);
  EXPECT_FLOAT_EQ(eye.z, -1.0f);

  EXPECT_TRUE(MenuShowsHighlighted(0));
  std::vector<uint32_t> picture = Presented();
  EXPECT_GT(CountIn(picture, TitleArea, 0xFFC8C8), 500);
  EXPECT_GT(CountIn(picture, CreditArea, 0xFFC8FF), 100);
}

TEST_F(TitleMenuTest, CursorWrapsBothWaysAndRedrawsOnlyTheTwoItems) {
  TitleMenu.Show();
  std::vector<uint32_t> menu = Presented();
  // Were the scene rendered again, this camera would show another picture.
  Renderer.SetCameraPosition(0, 3.0, 6.0, -9.0);
  TitleMenu.DrawMenu();
  ASSERT_GT(DifferencesOutside(Presented(), menu, {}), 1000);
  TitleMenu.ReleaseFrames();
  TitleMenu.Show();

  TitleMenu.MoveCursor(-1);
  EXPECT_EQ(TitleMenu.cursor, 2);
  EXPECT_TRUE(MenuShowsHighlighted(2));
  Renderer.SetCameraPosition(0, 3.0, 6.0, -9.0);
  TitleMenu.MoveCursor(+1);
  EXPECT_EQ(TitleMenu.cursor, 0);
  EXPECT_TRUE(MenuShowsHighlighted(0));
  EXPECT_EQ(DifferencesOutside(Presented(), menu, {}), 0);
  TitleMenu.MoveCursor(+1);
  EXPECT_EQ(TitleMenu.cursor, 1);
  EXPECT_TRUE(MenuShowsHighlighted(1));
  EXPECT_EQ(DifferencesOutside(Presented(), menu, {MenuItemArea(0), MenuItemArea(1)}), 0);
}

TEST_F(TitleMenuTest, AfterAMatchTheSameMenuComesBackWithStartHighlighted) {
  TitleMenu.Show();
  std::vector<uint32_t> menu = Presented();
  TitleMenu.MoveCursor(+1);
  long live = RefCounted::LiveObjectCount();
  TitleMenu.ReleaseFrames();
  EXPECT_EQ(TitleMenu.craftFrame, nullptr);
  EXPECT_EQ(TitleMenu.groundFrame, nullptr);
  EXPECT_EQ(RefCounted::LiveObjectCount(), live - 2);

  FrameScript script([](int frame, int pump) {
    if (pump == 0 && frame == IntroFrames + 5) HeadlessControl::KeyDown(VK_ESCAPE);
  });
  Match.RunMatch();
  TitleMenu.Show();
  EXPECT_EQ(TitleMenu.cursor, 0);
  EXPECT_EQ(DifferencesOutside(Presented(), menu, {}), 0);
}

// Texts that run past the overlay's edges, or into each other, are cut off on the screen.
TEST_F(TitleMenuTest, EveryTextFitsOnTheOverlay) {
  HDC dc = nullptr;
  ASSERT_EQ(Renderer.overlaySurface->GetDC(&dc), DD_OK);
  auto width = [&](const char* text, int height, int charWidth) {
    HFONT font = CreateFontA(height, charWidth, 0, 0, 800, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0,
                             StyledFace);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size;
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
    SelectObject(dc, previous);
    DeleteObject(font);
    return static_cast<int>(size.cx);
  };
  const int shadow = 3;
  auto centredFits = [&](const char* text, int centre, int height, int charWidth) {
    int w = width(text, height, charWidth);
    return centre - w / 2 >= 0 && centre - w / 2 + w + shadow <= OverlayWidth;
  };
  EXPECT_TRUE(centredFits(TitleWord, 160, 90, 22));
  EXPECT_TRUE(centredFits(CreditLine, 212, 22, 8))
      << "\"" << CreditLine << "\" is " << width(CreditLine, 22, 8) << " pixels wide";
  for (const char* item : {"START", "CONFIG", "QUIT"}) EXPECT_TRUE(centredFits(item, 212, 20, 0));
  EXPECT_TRUE(centredFits("OPTION", 160, 90, 22));
  int labelsEnd = 0;
  for (const char* label : {"EXIT", "FULL SCREEN", "SCREEN", "QUALITY"}) {
    EXPECT_LT(32 + width(label, 20, 8) + shadow, 180) << label;
    labelsEnd = std::max(labelsEnd, 32 + width(label, 20, 8) + shadow);
  }
  // A value too wide for its column moves left (see the config screen's tests); it must still
  // clear the longest label.
  for (const char* value :
       {"OFF", "ON", "320x240", "640x480", "FLAT", "WIREFRAME", "UNLIGHT FLAT", "GOURAUD"})
    EXPECT_LT(labelsEnd, OverlayWidth - shadow - width(value, 20, 8)) << value;
  Renderer.overlaySurface->ReleaseDC(dc);
}

}  // namespace
