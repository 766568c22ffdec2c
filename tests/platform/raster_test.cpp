#include "platform/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

// A colour and depth buffer of exactly w x h values (so the sanitizers see any stray write) with
// the clip rectangle set to the whole buffer unless narrowed.
struct Canvas {
  int w, h;
  std::vector<uint32_t> color;
  std::vector<float> depth;
  RasterTarget target;

  Canvas(int width, int height)
      : w(width), h(height), color(width * height, kUntouched), depth(width * height, 0.0f) {
    target.color = color.data();
    target.colorPitch = w;
    target.depth = depth.data();
    target.depthPitch = w;
    target.clipRight = w;
    target.clipBottom = h;
  }
  void Clip(int left, int top, int right, int bottom) {
    target.clipLeft = left, target.clipTop = top, target.clipRight = right,
    target.clipBottom = bottom;
  }
  uint32_t& At(int x, int y) { return color[y * w + x]; }
  float& DepthAt(int x, int y) { return depth[y * w + x]; }
  bool Written(int x, int y) const { return color[y * w + x] != kUntouched; }
  int CountWritten() const {
    int n = 0;
    for (uint32_t c : color) n += c != kUntouched;
    return n;
  }
  bool WrittenOnlyInside(int left, int top, int right, int bottom) const {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (Written(x, y) && (x < left || x >= right || y < top || y >= bottom)) return false;
    return true;
  }
};

RasterVertex V(float x, float y, float invZ = 0.5f, float r = 0, float g = 0, float b = 0) {
  return RasterVertex{x, y, invZ, r, g, b};
}

// Independent coverage test: a pixel centre is inside a convex polygon when it is strictly inside
// every edge, or on an edge that is a left edge or a top edge.
bool ReferenceInside(const std::vector<RasterVertex>& p, double px, double py) {
  double area = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const RasterVertex& a = p[i];
    const RasterVertex& b = p[(i + 1) % p.size()];
    area += double(a.x) * b.y - double(b.x) * a.y;
  }
  const double sign = area > 0 ? 1 : -1;  // makes the inside positive
  for (size_t i = 0; i < p.size(); ++i) {
    RasterVertex a = p[i], b = p[(i + 1) % p.size()];
    if (sign < 0) std::swap(a, b);
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double e = dx * (py - a.y) - dy * (px - a.x);
    const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    if (e < 0 || (e == 0 && !topLeft)) return false;
  }
  return true;
}

void ExpectMatchesReference(Canvas& c, const std::vector<RasterVertex>& p) {
  const RasterTarget& t = c.target;
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      const bool inClip = x >= t.clipLeft && x < t.clipRight && y >= t.clipTop && y < t.clipBottom;
      ASSERT_EQ(c.Written(x, y), inClip && ReferenceInside(p, x + 0.5, y + 0.5))
          << "pixel " << x << "," << y;
    }
}

// Renders each polygon into a fresh canvas and counts how often every pixel was written.
template <class Draw>
std::vector<int> CountWrites(int w, int h, const std::vector<std::vector<RasterVertex>>& polys,
                             Draw draw) {
  std::vector<int> count(w * h, 0);
  for (const auto& p : polys) {
    Canvas c(w, h);
    draw(c.target, p);
    for (int i = 0; i < w * h; ++i) count[i] += c.color[i] != kUntouched;
  }
  return count;
}

void DrawFlat(const RasterTarget& t, const std::vector<RasterVertex>& p) {
  RasterPolygonFlat(t, p.data(), int(p.size()), 0x123456);
}
void DrawGouraud(const RasterTarget& t, const std::vector<RasterVertex>& p) {
  RasterPolygonGouraud(t, p.data(), int(p.size()));
}

