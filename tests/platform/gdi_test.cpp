#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Magenta = 0xFF00FF;

// A magenta buffer with a device context on it.
struct Canvas {
  int width, height;
  std::vector<uint32_t> pixels;
  HDC dc;
  Canvas(int w, int h, POINT origin = POINT{}) : width(w), height(h), pixels(w * h, Magenta) {
    dc = CreateBufferDC(pixels.data(), w, h, w, origin);
  }
  ~Canvas() { DeleteBufferDC(dc); }
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  int Count(uint32_t value) const {
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), value));
  }
  // The box around every pixel that is not magenta: {left, top, right, bottom}, exclusive.
  std::vector<LONG> Ink() const {
    std::vector<LONG> r{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (At(x, y) != Magenta)
          r = {std::min<LONG>(r[0], x), std::min<LONG>(r[1], y), std::max<LONG>(r[2], x + 1),
               std::max<LONG>(r[3], y + 1)};
    return r;
  }
};

HFONT Font(int height, int width = 0, int weight = FW_NORMAL, int italic = 0,
           const char* face = "IPAPMincho") {
  return CreateFontA(height, width, 0, 0, weight, static_cast<DWORD>(italic), 0, 0,
                     SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

int Len(const char* s) {
  return static_cast<int>(std::strlen(s));
}

LONG Width(HDC dc, const char* text) {
  SIZE size;
  EXPECT_TRUE(GetTextExtentPoint32A(dc, text, Len(text), &size));
  return size.cx;
}

bool HaveFonts() {
  HFONT f = Font(20);
  const bool have = *FontFileOf(f) != '\0';
  DeleteObject(f);
  return have;
}

TEST(DeviceContextTest, FreshContextHasTheDefaults) {
  Canvas c(200, 40);
  EXPECT_EQ(GetTextColor(c.dc), 0u);
  EXPECT_EQ(GetBkColor(c.dc), 0xFFFFFFu);
  EXPECT_EQ(GetBkMode(c.dc), OPAQUE);
  TEXTMETRICA tm;
  ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
  EXPECT_EQ(tm.tmHeight, 16);
  HDC window = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(window, BITSPIXEL), 32);
  ReleaseDC(nullptr, window);
}

TEST(TextTest, ExtentIsTheSumOfAdvancesAndBadTextIsHarmless) {
  ASSERT_TRUE(HaveFonts()) << "no font: the tests' own configuration names IPA P Mincho";
  Canvas c(400, 60);
  HFONT natural = Font(40);
  HGDIOBJ old = SelectObject(c.dc, natural);
  const LONG a = Width(c.dc, "W"), b = Width(c.dc, "IN!");
  EXPECT_EQ(Width(c.dc, "WIN!"), a + b);
  SIZE part;
  GetTextExtentPoint32A(c.dc, "WIN!", 1, &part);  // only the bytes given count
  EXPECT_EQ(part.cx, a);
  // In opaque mode the filled box is the extent by the cell height.
  SetBkColor(c.dc, 0x123456);
  TextOutA(c.dc, 5, 5, "WIN!", 4);
  EXPECT_EQ(c.Ink(), (std::vector<LONG>{5, 5, 5 + a + b, 45}));
  EXPECT_EQ(c.At(5, 5), 0x563412u);
  SelectObject(c.dc, old);
  EXPECT_TRUE(DeleteObject(natural));

  // A three-byte character ends where its bytes do: a stray continuation byte after it is a
  // character of its own.
  EXPECT_EQ(Width(c.dc, "\xE3\x81\x82\x80"), Width(c.dc, "\xE3\x81\x82") + Width(c.dc, "\x80"));
  // Malformed UTF-8 and texts far off the buffer are harmless.
  const std::vector<uint32_t> before = c.pixels;
  const char bad[] =
      "\xE3\x81"
      "A\xFF\xC0\x80\xF4\x90\x80\x80\xED\xA0\x80";
  EXPECT_TRUE(TextOutA(c.dc, 0, -1000, bad, Len(bad)));
  EXPECT_TRUE(TextOutA(c.dc, -2000000000, 2000000000, "WIN!", 4));
  EXPECT_FALSE(TextOutA(c.dc, 0, 0, "A", -1));
  EXPECT_TRUE(TextOutA(c.dc, 0, 0, nullptr, 0));  // nothing to draw is no fault
  EXPECT_EQ(c.pixels, before);
}

// Capitals stand on the baseline, a descender reaches below it inside the cell, and a buffer that
// sees part of the picture shows that part cropped, wherever the words are cut.
TEST(TextTest, WordsSitOnTheBaselineAndTheBufferEdgesCropThem) {
  ASSERT_TRUE(HaveFonts()) << "no font: the tests' own configuration names IPA P Mincho";
  HFONT font = Font(40);
  Canvas wide(300, 140), part(60, 30, POINT{100, 50});  // part sees wide from (100, 50)
  HGDIOBJ old = nullptr;
  for (HDC dc : {wide.dc, part.dc}) {
    old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0xFFFFFF);
  }
  TEXTMETRICA tm;
  GetTextMetricsA(wide.dc, &tm);
  TextOutA(wide.dc, 10, 20, "WIN", 3);
  EXPECT_NEAR(wide.Ink()[3], 20 + tm.tmAscent, 1);
  std::fill(wide.pixels.begin(), wide.pixels.end(), Magenta);
  TextOutA(wide.dc, 10, 20, "gyp", 3);
  EXPECT_GT(wide.Ink()[3], 20 + tm.tmAscent + tm.tmDescent / 2);
  EXPECT_LE(wide.Ink()[3], 20 + tm.tmHeight);
  for (auto [x, y] : {std::pair{70, 35}, {130, 60}, {140, 40}, {90, 65}, {150, 70}}) {
    for (Canvas* c : {&wide, &part}) {
      std::fill(c->pixels.begin(), c->pixels.end(), Magenta);
      TextOutA(c->dc, x, y, "WIN!", 4);
    }
    EXPECT_LT(part.Count(Magenta), 60 * 30) << x << "," << y;
    for (int py = 0; py < 30; ++py)
      for (int px = 0; px < 60; ++px)
        ASSERT_EQ(part.At(px, py), wide.At(100 + px, 50 + py)) << x << "," << y;
  }
  for (HDC dc : {wide.dc, part.dc}) SelectObject(dc, old);
  EXPECT_TRUE(DeleteObject(font));
}

