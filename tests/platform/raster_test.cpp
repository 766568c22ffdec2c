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
using Poly = std::vector<RasterVertex>;

// A colour and depth buffer of exactly w x h values (so the sanitizers see any stray write).
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
    return int(
        std::count_if(color.begin(), color.end(), [](uint32_t c) { return c != kUntouched; }));
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

void DrawFlat(const RasterTarget& t, const Poly& p) {
  RasterPolygonFlat(t, p.data(), int(p.size()), 0x123456);
}
void DrawGouraud(const RasterTarget& t, const Poly& p) {
  RasterPolygonGouraud(t, p.data(), int(p.size()));
}

// Independent coverage test: a pixel centre is inside a convex polygon when it is strictly inside
// every edge, or on an edge that is a left edge or a top edge.
bool ReferenceInside(const Poly& p, double px, double py) {
  double area = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const RasterVertex &a = p[i], &b = p[(i + 1) % p.size()];
    area += double(a.x) * b.y - double(b.x) * a.y;
  }
  for (size_t i = 0; i < p.size(); ++i) {
    RasterVertex a = p[i], b = p[(i + 1) % p.size()];
    if (area < 0) std::swap(a, b);
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double e = dx * (py - a.y) - dy * (px - a.x);
    const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    if (e < 0 || (e == 0 && !topLeft)) return false;
  }
  return true;
}

// Draws each polygon into a fresh canvas and counts how often every pixel was written.
std::vector<int> CountWrites(int w, int h, const std::vector<Poly>& polys,
                             void (*draw)(const RasterTarget&, const Poly&)) {
  std::vector<int> count(w * h, 0);
  for (const auto& p : polys) {
    Canvas c(w, h);
    draw(c.target, p);
    for (int i = 0; i < w * h; ++i) count[i] += c.color[i] != kUntouched;
  }
  return count;
}

// A jittered grid of quads over [x0, x0 + cells * size)^2, alternating windings, with non-planar
// vertex colours.
std::vector<Poly> JitteredGrid(float x0, int cells, float size, unsigned seed) {
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
  std::vector<Poly> quads;
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      auto at = [&](int di, int dj) { return pts[(j + dj) * (cells + 1) + i + di]; };
      if ((i + j) % 2)
        quads.push_back({at(0, 0), at(1, 0), at(1, 1), at(0, 1)});
      else
        quads.push_back({at(0, 1), at(1, 1), at(1, 0), at(0, 0)});
    }
  return quads;
}

TEST(RasterCoverage, RandomConvexPolygonsMatchTheEdgeFunctionReference) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> centre(-5, 45), radius(0.5f, 25), angle(0, 6.2831853f);
  for (int round = 0; round < 120; ++round) {
    const int n = round % 10 == 9 ? 20 : 3 + round % 6;  // and some of more than 16 corners
    std::vector<float> angles(n);
    for (float& a : angles) a = angle(rng);
    std::sort(angles.begin(), angles.end());
    const float cx = centre(rng), cy = centre(rng), rx = radius(rng), ry = radius(rng);
    Poly p;
    for (float a : angles) p.push_back(V(cx + rx * std::cos(a), cy + ry * std::sin(a)));
    if (round % 2) std::reverse(p.begin(), p.end());
    Canvas c(40, 40);
    if (round % 3 == 0) c.Clip(5, 8, 33, 30);
    DrawFlat(c.target, p);
    const RasterTarget& t = c.target;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const bool inClip =
            x >= t.clipLeft && x < t.clipRight && y >= t.clipTop && y < t.clipBottom;
        ASSERT_EQ(c.Written(x, y), inClip && ReferenceInside(p, x + 0.5, y + 0.5))
            << "round " << round << " pixel " << x << "," << y;
      }
  }
}