// A jittered grid of quads over [x0, x0 + cells * size)^2 with non-planar vertex colours.
std::vector<std::vector<RasterVertex>> JitteredGrid(float x0, int cells, float size,
                                                    unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> jitter(-0.2f * size, 0.2f * size), unit(0, 1);
  std::vector<RasterVertex> pts((cells + 1) * (cells + 1));
  for (int j = 0; j <= cells; ++j)
    for (int i = 0; i <= cells; ++i) {
      const bool inner = i > 0 && j > 0 && i < cells && j < cells;
      pts[j * (cells + 1) + i] =
          V(x0 + i * size + (inner ? jitter(rng) : 0), x0 + j * size + (inner ? jitter(rng) : 0),
            0.5f, unit(rng), unit(rng), unit(rng));
    }
  std::vector<std::vector<RasterVertex>> quads;
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      auto at = [&](int di, int dj) { return pts[(j + dj) * (cells + 1) + i + di]; };
      if ((i + j) % 2)
        quads.push_back({at(0, 0), at(1, 0), at(1, 1), at(0, 1)});
      else
        quads.push_back({at(0, 1), at(1, 1), at(1, 0), at(0, 0)});  // other winding
    }
  return quads;
}

// --- Coverage ---------------------------------------------------------------------------------

TEST(RasterCoverage, SquaresCoverExactlyThePixelCentresInside) {
  Canvas c(16, 16);
  std::vector<RasterVertex> sq = {V(2, 3), V(7, 3), V(7, 9), V(2, 9)};
  DrawFlat(c.target, sq);
  EXPECT_EQ(c.CountWritten(), 5 * 6);
  EXPECT_TRUE(c.WrittenOnlyInside(2, 3, 7, 9));

  Canvas f(16, 16);  // fractional corners, opposite winding: columns 2..6, rows 4..8
  std::vector<RasterVertex> frac = {V(2.4f, 3.6f), V(2.4f, 9.5f), V(7.5f, 9.5f), V(7.5f, 3.6f)};
  DrawFlat(f.target, frac);
  EXPECT_EQ(f.CountWritten(), 5 * 5);
  EXPECT_TRUE(f.WrittenOnlyInside(2, 4, 7, 9));
}

TEST(RasterCoverage, RightTriangleExcludesItsHypotenuseCentres) {
  Canvas c(10, 10);
  DrawFlat(c.target, {V(0, 0), V(8, 0), V(0, 8)});
  EXPECT_EQ(c.CountWritten(), 28);  // i + j < 7
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(c.Written(x, y), x + y < 7) << x << "," << y;
}

TEST(RasterCoverage, RandomConvexPolygonsMatchTheEdgeFunctionReference) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> centre(-5, 45), radius(0.5f, 25), angle(0, 6.2831853f);
  for (int round = 0; round < 300; ++round) {
    const int n = 3 + round % 6;
    std::vector<float> angles(n);
    for (float& a : angles) a = angle(rng);
    std::sort(angles.begin(), angles.end());
    const float cx = centre(rng), cy = centre(rng), rx = radius(rng), ry = radius(rng);
    std::vector<RasterVertex> p;
    for (float a : angles) p.push_back(V(cx + rx * std::cos(a), cy + ry * std::sin(a)));
    if (round % 2) std::reverse(p.begin(), p.end());
    Canvas c(40, 40);
    if (round % 3 == 0) c.Clip(5, 8, 33, 30);
    DrawFlat(c.target, p);
    ExpectMatchesReference(c, p);
    if (HasFatalFailure()) return;
  }
}

// --- Shared edges -----------------------------------------------------------------------------

TEST(RasterSharedEdges, TwoTrianglesOfASquareWriteEachPixelOnce) {
  for (bool flip : {false, true}) {
    std::vector<std::vector<RasterVertex>> tris = {{V(1, 1), V(13, 1), V(13, 13)},
                                                   {V(1, 1), V(13, 13), V(1, 13)}};
    if (flip) std::reverse(tris[1].begin(), tris[1].end());
    const std::vector<int> count = CountWrites(16, 16, tris, DrawFlat);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool inside = x >= 1 && x < 13 && y >= 1 && y < 13;
        ASSERT_EQ(count[y * 16 + x], inside ? 1 : 0) << x << "," << y;
      }
  }
}

