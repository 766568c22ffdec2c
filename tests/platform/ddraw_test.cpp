#include "platform/ddraw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "platform/d3drm.h"
#include "platform/gdi.h"
#include "platform/win.h"

namespace {

uint32_t At(IDirectDrawSurface* s, int x, int y) {
  return s->pixels[static_cast<size_t>(y) * s->pitch + x];
}

// Every pixel gets a value that names its position.
void Number(IDirectDrawSurface* s) {
  for (int y = 0; y < s->height; ++y)
    for (int x = 0; x < s->width; ++x)
      s->pixels[static_cast<size_t>(y) * s->pitch + x] = static_cast<uint32_t>((y << 12) | x);
}

LRESULT TestWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessControl::Enable();
    liveAtStart = RefCounted::LiveObjectCount();
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  }
  void TearDown() override {
    dd->Release();
    EXPECT_EQ(RefCounted::LiveObjectCount(), liveAtStart);  // nothing left behind
  }
  IDirectDrawSurface* Make(int w, int h) {
    DDSURFACEDESC desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    desc.dwWidth = static_cast<DWORD>(w);
    desc.dwHeight = static_cast<DWORD>(h);
    IDirectDrawSurface* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &s, nullptr), DD_OK);
    return s;
  }
  // A headless window whose drawing area is w x h, and the primary surface on it.
  IDirectDrawSurface* Primary(int w, int h, bool fullScreen, HWND* window) {
    WNDCLASSA wc;
    wc.lpfnWndProc = TestWindowProc;
    wc.lpszClassName = "SurfaceTestWindow";
    RegisterClassA(&wc);  // again after every reset of the layer
    *window =
        CreateWindowExA(0, wc.lpszClassName, "test", fullScreen ? WS_POPUP : WS_CAPTION, 0, 0,
                        w + 2 * GetSystemMetrics(SM_CXBORDER) + 4,
                        h + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4,
                        nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(*window, nullptr);
    EXPECT_EQ(dd->SetCooperativeLevel(
                  *window, fullScreen ? DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN : DDSCL_NORMAL),
              DD_OK);
    if (fullScreen) {
      EXPECT_EQ(dd->SetDisplayMode(640, 480, 16), DD_OK);
    }
    DDSURFACEDESC desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
    IDirectDrawSurface* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &s, nullptr), DD_OK);
    return s;
  }
  IDirectDraw* dd = nullptr;
  long liveAtStart = 0;
};

