// The life bars, read back from the back buffer at both screen sizes.
#include "overlay/overlay.h"
#include "support/match_harness.h"

namespace {

class HudTest : public MatchTest {};

// Checks one bar along its middle row and its top and bottom edges: outline, `filled` red pixels
// from the left, black inside after them, black in the gap up to the half's right edge.
void ExpectBar(int left, int segment, int barHeight, int life, int halfRight) {
  const uint32_t Red = MatchSurfaceColor(Renderer.backSurface, 0x0000FF) & 0xFFFFFF;
  const uint32_t White = MatchSurfaceColor(Renderer.backSurface, 0xFFFFFF) & 0xFFFFFF;
  const uint32_t Black = 0;
  // The outline's four lines run from corner to corner: it encloses one pixel more than the fill.
  const int right = left + 10 * segment, bottom = 8 + barHeight, middle = 8 + barHeight / 2;
  EXPECT_EQ(BackPixel(left, middle), White);
  EXPECT_EQ(BackPixel(right, middle), White);
  EXPECT_EQ(BackPixel(left + 1, 8), White);
  EXPECT_EQ(BackPixel(right - 1, bottom), White);
  EXPECT_EQ(BackPixel(left + 3, 7), Black);
  EXPECT_EQ(BackPixel(left + 3, bottom + 1), Black);
  EXPECT_EQ(BackPixel(left - 1, middle), Black);
  for (int x = left + 1; x < right; ++x) {
    const uint32_t expected = x < left + life * segment ? Red : Black;
    ASSERT_EQ(BackPixel(x, middle), expected) << "x " << x << " life " << life;
  }
  for (int x = right + 1; x < halfRight; ++x) ASSERT_EQ(BackPixel(x, middle), Black) << "x " << x;
}

TEST_F(HudTest, BarsAt320x240) {
  Match.life[0] = 10;
  Match.life[1] = 3;
  Renderer.ClearBackBuffer();
  Match.DrawHud();
  ExpectBar(8, 14, 12, 10, 160);
  ExpectBar(168, 14, 12, 3, 320);
  // Below the bars the picture is untouched.
  EXPECT_EQ(BackPixel(20, 30), 0u);
}

TEST_F(HudTest, BarsAt640x480AndAnEmptyOutline) {
  StartDisplay(640, 480);
  Match.life[0] = 0;
  Match.life[1] = 7;
  Renderer.ClearBackBuffer();
  Match.DrawHud();
  ExpectBar(8, 30, 24, 0, 320);
  ExpectBar(328, 30, 24, 7, 640);
}

}  // namespace