TEST(RasterSharedEdges, JitteredGridLeavesNoGapAndNoOverlap) {
  for (unsigned seed : {1u, 2u, 3u}) {
    // Flat quads, Gouraud quads (split into triangles where their colours are not planar), and
    // a grid larger than the clip rectangle.
    const auto grid = JitteredGrid(4, 8, 7.0f, seed);
    for (auto draw : {DrawFlat, DrawGouraud}) {
      const std::vector<int> count = CountWrites(64, 64, grid, draw);
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
          const bool inside = x >= 4 && x < 60 && y >= 4 && y < 60;
          ASSERT_EQ(count[y * 64 + x], inside ? 1 : 0) << x << "," << y << " seed " << seed;
        }
    }
    const std::vector<int> over = CountWrites(40, 40, JitteredGrid(-20, 8, 11.0f, seed), DrawFlat);
    for (int i = 0; i < 40 * 40; ++i) ASSERT_EQ(over[i], 1) << i;
  }
}

TEST(RasterSharedEdges, TopLeftRuleOnPixelCentres) {
  // Edges through pixel centres: left and top are inside, right and bottom outside.
  Canvas c(10, 10);
  DrawFlat(c.target, {V(3.5f, 1.5f), V(6.5f, 1.5f), V(6.5f, 5.5f), V(3.5f, 5.5f)});
  EXPECT_EQ(c.CountWritten(), 3 * 4);
  EXPECT_TRUE(c.WrittenOnlyInside(3, 1, 6, 5));

  // Neighbours across a vertical and a horizontal edge on centres.
  const std::vector<int> count =
      CountWrites(10, 10,
                  {{V(0.5f, 0.5f), V(3.5f, 0.5f), V(3.5f, 4.5f), V(0.5f, 4.5f)},
                   {V(3.5f, 0.5f), V(7.5f, 0.5f), V(7.5f, 4.5f), V(3.5f, 4.5f)},
                   {V(0.5f, 4.5f), V(7.5f, 4.5f), V(7.5f, 8.5f), V(0.5f, 8.5f)}},
                  DrawFlat);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      ASSERT_EQ(count[y * 10 + x], x < 7 && y < 8 ? 1 : 0) << x << "," << y;
}

// --- Clipping ---------------------------------------------------------------------------------

TEST(RasterClipping, WritesOnlyInsideTheClipRectangle) {
  const float big = 1e30f, max = std::numeric_limits<float>::max();
  const std::vector<std::vector<RasterVertex>> covering = {
      {V(-100, -100), V(200, -100), V(200, 200), V(-100, 200)},
      {V(-big, -big), V(big, -big), V(0, big)},
      {V(-max, -max), V(max, -max), V(max, max), V(-max, max)},
      {V(-3e6f, 20), V(3e6f, 19.5f), V(3e6f, 4e6f)}};
  for (const auto& p : covering) {
    Canvas c(40, 40);
    c.Clip(10, 5, 30, 25);
    DrawFlat(c.target, p);
    EXPECT_TRUE(c.WrittenOnlyInside(10, 5, 30, 25));
    if (&p != &covering.back())
      EXPECT_EQ(c.CountWritten(), 20 * 20);
    else
      EXPECT_GT(c.CountWritten(), 0);
  }
  Canvas far(40, 40);
  DrawFlat(far.target, {V(1e6f, 1e6f), V(1e6f + 50, 1e6f), V(1e6f, 1e6f + 50)});
  DrawFlat(far.target, {V(-60, 10), V(-1, 10), V(-1, 20)});
  DrawFlat(far.target, {V(10, 40), V(20, 40), V(20, 60)});
  EXPECT_EQ(far.CountWritten(), 0);
}

// --- Depth ------------------------------------------------------------------------------------

TEST(RasterDepth, NearerWinsInEitherOrderAndEqualDepthKeepsTheFirst) {
  const std::vector<RasterVertex> nearSq = {V(0, 0, 0.5f), V(8, 0, 0.5f), V(8, 8, 0.5f),
                                            V(0, 8, 0.5f)};
  const std::vector<RasterVertex> farTri = {V(0, 0, 0.25f), V(12, 0, 0.25f), V(0, 12, 0.25f)};
  for (bool nearFirst : {false, true}) {
    Canvas c(12, 12);
    for (int pass = 0; pass < 2; ++pass) {
      if ((pass == 0) == nearFirst)
        RasterPolygonFlat(c.target, nearSq.data(), 4, 1);
      else
        RasterPolygonFlat(c.target, farTri.data(), 3, 2);
    }
    EXPECT_EQ(c.At(3, 3), 1u);
    EXPECT_FLOAT_EQ(c.DepthAt(3, 3), 0.5f);
    EXPECT_EQ(c.At(9, 1), 2u);
    EXPECT_FLOAT_EQ(c.DepthAt(9, 1), 0.25f);
  }
  // A sloped polygon drawn again at the same depth changes nothing.
  Canvas c(16, 16);
  const std::vector<RasterVertex> slope = {V(0, 0, 0.1f), V(15, 1, 0.9f), V(3, 15, 0.4f)};
  RasterPolygonFlat(c.target, slope.data(), 3, 1);
  const int written = c.CountWritten();
  RasterPolygonFlat(c.target, slope.data(), 3, 2);
  EXPECT_EQ(c.CountWritten(), written);
  for (uint32_t px : c.color) EXPECT_NE(px, 2u);
}

