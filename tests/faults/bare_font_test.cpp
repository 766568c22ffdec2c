// A machine without the game's own face, where only DejaVu is installed: a serif face that reads
// well stands in for it, stderr names the stand-in once, and the texts keep their size.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "overlay/overlay.h"
#include "platform/gdi.h"
#include "support/fonts.h"

namespace {

HFONT StyledFont(int height, int width) {
  return CreateFontA(height, width, 0, 0, 800, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, StyledFace);
}

TEST(BareFontTest, DejaVuSerifStandsInNamedOnceAndTheMenuKeepsItsSize) {
  game::UseFonts(testing::TempDir() + "gronka-dejavu.conf", "/usr/share/fonts/truetype/dejavu");

  testing::internal::CaptureStderr();
  HFONT menu = StyledFont(20, 8), result = StyledFont(30, 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_STREQ(FontFamilyOf(menu), "DejaVu Serif");
  EXPECT_STREQ(FontFamilyOf(result), "DejaVu Serif");
  EXPECT_NE(said.find("IPAPMincho is missing"), std::string::npos) << said;
  EXPECT_NE(said.find("DejaVu Serif stands in"), std::string::npos) << said;
  EXPECT_EQ(said.find("stands in"), said.rfind("stands in")) << "said more than once: " << said;

  // The menu's words at their size: as wide as five characters of the width asked for, roughly.
  std::vector<uint32_t> pixels(200 * 40);
  HDC dc = CreateBufferDC(pixels.data(), 200, 40, 200, POINT{});
  SelectObject(dc, menu);
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32A(dc, "START", 5, &size));
  EXPECT_GE(size.cx, 30);
  EXPECT_LE(size.cx, 60);
  EXPECT_EQ(size.cy, 20);
  DeleteBufferDC(dc);
  DeleteObject(menu);
  DeleteObject(result);
}

}  // namespace
