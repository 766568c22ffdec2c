// The whole program where no font can be found at all: the texts are not drawn, and everything
// else goes on as usual.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "overlay/overlay.h"
#include "platform/gdi.h"
#include "soak/soak.h"
#include "support/fonts.h"

namespace {

// Pixels of the 320 x 240 text layer that are not the transparent colour.
int Written() {
  const IDirectDrawSurface* surface = Renderer.overlaySurface;
  if (surface == nullptr) return -1;
  const uint32_t key = MatchSurfaceColor(Renderer.overlaySurface, KeyColor);
  int n = 0;
  for (int y = 0; y < OverlayHeight; ++y)
    for (int x = 0; x < OverlayWidth; ++x)
      n += (surface->pixels[static_cast<size_t>(y) * surface->pitch + x] & 0xFFFFFF) != key;
  return n;
}

TEST(NoFontTest, TextsAreNotDrawnStandardErrorSaysSoAndTheGameGoesOn) {
  game::UseFonts(testing::TempDir() + "gronka-nofont.conf", "");  // no font at all
  testing::internal::CaptureStderr();
  HFONT font = CreateFontA(20, 0, 0, 0, 800, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, StyledFace);
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_STREQ(FontFileOf(font), "") << "a font was found after all";
  EXPECT_NE(said.find("no font found"), std::string::npos) << said;
  // It measures nothing across, and its cell is as high as asked.
  uint32_t pixel = 0;
  HDC dc = CreateBufferDC(&pixel, 1, 1, 1, POINT{});
  SelectObject(dc, font);
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPoint32A(dc, "WIN", 3, &size));
  EXPECT_EQ(std::make_pair(size.cx, size.cy), std::make_pair(LONG{0}, LONG{20}));
  DeleteBufferDC(dc);
  DeleteObject(font);

  long screens[6] = {}, textPixels = 0;
  soak::Report report;
  {
    game::WorkDirectory work;
    soak::Settings settings;
    settings.seed = 3;
    settings.frames = 1500;
    settings.escape = 1.0 / 300;
    settings.config = 0.4;
    // The menus, the config screen and the result screen draw nothing but texts on the layer.
    settings.observe = [&](soak::Screen screen) {
      ++screens[static_cast<int>(screen)];
      if (screen == soak::Screen::Menu || screen == soak::Screen::Config ||
          screen == soak::Screen::Result)
        textPixels += Written();
    };
    report = soak::Run(settings);
  }
  soak::Print(report, stdout);
  EXPECT_EQ(report.problems.count, 0);
  EXPECT_EQ(report.framesOfPlay, 1500);
  EXPECT_EQ(textPixels, 0);
  EXPECT_GT(screens[static_cast<int>(soak::Screen::Menu)], 0);
  EXPECT_GT(screens[static_cast<int>(soak::Screen::Config)], 0);
  EXPECT_GT(screens[static_cast<int>(soak::Screen::Result)], 0);
}

}  // namespace