TEST(RasterDepth, EveryPixelOfSpansOfAnyWidthIsTestedAgainstItsOwnOldDepth) {
  // Rows of every width from 1 to 19 at every alignment, over a random mix of nearer and
  // farther stored depths; both fills.
  std::mt19937 rng(9);
  for (bool gouraud : {false, true})
    for (int width = 1; width < 20; ++width)
      for (int offset = 0; offset < 4; ++offset) {
        Canvas c(32, 3);
        std::vector<float> old(c.depth.size());
        for (size_t i = 0; i < old.size(); ++i) old[i] = c.depth[i] = rng() % 2 ? 0.25f : 0.75f;
        const float x0 = float(offset + 2), x1 = x0 + width;
        std::vector<RasterVertex> p = {V(x0, 1, 0.5f, 1, 0, 0), V(x1, 1, 0.5f, 1, 0, 0),
                                       V(x1, 2, 0.5f, 0, 0, 1), V(x0, 2, 0.5f, 0, 0, 1)};
        if (gouraud)
          DrawGouraud(c.target, p);
        else
          DrawFlat(c.target, p);
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < 32; ++x) {
            const bool inside = y == 1 && x >= x0 && x < x1;
            const bool pass = inside && old[y * 32 + x] < 0.5f;
            ASSERT_EQ(c.Written(x, y), pass) << width << " " << offset << " " << x << "," << y;
            ASSERT_EQ(c.DepthAt(x, y), pass ? 0.5f : old[y * 32 + x]);
          }
      }
}

TEST(RasterDepth, ShortSpansAtTheRightEdgeOfNarrowClipsTouchNothingOutside) {
  // Spans of one to three pixels on the last row of an exactly sized buffer, ending at or just
  // before the right edge of clip rectangles one to six pixels wide (and of the buffer), over
  // mixed stored depths: only the span's pixels that pass change, in colour and depth.
  std::mt19937 rng(4);
  for (bool gouraud : {false, true})
    for (int clipWidth = 1; clipWidth <= 6; ++clipWidth)
      for (int clipRight : {12, 10})
        for (int width = 1; width <= std::min(3, clipWidth); ++width)
          for (int gap = 0; gap + width <= clipWidth && gap < 3; ++gap) {
            Canvas c(12, 3);
            c.Clip(clipRight - clipWidth, 0, clipRight, 3);
            std::vector<float> old(c.depth.size());
            for (size_t i = 0; i < old.size(); ++i) old[i] = c.depth[i] = rng() % 2 ? 0.25f : 0.75f;
            const float x1 = float(clipRight - gap), x0 = x1 - width;
            const std::vector<RasterVertex> p = {V(x0, 2, 0.5f, 1, 0, 0), V(x1, 2, 0.5f, 1, 0, 0),
                                                 V(x1, 3, 0.5f, 0, 1, 0), V(x0, 3, 0.5f, 0, 1, 0)};
            if (gouraud)
              DrawGouraud(c.target, p);
            else
              DrawFlat(c.target, p);
            for (int y = 0; y < 3; ++y)
              for (int x = 0; x < 12; ++x) {
                const bool pass = y == 2 && x >= x0 && x < x1 && old[y * 12 + x] < 0.5f;
                ASSERT_EQ(c.Written(x, y), pass)
                    << clipWidth << " " << clipRight << " " << width << " " << gap << " " << x;
                ASSERT_EQ(c.DepthAt(x, y), pass ? 0.5f : old[y * 12 + x]);
              }
          }
}

