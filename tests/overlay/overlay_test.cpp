#include "overlay/overlay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gdi.h"
#include "render/renderer.h"
#include "shell/app.h"
#include "shell/options.h"
#include "support/headless.h"

namespace {

constexpr uint32_t Magenta = 0xFF00FF;

uint32_t At(IDirectDrawSurface* s, int x, int y) {
  return s->pixels[static_cast<size_t>(y) * s->pitch + x];
}

// The game's display in headless operation: window, Renderer and Overlay, as start-up makes them.
class OverlayTest : public HeadlessTest {
 protected:
  void Start(int width, int height, int fullScreen = 0) {
    ScreenWidth = width;
    ScreenHeight = height;
    FullScreen = fullScreen;
    ASSERT_NE(OpenHeadlessWindow(), nullptr);
    ASSERT_TRUE(Renderer.Init(MainWindow, ScreenWidth, ScreenHeight, FullScreen));
    Overlay.Init();
  }
  void TearDown() override {
    Renderer.Teardown();
    Renderer.Reset();
    Overlay = {};
    HeadlessTest::TearDown();
  }

  // Pixel widths of texts drawn in the game's styled face at a size.
  static LONG WidthOf(const std::string& text, int height) {
    HDC dc = CreateBufferDC(nullptr, 0, 0, 0, POINT{});
    HFONT font =
        CreateFontA(height, 0, 0, 0, 800, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, StyledFace);
    SelectObject(dc, font);
    SIZE size;
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    DeleteBufferDC(dc);
    DeleteObject(font);
    return size.cx;
  }

  // Every overlay pixel is one of the given values.
  static void ExpectOnly(IDirectDrawSurface* s, std::initializer_list<uint32_t> allowed) {
    int odd = 0;
    for (uint32_t p : s->pixels)
      odd += std::find(allowed.begin(), allowed.end(), p) == allowed.end();
    EXPECT_EQ(odd, 0);
  }
};

TEST_F(OverlayTest, CompositeDoublesTheOverlayAndLeavesKeyPixelsTransparent) {
  Start(640, 480);
  IDirectDrawSurface* overlay = Overlay.overlaySurface;
  IDirectDrawSurface* back = Overlay.backSurface;
  ExpectOnly(overlay, {Magenta});   // Init clears it to the key
  EXPECT_EQ(overlay->dc, nullptr);  // and keeps no context
  Overlay.DrawStyledText(32, 40, 0, 0, "START", 22, 0, 800, 3, 0x00FFFF, 0, StyledFace, 128, 0);
  overlay->pixels[0] = 0x123456;               // a lone pixel in the corner
  Overlay.FillRect(0, 0, 640, 480, 0xFF0000);  // the "3-D picture": all blue
  const int presents = HeadlessControl::PresentCount();
  PresentOverlay();
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint32_t o = At(overlay, x / 2, y / 2);
      ASSERT_EQ(At(back, x, y), o == Magenta ? 0x0000FFu : o) << x << "," << y;
    }
  // The overlay itself stays as drawn, and the composite went to the screen.
  EXPECT_EQ(At(overlay, 0, 0), 0x123456u);
  EXPECT_EQ(HeadlessControl::PresentCount(), presents + 1);
  int w = 0, h = 0;
  const uint32_t* shown = HeadlessControl::LastPresentedPixels(&w, &h);
  ASSERT_EQ(w * h, 640 * 480);
  EXPECT_EQ(std::memcmp(shown, back->pixels.data(), 640 * 480 * 4), 0);
}

TEST_F(OverlayTest, ASecondColourCoversTheFirstAndNothingElseIsDrawn) {
  Start(320, 240);
  // Red first, then white at the same place: the glyphs cover the same pixels, and the only
  // other colours are the black shadow and the key.
  for (COLORREF colour : {0x0000FFu, 0xFFFFFFu})
    Overlay.DrawStyledText(-1, 60, 160, 0, "CONFIG 設定", 22, 8, 800, 3, colour, 0, StyledFace, 128,
                           0);
  ExpectOnly(Overlay.overlaySurface, {Magenta, 0xFFFFFF, 0});
  EXPECT_GT(std::count(Overlay.overlaySurface->pixels.begin(), Overlay.overlaySurface->pixels.end(),
                       0xFFFFFFu),
            100);
  Overlay.Clear();
  ExpectOnly(Overlay.overlaySurface, {Magenta});
}