TEST(BrushTest, PatBltAndPixels) {
  Canvas c(10, 8, POINT{100, 200});  // context coordinates are offset by the origin
  HBRUSH red = CreateSolidBrush(0x0000FF);
  HGDIOBJ previous = SelectObject(c.dc, red);
  EXPECT_TRUE(PatBlt(c.dc, 108, 206, -10, 50, PATCOPY));  // a negative width runs left
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(c.At(x, y), (x < 8 && y >= 6) ? 0xFF0000u : Magenta);
  EXPECT_FALSE(PatBlt(c.dc, 100, 200, 2, 2, 0x00CC0020));  // only pattern copies
  SelectObject(c.dc, previous);
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_FALSE(DeleteObject(previous));  // stock objects are never deleted

  // Single pixels: COLORREF 0x00BBGGRR is pixel 0x00RRGGBB.
  EXPECT_EQ(SetPixel(c.dc, 101, 202, 0x00336699), 0x00336699u);
  EXPECT_EQ(c.At(1, 2), 0x00996633u);
  EXPECT_EQ(GetPixel(c.dc, 101, 202), 0x00336699u);
  EXPECT_EQ(GetPixel(c.dc, 99, 200), CLR_INVALID);
  EXPECT_EQ(GetPixel(c.dc, 100, 200), Magenta);  // the buffer's first pixel
}

TEST(LineTest, LinesStopBeforeTheirEndPoint) {
  Canvas c(20, 20);
  HPEN pen = CreatePen(PS_SOLID, 1, 0xFFFFFF);
  HGDIOBJ previous = SelectObject(c.dc, pen);
  MoveToEx(c.dc, 2, 3, nullptr);
  LineTo(c.dc, 7, 3);
  POINT was;
  MoveToEx(c.dc, 9, 9, &was);
  EXPECT_EQ(was.x, 7);  // LineTo moved the position to its end
  LineTo(c.dc, 9, 5);
  LineTo(c.dc, 6, 8);  // a diagonal from there
  const std::vector<std::pair<int, int>> want = {{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {9, 9},
                                                 {9, 8}, {9, 7}, {9, 6}, {9, 5}, {8, 6}, {7, 7}};
  for (auto [x, y] : want) EXPECT_EQ(c.At(x, y), 0xFFFFFFu) << x << "," << y;
  EXPECT_EQ(c.Count(0xFFFFFF), static_cast<int>(want.size()));

  // A wide pen draws a square around every point; a line from two thousand million pixels away
  // draws just its visible part, at once.
  std::fill(c.pixels.begin(), c.pixels.end(), Magenta);
  HPEN wide = CreatePen(PS_SOLID, 3, 0x0000FF);
  SelectObject(c.dc, wide);
  DeleteObject(pen);
  MoveToEx(c.dc, 5, 10, nullptr);
  LineTo(c.dc, 10, 10);
  EXPECT_EQ(c.Count(0xFF0000), 7 * 3);
  EXPECT_EQ(c.Ink(), (std::vector<LONG>{4, 9, 11, 12}));
  SelectObject(c.dc, previous);
  DeleteObject(wide);
  std::fill(c.pixels.begin(), c.pixels.end(), Magenta);
  MoveToEx(c.dc, -2000000000, 2, nullptr);
  LineTo(c.dc, 2000000000, 2);
  EXPECT_EQ(c.Count(0), 20);
}

}  // namespace