TEST(RasterDepth, InterpolatesInverseDepthLinearlyAndResolvesIntersections) {
  // Two quads crossing along x = 8: a rises from 0.2 to 0.6 across the screen, b falls.
  Canvas c(16, 8);
  const std::vector<RasterVertex> a = {V(0, 0, 0.2f), V(16, 0, 0.6f), V(16, 8, 0.6f),
                                       V(0, 8, 0.2f)};
  const std::vector<RasterVertex> b = {V(0, 0, 0.6f), V(16, 0, 0.2f), V(16, 8, 0.2f),
                                       V(0, 8, 0.6f)};
  RasterPolygonFlat(c.target, a.data(), 4, 1);
  RasterPolygonFlat(c.target, b.data(), 4, 2);
  for (int x = 0; x < 16; ++x) {
    const float za = 0.2f + 0.4f * (x + 0.5f) / 16, zb = 0.8f - za;
    EXPECT_EQ(c.At(x, 3), za > zb ? 1u : 2u) << x;
    EXPECT_NEAR(c.DepthAt(x, 3), std::max(za, zb), 1e-6f) << x;
  }
}

// --- Gouraud ----------------------------------------------------------------------------------

uint8_t Channel(uint32_t px, int shift) {
  return (px >> shift) & 0xFF;
}

TEST(RasterGouraud, MatchesBarycentricColoursAndClamps) {
  Canvas c(32, 32);
  // Red, green and blue corners; blue is over-bright and clamps where it exceeds 1.
  const RasterVertex p0 = V(1, 1, 0.5f, 1, 0, 0), p1 = V(31, 4, 0.5f, 0, 1, 0),
                     p2 = V(6, 30, 0.5f, 0, 0, 2.5f);
  const std::vector<RasterVertex> tri = {p0, p1, p2};
  DrawGouraud(c.target, tri);
  int checked = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (!c.Written(x, y)) continue;
      const double px = x + 0.5, py = y + 0.5;
      const double d = (p1.y - p2.y) * (p0.x - p2.x) + (p2.x - p1.x) * (p0.y - p2.y);
      const double w0 = ((p1.y - p2.y) * (px - p2.x) + (p2.x - p1.x) * (py - p2.y)) / d;
      const double w1 = ((p2.y - p0.y) * (px - p2.x) + (p0.x - p2.x) * (py - p2.y)) / d;
      const double w2 = 1 - w0 - w1;
      const double b = std::min(1.0, 2.5 * w2);
      EXPECT_NEAR(Channel(c.At(x, y), 16), 255 * w0, 1.0) << x << "," << y;
      EXPECT_NEAR(Channel(c.At(x, y), 8), 255 * w1, 1.0) << x << "," << y;
      EXPECT_NEAR(Channel(c.At(x, y), 0), 255 * b, 1.0) << x << "," << y;
      ++checked;
    }
  EXPECT_GT(checked, 300);
}

TEST(RasterGouraud, QuadWithFourDifferentCornerColoursKeepsEveryCorner) {
  Canvas c(17, 17);
  const std::vector<RasterVertex> quad = {V(0, 0, 0.5f, 1, 0, 0), V(17, 0, 0.5f, 0, 1, 0),
                                          V(17, 17, 0.5f, 0, 0, 1), V(0, 17, 0.5f, 1, 1, 1)};
  DrawGouraud(c.target, quad);
  EXPECT_EQ(c.CountWritten(), 17 * 17);
  // The pixels at the corners are within a pixel's step of their corner's colour.
  auto near = [](uint32_t px, uint32_t want) {
    for (int s : {0, 8, 16})
      if (std::abs(int(Channel(px, s)) - int(Channel(want, s))) > 16) return false;
    return true;
  };
  EXPECT_TRUE(near(c.At(0, 0), 0xFF0000)) << std::hex << c.At(0, 0);
  EXPECT_TRUE(near(c.At(16, 0), 0x00FF00)) << std::hex << c.At(16, 0);
  EXPECT_TRUE(near(c.At(16, 16), 0x0000FF)) << std::hex << c.At(16, 16);
  EXPECT_TRUE(near(c.At(0, 16), 0xFFFFFF)) << std::hex << c.At(0, 16);
}