TEST_F(OverlayTest, CentringTruncatesTheHalfWidth) {
  Start(320, 240);
  // Find a text exactly 101 pixels wide at height 22; failing that, any odd width.
  std::string text;
  const LONG m = WidthOf("M", 22), i = WidthOf("i", 22), e = WidthOf("e", 22);
  for (int a = 0; a <= 8 && text.empty(); ++a)
    for (int b = 0; b <= 30 && text.empty(); ++b)
      for (int c = 0; c <= 12 && text.empty(); ++c)
        if (a * m + b * i + c * e == 101)
          text = std::string(a, 'M') + std::string(b, 'i') + std::string(c, 'e');
  if (text.empty()) text = WidthOf("Mi", 22) % 2 ? "Mi" : "Mii";
  const LONG width = WidthOf(text, 22);
  ASSERT_EQ(width % 2, 1);
  const int expectedX = width == 101 ? 110 : 160 - (width - 1) / 2;

  IDirectDrawSurface* overlay = Overlay.overlaySurface;
  // Height 21: the vertical half is truncated too (120 - 10).
  EXPECT_EQ(Overlay.DrawStyledText(-1, -1, 160, 120, text.c_str(), 21, 0, 800, 0, 0xFFFFFF, 0,
                                   StyledFace, 128, 0),
            21);
  const std::vector<uint32_t> centred = overlay->pixels;
  Overlay.Clear();
  Overlay.DrawStyledText(expectedX, 110, 0, 0, text.c_str(), 21, 0, 800, 0, 0xFFFFFF, 0, StyledFace,
                         128, 0);
  EXPECT_EQ(overlay->pixels, centred) << text;
}

TEST_F(OverlayTest, FrameRectangleIsFourLinesMeetingAtTheCorners) {
  Start(320, 240);
  IDirectDrawSurface* back = Overlay.backSurface;
  Renderer.ClearBackBuffer();
  Overlay.FillRect(8, 8, 3 * 14, 12, 0x0000FF);
  Overlay.DrawFrameRect(8, 8, 140, 12, 1, 0xFFFFFF);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      const bool outline = ((x == 8 || x == 148) && y >= 8 && y <= 20) ||
                           ((y == 8 || y == 20) && x >= 8 && x <= 148);
      const bool fill = x >= 8 && x < 8 + 42 && y >= 8 && y < 20;
      const uint32_t want = outline ? 0xFFFFFF : fill ? 0xFF0000 : 0;
      ASSERT_EQ(At(back, x, y), want) << x << "," << y;
    }
  // Nothing is drawn by an empty fill or a line of no length.
  const std::vector<uint32_t> before = back->pixels;
  Overlay.FillRect(200, 100, 0, 12, 0x0000FF);
  Overlay.DrawLine(200, 100, 0, 0, 1, 0x0000FF);
  EXPECT_EQ(back->pixels, before);
}

TEST_F(OverlayTest, SurfaceColourIsTheDisplaysOwnEncoding) {
  Start(320, 240);
  IDirectDrawSurface* overlay = Overlay.overlaySurface;
  overlay->pixels[0] = 0x00ABCDEF;
  EXPECT_EQ(MatchSurfaceColor(overlay, KeyColor), 0xFF00FFu);
  EXPECT_EQ(MatchSurfaceColor(overlay, 0x00336699), 0x00996633u);  // COLORREF is BGR
  EXPECT_EQ(overlay->pixels[0], 0x00ABCDEFu);                      // put back
  EXPECT_EQ(MatchSurfaceColor(nullptr, KeyColor), CLR_INVALID);

  // A surface that cannot be locked gives CLR_INVALID, and a key of that value no longer
  // matches the magenta of a cleared overlay.
  HDC held = nullptr;
  ASSERT_EQ(overlay->GetDC(&held), DD_OK);
  EXPECT_EQ(MatchSurfaceColor(overlay, KeyColor), CLR_INVALID);
  EXPECT_EQ(ApplyColorKey(overlay, KeyColor), DD_OK);
  EXPECT_EQ(overlay->colorKey.dwColorSpaceLowValue, CLR_INVALID);
  overlay->ReleaseDC(held);
}

}  // namespace