TEST(RasterSharedEdges, JitteredGridAndEdgesOnPixelCentresWriteEachPixelOnce) {
  // Flat and Gouraud quads (the latter split where their colours are not planar).
  const auto grid = JitteredGrid(4, 8, 7.0f, 1);
  for (auto draw : {DrawFlat, DrawGouraud}) {
    const std::vector<int> count = CountWrites(64, 64, grid, draw);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        ASSERT_EQ(count[y * 64 + x], x >= 4 && x < 60 && y >= 4 && y < 60 ? 1 : 0) << x << "," << y;
  }
  // A grid larger than the buffer.
  const std::vector<int> over = CountWrites(40, 40, JitteredGrid(-20, 8, 11.0f, 2), DrawFlat);
  for (int i = 0; i < 40 * 40; ++i) ASSERT_EQ(over[i], 1) << i;
  // Neighbours across a vertical and a horizontal edge through pixel centres (top-left rule).
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

TEST(RasterClipping, WritesOnlyInsideTheClipRectangle) {
  const float big = 1e30f, max = std::numeric_limits<float>::max();
  const std::vector<Poly> covering = {{V(-100, -100), V(200, -100), V(200, 200), V(-100, 200)},
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

TEST(RasterDepth, EqualDepthKeepsTheFirst) {
  // A sloped polygon drawn again at the same depth changes nothing.
  Canvas c(16, 16);
  const Poly slope = {V(0, 0, 0.1f), V(15, 1, 0.9f), V(3, 15, 0.4f)};
  RasterPolygonFlat(c.target, slope.data(), 3, 1);
  RasterPolygonFlat(c.target, slope.data(), 3, 2);
  EXPECT_EQ(std::count(c.color.begin(), c.color.end(), 2u), 0);
}

// Draws a one-row span [x0, x1) at depth 0.5 on the last row of a w x 3 canvas (clipped to
// [clipLeft, clipRight)) over random stored depths of 0.25 and 0.75: exactly the span's pixels
// whose stored depth is nearer lose to it, in colour and in depth, and nothing else changes.
void ExpectSpanDepthTested(std::mt19937& rng, bool gouraud, int w, int clipLeft, int clipRight,
                           float x0, float x1) {
  Canvas c(w, 3);
  c.Clip(clipLeft, 0, clipRight, 3);
  std::vector<float> old(c.depth.size());
  for (size_t i = 0; i < old.size(); ++i) old[i] = c.depth[i] = rng() % 2 ? 0.25f : 0.75f;
  const Poly p = {V(x0, 2, 0.5f, 1, 0, 0), V(x1, 2, 0.5f, 1, 0, 0), V(x1, 3, 0.5f, 0, 0, 1),
                  V(x0, 3, 0.5f, 0, 0, 1)};
  gouraud ? DrawGouraud(c.target, p) : DrawFlat(c.target, p);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < w; ++x) {
      const bool pass = y == 2 && x >= x0 && x < x1 && old[y * w + x] < 0.5f;
      ASSERT_EQ(c.Written(x, y), pass) << "span " << x0 << ".." << x1 << " clip " << clipLeft
                                       << ".." << clipRight << " pixel " << x;
      ASSERT_EQ(c.DepthAt(x, y), pass ? 0.5f : old[y * w + x]);
    }
}

TEST(RasterDepth, EveryPixelOfASpanIsTestedAgainstItsOwnOldDepth) {
  std::mt19937 rng(9);
  for (bool gouraud : {false, true}) {
    // Spans of every width from 1 to 19 at every alignment.
    for (int width = 1; width < 20; ++width)
      for (int offset = 0; offset < 4; ++offset)
        ExpectSpanDepthTested(rng, gouraud, 32, 0, 32, float(offset + 2),
                              float(offset + 2 + width));
    // Short spans ending at or just before the right edge of narrow clips, on an exactly sized
    // buffer: the fast span path once wrote past them.
    for (int clipWidth = 1; clipWidth <= 6; ++clipWidth)
      for (int clipRight : {12, 10})
        for (int width = 1; width <= std::min(3, clipWidth); ++width)
          for (int gap = 0; gap + width <= clipWidth && gap < 3; ++gap)
            ExpectSpanDepthTested(rng, gouraud, 12, clipRight - clipWidth, clipRight,
                                  float(clipRight - gap - width), float(clipRight - gap));
    if (HasFatalFailure()) return;
  }
}

TEST(RasterGouraud, PackPixelClampsAndRounds) {
  EXPECT_EQ(PackPixel(2, -1, 0.5f), 0xFF0080u);
  EXPECT_EQ(PackPixel(1.4f / 255, 1.6f / 255, std::nanf("")), 0x010200u);
}

TEST(RasterLines, ClippingKeepsThePixelsOfTheWholeLine) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> coord(-30, 70);
  for (int round = 0; round < 60; ++round) {
    const RasterVertex a = V(coord(rng), coord(rng)), b = V(coord(rng), coord(rng));
    Canvas whole(40, 40), part(40, 40);
    part.Clip(8, 5, 31, 27);
    RasterLine(whole.target, a, b, 7);
    RasterLine(part.target, a, b, 7);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        ASSERT_EQ(part.Written(x, y), x >= 8 && x < 31 && y >= 5 && y < 27 && whole.Written(x, y))
            << x << "," << y;
  }
  Canvas edge(40, 40);  // an end on the clip rectangle's right edge lies outside it
  edge.Clip(8, 5, 31, 27);
  RasterLine(edge.target, V(31, 10.5f), V(20.5f, 10.5f), 7);
  EXPECT_TRUE(edge.WrittenOnlyInside(8, 5, 31, 27));
  Canvas h(16, 16);  // both ends are drawn
  RasterLine(h.target, V(2.5f, 3.5f), V(9.5f, 3.5f), 7);
  EXPECT_EQ(h.CountWritten(), 8);
  EXPECT_TRUE(h.WrittenOnlyInside(2, 3, 10, 4));
  Canvas huge(40, 40);
  huge.Clip(8, 5, 31, 27);
  RasterLine(huge.target, V(-1e7f, -1e7f), V(1e7f, 1e7f), 7);
  RasterLine(huge.target, V(20.5f, -3e38f), V(20.5f, 3e38f), 7);
  for (int i = 8; i < 27; ++i) EXPECT_TRUE(huge.Written(i, i)) << i;
  for (int y = 5; y < 27; ++y) EXPECT_TRUE(huge.Written(20, y)) << y;
  EXPECT_EQ(huge.CountWritten(), 19 + 22 - 1);
  // A shallow or steep line leaving far through one side keeps its course across the canvas.
  for (const RasterVertex& far : {V(8e6f + 20.5f, 1e6f + 10.5f), V(-1e6f + 20.5f, -8e6f + 10.5f)}) {
    Canvas c(40, 40);
    RasterLine(c.target, V(20.5f, 10.5f), far, 7);
    const double dx = far.x - 20.5, dy = far.y - 10.5, length = std::hypot(dx, dy);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        if (c.Written(x, y)) {
          ASSERT_LT(std::fabs((x + 0.5 - 20.5) * dy - (y + 0.5 - 10.5) * dx) / length, 1.0)
              << x << "," << y;
        }
    EXPECT_GE(c.CountWritten(), 11);
  }
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
  for (int x = 0; x < 16; ++x) EXPECT_EQ(c.At(x, 4), 0.3f + 0.4f * x / 15 > 0.5f ? 9u : 0x123456u);
  RasterLine(c.target, V(-9984.5f, 12.5f, 0.1f), V(15.5f, 12.5f, 0.7f), 9);  // cut far left
  EXPECT_NEAR(c.DepthAt(0, 12), 0.6991f, 1e-4f);
  EXPECT_NEAR(c.DepthAt(15, 12), 0.7f, 1e-6f);
}

TEST(RasterDegenerate, WritesNothing) {
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  const std::vector<Poly> bad = {
      {V(1, 1), V(9, 9), V(5, 5), V(3, 3)},  // collinear
      {V(4, 4), V(4, 4), V(4, 4)},           // a point
      {V(1, 1), V(9, 1), V(9, 1.0000001f)},  // no pixel centre
      {V(nan, 1), V(9, 1), V(9, 9)},        {V(1, 1), V(inf, 1), V(9, 9)},
      {V(1, 1), V(9, 1), V(9, 9, nan)},     {V(1, 1), V(9, 1, -inf), V(9, 9)}};
  Canvas c(12, 12);
  for (const auto& p : bad) {
    DrawFlat(c.target, p);
    DrawGouraud(c.target, p);
  }
  const Poly ok = {V(1, 1), V(9, 1), V(9, 9)};
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
  DrawGouraud(c.target, {V(1, 1, 0.5f, nan), V(9, 1), V(9, 9)});
  EXPECT_TRUE(c.WrittenOnlyInside(1, 1, 9, 9));
  EXPECT_EQ(c.At(7, 2) & 0xFF0000, 0u);
}

}  // namespace