TEST(RasterGouraud, PackPixelClampsAndRounds) {
  EXPECT_EQ(PackPixel(1, 0, 0), 0xFF0000u);
  EXPECT_EQ(PackPixel(0, 1, 0), 0x00FF00u);
  EXPECT_EQ(PackPixel(0, 0, 1), 0x0000FFu);
  EXPECT_EQ(PackPixel(2, -1, 0.5f), 0xFF0080u);
  EXPECT_EQ(PackPixel(1.4f / 255, 1.6f / 255, std::nanf("")), 0x010200u);
}

// --- Lines ------------------------------------------------------------------------------------

TEST(RasterLines, IncludeBothEndsAndStayConnected) {
  Canvas h(16, 16);
  RasterLine(h.target, V(2.5f, 3.5f), V(9.5f, 3.5f), 7);
  EXPECT_EQ(h.CountWritten(), 8);
  EXPECT_TRUE(h.WrittenOnlyInside(2, 3, 10, 4));

  std::mt19937 rng(3);
  std::uniform_real_distribution<float> coord(0, 32);
  for (int round = 0; round < 100; ++round) {
    Canvas c(32, 32);
    const RasterVertex a = V(coord(rng), coord(rng)), b = V(coord(rng), coord(rng));
    RasterLine(c.target, a, b, 7);
    const int ax = int(a.x), ay = int(a.y), bx = int(b.x), by = int(b.y);
    ASSERT_TRUE(c.Written(ax, ay));
    ASSERT_TRUE(c.Written(bx, by));
    // One pixel per step along the major axis, each next to the one before.
    const bool xMajor = std::abs(bx - ax) >= std::abs(by - ay);
    std::vector<int> minorAt(32, -1);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (c.Written(x, y)) {
          ASSERT_EQ(minorAt[xMajor ? x : y], -1) << "two pixels in one step";
          minorAt[xMajor ? x : y] = xMajor ? y : x;
        }
    const int from = std::min(xMajor ? ax : ay, xMajor ? bx : by);
    const int to = std::max(xMajor ? ax : ay, xMajor ? bx : by);
    for (int m = 0; m < 32; ++m) ASSERT_EQ(minorAt[m] >= 0, m >= from && m <= to) << m;
    for (int m = from; m < to; ++m) ASSERT_LE(std::abs(minorAt[m + 1] - minorAt[m]), 1) << m;
  }
}

TEST(RasterLines, ClippingKeepsThePixelsOfTheWholeLine) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> coord(-30, 70);
  for (int round = 0; round < 100; ++round) {
    const RasterVertex a = V(coord(rng), coord(rng)), b = V(coord(rng), coord(rng));
    Canvas whole(40, 40), part(40, 40);
    part.Clip(8, 5, 31, 27);
    RasterLine(whole.target, a, b, 7);
    RasterLine(part.target, a, b, 7);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool inClip = x >= 8 && x < 31 && y >= 5 && y < 27;
        ASSERT_EQ(part.Written(x, y), inClip && whole.Written(x, y)) << x << "," << y;
      }
  }
  Canvas huge(40, 40);
  huge.Clip(8, 5, 31, 27);
  RasterLine(huge.target, V(-1e7f, -1e7f), V(1e7f, 1e7f), 7);
  RasterLine(huge.target, V(20.5f, -3e38f), V(20.5f, 3e38f), 7);
  for (int i = 8; i < 27; ++i) EXPECT_TRUE(huge.Written(i, i)) << i;
  for (int y = 5; y < 27; ++y) EXPECT_TRUE(huge.Written(20, y)) << y;
  EXPECT_EQ(huge.CountWritten(), 19 + 22 - 1);
  // Beyond the precision of the arithmetic the line may land anywhere, but only inside the clip.
  RasterLine(huge.target, V(-1e30f, -2e30f), V(3e38f, 1e30f), 7);
  RasterLine(huge.target, V(-3e38f, 3e38f), V(3e38f, -3e38f), 7);
  EXPECT_TRUE(huge.WrittenOnlyInside(8, 5, 31, 27));
}