TEST_F(SurfaceTest, ColourFillAndCopyClipToBothSurfaces) {
  IDirectDrawSurface* dst = Make(6, 6);
  DDBLTFX fx;
  fx.dwFillColor = 0x12345678;  // a raw pixel value, not a colour
  ASSERT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
  fx.dwFillColor = 7;
  RECT r{-3, 4, 2, 50};  // past the left and bottom edges
  ASSERT_EQ(dst->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At(dst, x, y), (x < 2 && y >= 4) ? 7u : 0x12345678u);

  // A destination above and left of the surface, and a source rectangle running off its surface:
  // what is copied lands where the whole rectangles put it.
  IDirectDrawSurface* src = Make(10, 10);
  Number(src);
  RECT d{-2, -3, 4, 3}, s{5, 6, 11, 12};
  ASSERT_EQ(dst->Blt(&d, src, &s, DDBLT_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool copied = x < 4 && y < 3 && x + 7 < 10 && y + 9 < 10;
      const uint32_t before = (x < 2 && y >= 4) ? 7u : 0x12345678u;
      EXPECT_EQ(At(dst, x, y), copied ? At(src, x + 7, y + 9) : before) << x << "," << y;
    }

  // Bad requests are refused and change nothing.
  RECT inverted{3, 3, 1, 1}, backwards{3, 0, 1, 4};  // reversed both ways; across only
  EXPECT_NE(dst->Blt(&inverted, src, nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->Blt(nullptr, src, &backwards, 0, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_NE(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DD_OK);
  EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DDERR_NOCOLORKEY);
  RECT far{1 << 30, 1 << 30, (1 << 30) + 4, (1 << 30) + 4};
  EXPECT_EQ(dst->Blt(&far, src, nullptr, 0, nullptr), DD_OK);
  RECT everything{INT32_MIN, 0, INT32_MAX, 4};
  EXPECT_NE(dst->Blt(&everything, src, nullptr, 0, nullptr), DD_OK);
  DDSURFACEDESC huge;
  huge.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  huge.dwWidth = 100000;
  huge.dwHeight = 10;
  IDirectDrawSurface* none = nullptr;
  EXPECT_NE(dd->CreateSurface(&huge, &none, nullptr), DD_OK);
  EXPECT_EQ(none, nullptr);
  src->Release();
  dst->Release();
}

TEST_F(SurfaceTest, LockAndDeviceContextExcludeEachOther) {
  IDirectDrawSurface* s = Make(5, 4);
  DDSURFACEDESC desc;
  RECT r{2, 1, 4, 3};
  ASSERT_EQ(s->Lock(&r, &desc, 0, nullptr), DD_OK);
  EXPECT_EQ(desc.lPitch, 5 * 4);                         // bytes
  static_cast<uint32_t*>(desc.lpSurface)[0] = 0xABCDEF;  // the rectangle's first pixel
  HDC dc = nullptr;
  EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
  ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
  EXPECT_EQ(At(s, 2, 1), 0xABCDEFu);
  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  EXPECT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->ReleaseDC(reinterpret_cast<HDC>(2)), DDERR_NODC);  // not the one handed out
  EXPECT_EQ(s->ReleaseDC(dc), DD_OK);
  RECT past{3, 2, 6, 4};  // one column past the right edge
  EXPECT_EQ(s->Lock(&past, &desc, 0, nullptr), DDERR_INVALIDPARAMS);
  ASSERT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DD_OK);  // the whole surface, as the game locks it
  EXPECT_EQ(desc.lpSurface, s->pixels.data());
  s->Unlock(nullptr);
  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  s->Release();  // a surface destroyed with its context out takes the context with it
}

TEST_F(SurfaceTest, PalettesAndClippersAreReferencedUntilTheSurfaceGoes) {
  IDirectDrawSurface* s = Make(4, 4);
  PALETTEENTRY entries[256];
  IDirectDrawPalette* palette = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr), DD_OK);
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
  s->SetPalette(palette);
  s->SetPalette(palette);  // once is enough
  s->SetClipper(clipper);
  EXPECT_EQ(palette->RefCount(), 2u);
  EXPECT_EQ(clipper->RefCount(), 2u);
  s->Release();
  EXPECT_EQ(palette->Release(), 0u);
  EXPECT_EQ(clipper->Release(), 0u);
}

TEST_F(SurfaceTest, WindowedPrimaryIsTheDrawingAreaInScreenCoordinates) {
  HWND window = nullptr;
  IDirectDrawSurface* primary = Primary(40, 30, false, &window);
  ASSERT_TRUE(primary->width == 40 && primary->height == 30);
  const POINT origin = ClientOriginOf(window);
  ASSERT_NE(origin.x, 0);
  EXPECT_EQ(primary->Origin().x, origin.x);
  EXPECT_EQ(primary->Origin().y, origin.y);

  // A copy to the screen position is clipped to the drawing area and shown at once.
  IDirectDrawSurface* back = Make(40, 30);
  Number(back);
  const int presents = HeadlessControl::PresentCount();
  RECT d{origin.x + 10, origin.y - 5, origin.x + 50, origin.y + 25}, s{0, 0, 40, 30};
  ASSERT_EQ(primary->Blt(&d, back, &s, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(HeadlessControl::PresentCount(), presents + 1);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(At(primary, x, y), (x >= 10 && y < 25) ? At(back, x - 10, y + 5) : 0u);

  // Its device context draws in screen coordinates, and giving it back shows the result.
  HDC dc = nullptr;
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  SetPixel(dc, origin.x + 1, origin.y + 2, 0x0000FF);
  ASSERT_EQ(primary->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(HeadlessControl::PresentCount(), presents + 2);
  EXPECT_EQ(At(primary, 1, 2), 0xFF0000u);
  // A lock takes screen coordinates too, and unlocking shows what was written.
  DDSURFACEDESC desc;
  RECT r{origin.x + 3, origin.y + 4, origin.x + 5, origin.y + 6};
  ASSERT_EQ(primary->Lock(&r, &desc, 0, nullptr), DD_OK);
  static_cast<uint32_t*>(desc.lpSurface)[0] = 0xABCDEF;
  ASSERT_EQ(primary->Unlock(nullptr), DD_OK);
  EXPECT_EQ(At(primary, 3, 4), 0xABCDEFu);
  EXPECT_EQ(HeadlessControl::PresentCount(), presents + 3);
  back->Release();
  primary->Release();
  DestroyWindow(window);
}

}  // namespace