TEST(RasterLines, AreDepthTestedAndInterpolateDepth) {
  Canvas c(16, 16);
  DrawFlat(c.target, {V(0, 0, 0.5f), V(16, 0, 0.5f), V(16, 8, 0.5f), V(0, 8, 0.5f)});
  // From behind the polygon at the left to in front of it at the right.
  RasterLine(c.target, V(0.5f, 4.5f, 0.3f), V(15.5f, 4.5f, 0.7f), 9);
  for (int x = 0; x < 16; ++x) {
    const float z = 0.3f + 0.4f * x / 15;
    EXPECT_EQ(c.At(x, 4), z > 0.5f ? 9u : 0x123456u) << x;
  }
  // Below the polygon the line writes everywhere with its end depths.
  RasterLine(c.target, V(0.5f, 12.5f, 0.3f), V(15.5f, 12.5f, 0.7f), 9);
  EXPECT_NEAR(c.DepthAt(0, 12), 0.3f, 1e-6f);
  EXPECT_NEAR(c.DepthAt(15, 12), 0.7f, 1e-6f);
  RasterLine(c.target, V(3.2f, 14.9f, 0.2f), V(3.7f, 14.1f, 0.4f), 5);  // one pixel
  EXPECT_EQ(c.At(3, 14), 5u);
  EXPECT_FLOAT_EQ(c.DepthAt(3, 14), 0.4f);
}

// --- Degenerate input -------------------------------------------------------------------------

TEST(RasterDegenerate, WritesNothing) {
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  const std::vector<std::vector<RasterVertex>> bad = {
      {V(1, 1), V(9, 9), V(5, 5)},           // collinear
      {V(1, 1), V(9, 9), V(5, 5), V(3, 3)},  // collinear quad
      {V(4, 4), V(4, 4), V(4, 4)},           // a point
      {V(1, 1), V(9, 1), V(9, 1.0000001f)},  // sliver with no pixel centre
      {V(nan, 1), V(9, 1), V(9, 9)},         // NaN position
      {V(1, 1), V(inf, 1), V(9, 9)},         // infinite position
      {V(1, 1), V(9, 1), V(9, 9, nan)},      // NaN depth
      {V(1, 1), V(9, 1, -inf), V(9, 9)}};    // infinite depth
  Canvas c(12, 12);
  for (const auto& p : bad) {
    DrawFlat(c.target, p);
    DrawGouraud(c.target, p);
  }
  const std::vector<RasterVertex> ok = {V(1, 1), V(9, 1), V(9, 9)};
  RasterPolygonFlat(c.target, nullptr, 3, 1);
  RasterPolygonFlat(c.target, ok.data(), 2, 1);
  RasterLine(c.target, V(nan, 1), V(5, 5), 1);
  RasterLine(c.target, V(1, 1), V(5, inf), 1);
  RasterTarget empty = c.target;
  empty.clipRight = empty.clipLeft;
  RasterPolygonFlat(empty, ok.data(), 3, 1);
  RasterLine(empty, ok[0], ok[1], 1);
  RasterTarget noDepth = c.target;
  noDepth.depth = nullptr;
  RasterPolygonGouraud(noDepth, ok.data(), 3);
  EXPECT_EQ(c.CountWritten(), 0);

  // NaN colours still fill, as black, without touching anything outside.
  RasterPolygonGouraud(c.target,
                       std::vector<RasterVertex>{V(1, 1, 0.5f, nan), V(9, 1), V(9, 9)}.data(), 3);
  EXPECT_TRUE(c.WrittenOnlyInside(1, 1, 9, 9));
  EXPECT_EQ(c.At(7, 2) & 0xFF0000, 0u);

  // A self-intersecting polygon is not convex and may fill oddly, but stays inside the clip.
  Canvas bow(20, 20);
  bow.Clip(2, 2, 18, 18);
  DrawFlat(bow.target, {V(-5, -5), V(25, 25), V(25, -5), V(-5, 25)});
  DrawGouraud(bow.target, {V(-5, -5), V(25, 25), V(-5, 25), V(25, -5), V(10, 40)});
  EXPECT_TRUE(bow.WrittenOnlyInside(2, 2, 18, 18));
}

}  // namespace
