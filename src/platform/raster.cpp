// Scan conversion of convex screen-space polygons and of lines.
//
// Polygons are filled row by row: the two chains of edges running down from the top vertex to the
// bottom vertex bound each row, and a row's span covers the pixel centres x with
// left(y) <= x < right(y), for rows whose centre y lies in [top, bottom). Each edge is always
// walked from its upper to its lower end and its x on a row is computed from the edge alone (not
// accumulated along the polygon), so two polygons that share an edge compute the same x on every
// row and split the pixels along it exactly. Edge walking and the per-polygon set-up run in double
// precision, which keeps every finite float input, however large, free of overflow; the per-pixel
// work runs in float over contiguous memory, four pixels at a time.
//
// Depth (1/z) and colour are planes in screen space: their gradients are fitted once per polygon
// (Newell's method, so n-gons whose vertices are slightly off one plane still get a sensible
// average) and evaluated at each span's first pixel centre; within the span they step by the x
// gradient.
#include "platform/raster.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Clip rectangles beyond this keep row and column arithmetic far from integer overflow.
constexpr int kMaxClipCoordinate = 1 << 24;
// Polygons with less area than this (in square pixels, doubled) are treated as degenerate.
constexpr double kMinDoubleArea = 1e-7;
// A depth gradient steeper than this per pixel only comes from a degenerate polygon; such a
// polygon is dropped. The limit keeps every depth along a span finite.
constexpr double kMaxDepthGradient = 1e12;
// Vertex colour channels are limited to this magnitude, which keeps every interpolated value far
// inside the range of a 32-bit integer.
constexpr float kMaxColour = 1e5f;
// Colour gradients (in 1/255 steps per pixel) beyond this come from degenerate polygons.
constexpr double kMaxColourGradient = 1e6;
// Vertex colours further than this (in 1/255 steps) from the polygon's colour plane make the
// Gouraud fill split the polygon into a fan of triangles, each with its own exact plane.
constexpr double kColourPlaneTolerance = 0.25;
// Lines are cut to the clip rectangle widened by this margin before they are stepped; within it,
// the pixels a line visits do not depend on where it was cut.
constexpr double kLineGuardBand = 8192.0;

bool UsableTarget(const RasterTarget& t) {
  return t.color != nullptr && t.depth != nullptr && t.clipLeft < t.clipRight &&
         t.clipTop < t.clipBottom && t.clipLeft >= -kMaxClipCoordinate &&
         t.clipTop >= -kMaxClipCoordinate && t.clipRight <= kMaxClipCoordinate &&
         t.clipBottom <= kMaxClipCoordinate;
}

// The smallest integer not below v, limited to [lo, hi] (both whole numbers); NaN gives lo.
inline int CeilClamped(double v, double lo, double hi) {
#if defined(__SSE2__)
  // MAXSD and MINSD return their second operand when the first is NaN.
  const __m128d c = _mm_min_sd(_mm_max_sd(_mm_set_sd(v), _mm_set_sd(lo)), _mm_set_sd(hi));
  const int i = _mm_cvttsd_si32(c);
  return i + _mm_comilt_sd(_mm_cvtsi32_sd(c, i), c);
#else
  v = v > lo ? v : lo;
  v = v < hi ? v : hi;
  const int i = static_cast<int>(v);
  return i + (static_cast<double>(i) < v ? 1 : 0);
#endif
}

inline bool Finite(float f) {
  return std::isfinite(f);
}

inline uint32_t* ColorRow(const RasterTarget& t, int row) {
  return t.color + static_cast<std::ptrdiff_t>(row) * t.colorPitch;
}

inline float* DepthRow(const RasterTarget& t, int row) {
  return t.depth + static_cast<std::ptrdiff_t>(row) * t.depthPitch;
}

// A colour channel in 1/255 steps plus one half, truncated: the channel rounded and clamped to
// 0..255 (NaN gives 0).
inline uint32_t BiasedChannel(float c) {
  c = c > 0.0f ? c : 0.0f;
  c = c < 255.0f ? c : 255.0f;
  return static_cast<uint32_t>(c);
}

inline uint32_t PackBiased(float r, float g, float b) {
  return BiasedChannel(r) << 16 | BiasedChannel(g) << 8 | BiasedChannel(b);
}

// ---------------------------------------------------------------------------------------------
// Span fillers, set up once per polygon. Spans of four pixels or more run four pixels at a time;
// the final group of four ends at the span's end and overlaps the group before it (entirely when
// the width is a multiple of four).
// Those two groups are both read before either is written, each writes a consistent depth and
// colour for its pixels, and the earlier group, written last, decides the pixels they share: every
// pixel is tested once against its old depth. Shorter spans (the rows of bullets, debris and
// distant ground) are one group of four whose lanes outside the span keep what they hold, with no
// branch on the width or on the depth test; the group starts at the span, or as far left of it as
// keeps it inside the clip rectangle ("shift" pixels). Clip rectangles less than four pixels wide
// take the short spans one pixel at a time.

#if defined(__SSE2__)
// Four XRGB pixels from biased channel values; the packing saturates each channel to 0..255.
inline __m128i PackBiased4(__m128 r, __m128 g, __m128 b) {
  const __m128i bg = _mm_packs_epi32(_mm_cvttps_epi32(b), _mm_cvttps_epi32(g));
  const __m128i r0 = _mm_packs_epi32(_mm_cvttps_epi32(r), _mm_setzero_si128());
  const __m128i bytes = _mm_packus_epi16(bg, r0);  // b0-b3 g0-g3 r0-r3 0000
  const __m128i br = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
  return _mm_unpacklo_epi8(br, _mm_srli_si128(br, 8));
}

inline __m128 Load4(const float* depth) {
  return _mm_loadu_ps(depth);
}
inline __m128i Load4(const uint32_t* color) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(color));
}

// Writes a group of four from its old depth and colour: the pixels whose depth z is greater than
// the old one take z and rgb, the others keep what they had. There is no branch on the outcome:
// where a view's meshes overlap, which pixels pass changes from group to group, and a mispredicted
// branch costs more than the blend.
inline void Blend4(uint32_t* color, float* depth, __m128 z, __m128 old, __m128i oldColor,
                   __m128i rgb) {
  const __m128 pass = _mm_cmpgt_ps(z, old);
  _mm_storeu_ps(depth, _mm_or_ps(_mm_and_ps(pass, z), _mm_andnot_ps(pass, old)));
  const __m128i passi = _mm_castps_si128(pass);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(color),
                   _mm_or_si128(_mm_and_si128(passi, rgb), _mm_andnot_si128(passi, oldColor)));
}

// The same for a group whose old depth and colour have not been read.
inline void Store4(uint32_t* color, float* depth, __m128 z, __m128i rgb) {
  Blend4(color, depth, z, Load4(depth), Load4(color), rgb);
}

// The steps of an attribute with gradient d: d times the lane numbers 0..3, and 4 d.
struct Steps4 {
  __m128 lanes, four;
  explicit Steps4(float d)
      : lanes(_mm_mul_ps(_mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f), _mm_set1_ps(d))),
        four(_mm_set1_ps(4.0f * d)) {}
  __m128 Start(float value) const { return _mm_add_ps(_mm_set1_ps(value), lanes); }
};

// The lanes of a short span in a group of four that starts `shift` pixels before it: their
// positions in the span (lane - shift, as floats) and which lanes belong to it.
struct ShortLanes {
  __m128 offset;
  __m128 inside;
  ShortLanes(int shift, int count) {
    const __m128i lane = _mm_sub_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(shift));
    offset = _mm_cvtepi32_ps(lane);
    inside = _mm_castsi128_ps(_mm_andnot_si128(_mm_cmplt_epi32(lane, _mm_setzero_si128()),
                                               _mm_cmplt_epi32(lane, _mm_set1_epi32(count))));
  }
  // value + (lane - shift) d, as a pixel at that place in a longer span would get it.
  __m128 At(float value, float d) const {
    return _mm_add_ps(_mm_set1_ps(value), _mm_mul_ps(offset, _mm_set1_ps(d)));
  }
};

// Writes the lanes of a short span whose depth passes; every other lane is written back unchanged.
inline void StoreShort(uint32_t* color, float* depth, __m128 z, __m128 inside, __m128i rgb) {
  const __m128 old = _mm_loadu_ps(depth);
  const __m128i oldColor = _mm_loadu_si128(reinterpret_cast<const __m128i*>(color));
  const __m128 pass = _mm_and_ps(_mm_cmpgt_ps(z, old), inside);
  _mm_storeu_ps(depth, _mm_or_ps(_mm_and_ps(pass, z), _mm_andnot_ps(pass, old)));
  const __m128i passi = _mm_castps_si128(pass);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(color),
                   _mm_or_si128(_mm_and_si128(passi, rgb), _mm_andnot_si128(passi, oldColor)));
}
#endif

class FlatSpans {
 public:
  FlatSpans(float dz, uint32_t pixel)
      : dz_(dz),
        pixel_(pixel)
#if defined(__SSE2__)
        ,
        z_(dz),
        value_(_mm_set1_epi32(static_cast<int>(pixel)))
#endif
  {
  }

  // Fills `count` pixels whose first has the depth z; `shift` as for short spans above, negative
  // when the clip rectangle is too narrow for a group of four.
  void Fill(uint32_t* color, float* depth, int count, float z, [[maybe_unused]] int shift) const {
#if defined(__SSE2__)
    if (count < 4 && shift >= 0) {
      const ShortLanes lanes(shift, count);
      StoreShort(color - shift, depth - shift, lanes.At(z, dz_), lanes.inside, value_);
      return;
    }
    if (count >= 4) {
      const int last = count - 4;
      __m128 zv = z_.Start(z);
      int k = 0;
      for (; k + 4 <= last; k += 4) {
        Store4(color + k, depth + k, zv, value_);
        zv = _mm_add_ps(zv, z_.four);
      }
      const __m128 oldK = Load4(depth + k), oldLast = Load4(depth + last);
      const __m128i colorK = Load4(color + k), colorLast = Load4(color + last);
      const __m128 zLast = z_.Start(z + static_cast<float>(last) * dz_);
      Blend4(color + last, depth + last, zLast, oldLast, colorLast, value_);
      Blend4(color + k, depth + k, zv, oldK, colorK, value_);
      return;
    }
#endif
    for (int k = 0; k < count; ++k) {
      const float zk = z + static_cast<float>(k) * dz_;
      if (zk > depth[k]) {
        depth[k] = zk;
        color[k] = pixel_;
      }
    }
  }

 private:
  float dz_;
  uint32_t pixel_;
#if defined(__SSE2__)
  Steps4 z_;
  __m128i value_;
#endif
};

// Colour channels are biased (see BiasedChannel).
class GouraudSpans {
 public:
  GouraudSpans(float dz, float dr, float dg, float db)
      : dz_(dz),
        dr_(dr),
        dg_(dg),
        db_(db)
#if defined(__SSE2__)
        ,
        z_(dz),
        r_(dr),
        g_(dg),
        b_(db)
#endif
  {
  }

  // Fills `count` pixels whose first has the depth z and the colour (r, g, b); `shift` as for
  // FlatSpans::Fill.
  void Fill(uint32_t* color, float* depth, int count, float z, float r, float g, float b,
            [[maybe_unused]] int shift) const {
#if defined(__SSE2__)
    if (count < 4 && shift >= 0) {
      const ShortLanes lanes(shift, count);
      StoreShort(color - shift, depth - shift, lanes.At(z, dz_), lanes.inside,
                 PackBiased4(lanes.At(r, dr_), lanes.At(g, dg_), lanes.At(b, db_)));
      return;
    }
    if (count >= 4) {
      const int last = count - 4;
      __m128 zv = z_.Start(z), rv = r_.Start(r), gv = g_.Start(g), bv = b_.Start(b);
      int k = 0;
      for (; k + 4 <= last; k += 4) {
        Store4(color + k, depth + k, zv, PackBiased4(rv, gv, bv));
        zv = _mm_add_ps(zv, z_.four);
        rv = _mm_add_ps(rv, r_.four);
        gv = _mm_add_ps(gv, g_.four);
        bv = _mm_add_ps(bv, b_.four);
      }
      const __m128 oldK = Load4(depth + k), oldLast = Load4(depth + last);
      const __m128i colorK = Load4(color + k), colorLast = Load4(color + last);
      const float at = static_cast<float>(last);
      const __m128i rgbLast =
          PackBiased4(r_.Start(r + at * dr_), g_.Start(g + at * dg_), b_.Start(b + at * db_));
      Blend4(color + last, depth + last, z_.Start(z + at * dz_), oldLast, colorLast, rgbLast);
      Blend4(color + k, depth + k, zv, oldK, colorK, PackBiased4(rv, gv, bv));
      return;
    }
#endif
    for (int k = 0; k < count; ++k) {
      const float kf = static_cast<float>(k);
      const float zk = z + kf * dz_;
      if (zk > depth[k]) {
        depth[k] = zk;
        color[k] = PackBiased(r + kf * dr_, g + kf * dg_, b + kf * db_);
      }
    }
  }

 private:
  float dz_, dr_, dg_, db_;
#if defined(__SSE2__)
  Steps4 z_, r_, g_, b_;
#endif
};

// ---------------------------------------------------------------------------------------------
// Polygon set-up.

// A linear function of the pixel position: value = at00 + dx * column + dy * row, at00 being the
// value at the centre of pixel (0, 0).
struct Plane {
  double at00 = 0, dx = 0, dy = 0;
  double At(int column, int row) const { return at00 + dy * row + dx * column; }
  double AtPoint(double x, double y) const { return at00 + dx * (x - 0.5) + dy * (y - 0.5); }
};

// Polygons of at most this many vertices (all the game draws) keep each vertex's row, so that
// walking the edges needs no arithmetic on edges that hold no row centre.
constexpr int kRowCacheSize = 16;

struct Shape {
  int top = 0, bottom = 0;       // indices of a highest and a lowest vertex
  int rowBegin = 0, rowEnd = 0;  // rows whose centres lie inside, limited to the clip rectangle
  double xRef = 0, yRef = 0;     // the vertex centroid, where attribute planes are fitted
  double doubleArea = 0;         // positive when the vertices run clockwise on the screen
  float zMin = 0, zMax = 0;      // range of the vertices' depths
  Plane z;                       // the depth plane
  // When n <= kRowCacheSize: the first row below each vertex's y (CeilClamped(y - 0.5) to the
  // clip rectangle's rows).
  int vertexRow[kRowCacheSize];
};

// Checks the polygon, finds its extent and fits its depth plane. False when it is invalid,
// degenerate or covers no pixel centre inside the clip rectangle.
bool SetUpPolygon(const RasterTarget& t, const RasterVertex* v, int n, Shape& s) {
  if (v == nullptr || n < 3) return false;
  float xMin, xMax, yMin, yMax, zMin, zMax;
  double sx = 0, sy = 0, sz = 0;
#if defined(__SSE2__)
  // x, y and 1/z of every vertex at once (the fourth lane, r, is not looked at). A value that is
  // not finite makes p - p NaN.
  __m128 lo = _mm_loadu_ps(&v[0].x), hi = lo, invalid = _mm_setzero_ps();
  __m128d sumXY = _mm_setzero_pd();
  for (int i = 0; i < n; ++i) {
    const __m128 p = _mm_loadu_ps(&v[i].x);
    lo = _mm_min_ps(lo, p);
    hi = _mm_max_ps(hi, p);
    const __m128 d = _mm_sub_ps(p, p);
    invalid = _mm_or_ps(invalid, _mm_cmpunord_ps(d, d));
    sumXY = _mm_add_pd(sumXY, _mm_cvtps_pd(p));
    sz += v[i].invZ;
  }
  if ((_mm_movemask_ps(invalid) & 7) != 0) return false;
  alignas(16) float l[4], h[4];
  _mm_store_ps(l, lo);
  _mm_store_ps(h, hi);
  xMin = l[0], yMin = l[1], zMin = l[2];
  xMax = h[0], yMax = h[1], zMax = h[2];
  alignas(16) double xy[2];
  _mm_store_pd(xy, sumXY);
  sx = xy[0], sy = xy[1];
  int top = 0, bottom = 0;
  while (v[top].y != yMin) ++top;
  while (v[bottom].y != yMax) ++bottom;
#else
  xMin = xMax = v[0].x, yMin = yMax = v[0].y, zMin = zMax = v[0].invZ;
  int top = 0, bottom = 0;
  for (int i = 0; i < n; ++i) {
    const RasterVertex& p = v[i];
    xMin = p.x < xMin ? p.x : xMin;
    xMax = p.x > xMax ? p.x : xMax;
    top = p.y < yMin ? i : top;
    yMin = p.y < yMin ? p.y : yMin;
    bottom = p.y > yMax ? i : bottom;
    yMax = p.y > yMax ? p.y : yMax;
    zMin = p.invZ < zMin ? p.invZ : zMin;
    zMax = p.invZ > zMax ? p.invZ : zMax;
    sx += p.x;
    sy += p.y;
    sz += p.invZ;
  }
  // Sums of floats in double cannot overflow, so they are finite exactly when every value is.
  if (!(std::isfinite(sx) && std::isfinite(sy) && std::isfinite(sz))) return false;
#endif
  const double clipTop = t.clipTop, clipBottom = t.clipBottom;
  s.rowBegin = CeilClamped(yMin - 0.5, clipTop, clipBottom);
  s.rowEnd = CeilClamped(yMax - 0.5, clipTop, clipBottom);
  if (s.rowBegin >= s.rowEnd) return false;
  if (CeilClamped(xMin - 0.5, t.clipLeft, t.clipRight) >=
      CeilClamped(xMax - 0.5, t.clipLeft, t.clipRight)) {
    return false;
  }
  // 1 / n, from a table for the usual sizes.
  static constexpr double kInverse[] = {0,        1.0 / 1,  1.0 / 2,  1.0 / 3,  1.0 / 4,  1.0 / 5,
                                        1.0 / 6,  1.0 / 7,  1.0 / 8,  1.0 / 9,  1.0 / 10, 1.0 / 11,
                                        1.0 / 12, 1.0 / 13, 1.0 / 14, 1.0 / 15, 1.0 / 16};
  const double inverseN = n <= 16 ? kInverse[n] : 1.0 / n;
  const double xRef = sx * inverseN, yRef = sy * inverseN, zRef = sz * inverseN;
  // Twice the area and the depth plane's normal (Newell), about the centroid.
  double area = 0, nx = 0, ny = 0;
  double xj = v[n - 1].x - xRef, yj = v[n - 1].y - yRef, zj = v[n - 1].invZ - zRef;
  for (int i = 0; i < n; ++i) {
    const double xi = v[i].x - xRef, yi = v[i].y - yRef, zi = v[i].invZ - zRef;
    area += xj * yi - xi * yj;
    nx += (yj - yi) * (zj + zi);
    ny += (zj - zi) * (xj + xi);
    xj = xi, yj = yi, zj = zi;
  }
  if (!(std::fabs(area) > kMinDoubleArea)) return false;
#if defined(__SSE2__)
  // Both quotients at once (each as exact as on its own).
  alignas(16) double gradient[2];
  _mm_store_pd(gradient, _mm_div_pd(_mm_setr_pd(-nx, -ny), _mm_set1_pd(area)));
  const double dx = gradient[0], dy = gradient[1];
#else
  const double dx = -nx / area, dy = -ny / area;
#endif
  if (!(std::fabs(dx) <= kMaxDepthGradient && std::fabs(dy) <= kMaxDepthGradient)) return false;
  s.z.dx = dx;
  s.z.dy = dy;
  s.z.at00 = zRef + dx * (0.5 - xRef) + dy * (0.5 - yRef);
  s.top = top;
  s.bottom = bottom;
  s.xRef = xRef;
  s.yRef = yRef;
  s.doubleArea = area;
  s.zMin = zMin;
  s.zMax = zMax;
  if (n <= kRowCacheSize) {
    for (int i = 0; i < n; ++i) s.vertexRow[i] = CeilClamped(v[i].y - 0.5, clipTop, clipBottom);
  }
  return true;
}

// The depth at a span's first pixel, kept within the vertices' range (which a pixel centre inside
// the polygon cannot leave but for rounding; this also bounds slivers and huge coordinates).
inline float SpanDepth(const Shape& s, int first, int row) {
  float z = static_cast<float>(s.z.At(first, row));
  z = z > s.zMin ? z : s.zMin;
  return z < s.zMax ? z : s.zMax;
}

// A colour channel in 1/255 steps, limited in magnitude.
inline double ColourChannel(float c) {
  c = c > -kMaxColour ? c : -kMaxColour;  // NaN becomes -kMaxColour, which packs as 0
  return (c < kMaxColour ? c : kMaxColour) * 255.0;
}

// Fits the planes of the three colour channels (in 1/255 steps, biased; Newell's method on
// (x, y, value) as for depth). A channel whose plane is not finite or steeper than any real
// polygon's is left at black rather than poisoning the fill.
void FitColourPlanes(const RasterVertex* v, int n, const Shape& s, Plane planes[3]) {
  double mean[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    mean[0] += ColourChannel(v[i].r);
    mean[1] += ColourChannel(v[i].g);
    mean[2] += ColourChannel(v[i].b);
  }
  for (double& m : mean) m /= n;
  double nx[3] = {0, 0, 0}, ny[3] = {0, 0, 0};
  for (int i = 0, j = n - 1; i < n; j = i++) {
    const double dy = double(v[j].y) - v[i].y;
    const double sx = (v[j].x - s.xRef) + (v[i].x - s.xRef);
    const double ci[3] = {ColourChannel(v[i].r), ColourChannel(v[i].g), ColourChannel(v[i].b)};
    const double cj[3] = {ColourChannel(v[j].r), ColourChannel(v[j].g), ColourChannel(v[j].b)};
    for (int c = 0; c < 3; ++c) {
      nx[c] += dy * ((cj[c] - mean[c]) + (ci[c] - mean[c]));
      ny[c] += (cj[c] - ci[c]) * sx;
    }
  }
  for (int c = 0; c < 3; ++c) {
    Plane& p = planes[c];
    p.dx = -nx[c] / s.doubleArea;
    p.dy = -ny[c] / s.doubleArea;
    p.at00 = mean[c] + 0.5 + p.dx * (0.5 - s.xRef) + p.dy * (0.5 - s.yRef);
    if (!(std::fabs(p.dx) <= kMaxColourGradient && std::fabs(p.dy) <= kMaxColourGradient &&
          std::isfinite(p.at00))) {
      p = Plane{};
    }
  }
}

// One side of the polygon: the chain of edges from the top vertex down to the bottom vertex. On
// the current edge, the x of a row's centre line yc, less one half, is base + yc * slope. Edges
// that hold no row centre (most edges of small polygons) are passed over without working out
// their slope.
struct Chain {
  const RasterVertex* v;
  const int* vertexRow;  // null: worked out as needed
  int n;
  bool forward;
  double rowLo, rowHi;
  int upper = 0, next = 0, bottom = 0;  // the current edge runs from upper down to next
  bool ready = false;                   // base and slope are those of the current edge
  double base = 0, slope = 0;
  int endRow = 0;  // first row below the current edge

  int Step(int i) const {
    if (forward) return i + 1 == n ? 0 : i + 1;
    return i == 0 ? n - 1 : i - 1;
  }
  void Enter(int a) {
    upper = a;
    next = Step(a);
    endRow = vertexRow ? vertexRow[next] : CeilClamped(v[next].y - 0.5, rowLo, rowHi);
    ready = false;
  }
  void Start(int top, int bottomIndex) {
    bottom = bottomIndex;
    Enter(top);
  }
  // Moves to the edge that covers the row; false when the chain has ended above it.
  bool Reach(int row) {
    while (endRow <= row) {
      if (next == bottom) return false;
      Enter(next);
    }
    if (!ready) {
      const double x0 = v[upper].x, y0 = v[upper].y, y1 = v[next].y;
      slope = y1 > y0 ? (v[next].x - x0) / (y1 - y0) : 0.0;
      base = (x0 - 0.5) - y0 * slope;
      ready = true;
    }
    return true;
  }
};

// Rows whose ends are worked out together.
constexpr int kRowBatch = 16;

// Calls span(row, first, end) for every row of the polygon with pixels [first, end) inside.
template <class Span>
void ScanPolygon(const RasterTarget& t, const RasterVertex* v, int n, const Shape& s, Span&& span) {
  const int* rows = n <= kRowCacheSize ? s.vertexRow : nullptr;
  Chain forward{v, rows, n, true, double(t.clipTop), double(t.clipBottom)};
  Chain backward{v, rows, n, false, double(t.clipTop), double(t.clipBottom)};
  forward.Start(s.top, s.bottom);
  backward.Start(s.top, s.bottom);
  // Clockwise on the y-down screen means the forward chain runs down the right side.
  Chain& left = s.doubleArea > 0 ? backward : forward;
  Chain& right = s.doubleArea > 0 ? forward : backward;
#if defined(__SSE2__)
  // Both ends of a row at once, each exactly as CeilClamped gives it.
  const __m128d clipLo = _mm_set1_pd(t.clipLeft), clipHi = _mm_set1_pd(t.clipRight);
#else
  const double clipLeft = t.clipLeft, clipRight = t.clipRight;
#endif
  int row = s.rowBegin;
  while (row < s.rowEnd) {
    if (!left.Reach(row) || !right.Reach(row)) return;
    int stop = left.endRow < right.endRow ? left.endRow : right.endRow;
    stop = stop < s.rowEnd ? stop : s.rowEnd;
#if defined(__SSE2__)
    // The ends of up to kRowBatch rows first, then their spans: the conversions of one row do not
    // wait for the filling of the row before.
    const __m128d base = _mm_setr_pd(left.base, right.base);
    const __m128d slope = _mm_setr_pd(left.slope, right.slope);
    while (row < stop) {
      const int count = stop - row < kRowBatch ? stop - row : kRowBatch;
      alignas(16) int ends[2 * kRowBatch + 2];
      __m128d yc = _mm_set1_pd(row + 0.5);
      for (int k = 0; k < count; ++k, yc = _mm_add_pd(yc, _mm_set1_pd(1.0))) {
        // MAXPD and MINPD return their second operand when the first is NaN.
        const __m128d x =
            _mm_min_pd(_mm_max_pd(_mm_add_pd(base, _mm_mul_pd(yc, slope)), clipLo), clipHi);
        const __m128i truncated = _mm_cvttpd_epi32(x);
        const __m128i below = _mm_castpd_si128(_mm_cmplt_pd(_mm_cvtepi32_pd(truncated), x));
        const __m128i pair =
            _mm_sub_epi32(truncated, _mm_shuffle_epi32(below, _MM_SHUFFLE(3, 3, 2, 0)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(ends + 2 * k), pair);
      }
      for (int k = 0; k < count; ++k, ++row) {
        const int first = ends[2 * k], end = ends[2 * k + 1];
        if (first < end) span(row, first, end);
      }
    }
#else
    const double leftBase = left.base, leftSlope = left.slope;
    const double rightBase = right.base, rightSlope = right.slope;
    double yc = row + 0.5;
    for (; row < stop; ++row, yc += 1.0) {
      const int first = CeilClamped(leftBase + yc * leftSlope, clipLeft, clipRight);
      const int end = CeilClamped(rightBase + yc * rightSlope, clipLeft, clipRight);
      if (first < end) span(row, first, end);
    }
#endif
  }
}

// Where the group of four of a short span may end at most (the clip rectangle's right edge), or
// -1 when the clip rectangle is narrower than four pixels.
inline int ShortGroupEnd(const RasterTarget& t) {
  return t.clipRight - t.clipLeft >= 4 ? t.clipRight : -1;
}

// How far left of a short span starting at `first` its group of four starts.
inline int ShortShift(int first, int groupEnd) {
  if (groupEnd < 0) return -1;
  const int over = first + 4 - groupEnd;
  return over > 0 ? over : 0;
}

void FlatConvex(const RasterTarget& t, const RasterVertex* v, int n, uint32_t pixel) {
  Shape s;
  if (!SetUpPolygon(t, v, n, s)) return;
  const FlatSpans spans(static_cast<float>(s.z.dx), pixel);
  const int groupEnd = ShortGroupEnd(t);
  ScanPolygon(t, v, n, s, [&](int row, int first, int end) {
    spans.Fill(ColorRow(t, row) + first, DepthRow(t, row) + first, end - first,
               SpanDepth(s, first, row), ShortShift(first, groupEnd));
  });
}

void GouraudConvex(const RasterTarget& t, const RasterVertex* v, int n, bool maySplit);

// Fills a fan of triangles around vertex 0.
void GouraudFan(const RasterTarget& t, const RasterVertex* v, int n) {
  for (int i = 1; i + 1 < n; ++i) {
    const RasterVertex tri[3] = {v[0], v[i], v[i + 1]};
    GouraudConvex(t, tri, 3, false);
  }
}

void GouraudConvex(const RasterTarget& t, const RasterVertex* v, int n, bool maySplit) {
  Shape s;
  if (!SetUpPolygon(t, v, n, s)) return;
  Plane planes[3];
  FitColourPlanes(v, n, s, planes);
  const Plane &r = planes[0], &g = planes[1], &b = planes[2];
  if (maySplit && n > 3) {
    for (int i = 0; i < n; ++i) {
      const double x = v[i].x, y = v[i].y;
      if (std::fabs(r.AtPoint(x, y) - 0.5 - ColourChannel(v[i].r)) > kColourPlaneTolerance ||
          std::fabs(g.AtPoint(x, y) - 0.5 - ColourChannel(v[i].g)) > kColourPlaneTolerance ||
          std::fabs(b.AtPoint(x, y) - 0.5 - ColourChannel(v[i].b)) > kColourPlaneTolerance) {
        GouraudFan(t, v, n);
        return;
      }
    }
  }
  const GouraudSpans spans(static_cast<float>(s.z.dx), static_cast<float>(r.dx),
                           static_cast<float>(g.dx), static_cast<float>(b.dx));
  const int groupEnd = ShortGroupEnd(t);
  ScanPolygon(t, v, n, s, [&](int row, int first, int end) {
    spans.Fill(ColorRow(t, row) + first, DepthRow(t, row) + first, end - first,
               SpanDepth(s, first, row), static_cast<float>(r.At(first, row)),
               static_cast<float>(g.At(first, row)), static_cast<float>(b.At(first, row)),
               ShortShift(first, groupEnd));
  });
}

bool SameColour(const RasterVertex* v, int n) {
  for (int i = 1; i < n; ++i) {
    if (!(v[i].r == v[0].r && v[i].g == v[0].g && v[i].b == v[0].b)) return false;
  }
  return true;
}

// A line's pixels: at step k the major coordinate is major0 + majorDir * k and the minor one the
// integer part of the 32.32 fixed-point minorAcc + k * minorStep; the depth is z + k * dz.
struct LineSteps {
  int major0, majorDir, minorLo, minorHi, kFirst, kLast;
  int64_t minorAcc, minorStep;
  float z, dz;
};

// kMinorInside: every step's minor coordinate is known to lie inside the clip rectangle.
template <bool kXMajor, bool kMinorInside>
void StepLine(const RasterTarget& t, const LineSteps& s, uint32_t pixel) {
  // The target's fields in locals: the pixel writes could otherwise alias them.
  uint32_t* const color = t.color;
  float* const depth = t.depth;
  const ptrdiff_t colorPitch = t.colorPitch, depthPitch = t.depthPitch;
  int64_t minorAcc = s.minorAcc;
  const unsigned minorRange = static_cast<unsigned>(s.minorHi - s.minorLo);
  for (int k = s.kFirst; k <= s.kLast; ++k, minorAcc += s.minorStep) {
    const int minor = static_cast<int>(minorAcc >> 32);
    if (!kMinorInside && static_cast<unsigned>(minor - s.minorLo) >= minorRange) continue;
    const int major = s.major0 + s.majorDir * k;
    const ptrdiff_t x = kXMajor ? major : minor, y = kXMajor ? minor : major;
    const float z = s.z + static_cast<float>(k) * s.dz;
    float* d = depth + y * depthPitch + x;
    if (z > *d) {
      *d = z;
      color[y * colorPitch + x] = pixel;
    }
  }
}

// Steps from the pixel of (sx, sy) to the pixel of (ex, ey), depths sz to ez, drawing the steps
// inside the clip rectangle. Every coordinate lies within the guard band; with kInClip, both ends
// lie inside the clip rectangle (which starts at or after 0), where nothing needs clipping and
// truncation is the floor.
template <bool kInClip>
void StepSegment(const RasterTarget& t, double sx, double sy, double ex, double ey, double sz,
                 double ez, uint32_t pixel) {
  // Step from the start pixel to the end pixel along the major axis, one pixel per step; the minor
  // coordinate is the rounded straight line between the two pixels (32.32 fixed point).
  // The band keeps every coordinate well inside the range of int.
  auto floorOf = [](double v) {
    const int i = static_cast<int>(v);
    return !kInClip && i > v ? i - 1 : i;
  };
  const int x0 = floorOf(sx), y0 = floorOf(sy), x1 = floorOf(ex), y1 = floorOf(ey);
  const int spanX = x1 - x0, spanY = y1 - y0;
  const bool xMajor = std::abs(spanX) >= std::abs(spanY);
  const int steps = xMajor ? std::abs(spanX) : std::abs(spanY);
  const int major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const int majorDir = (xMajor ? spanX : spanY) < 0 ? -1 : 1;
  const int minorSpan = xMajor ? spanY : spanX;
  const int majorLo = xMajor ? t.clipLeft : t.clipTop,
            majorHi = xMajor ? t.clipRight : t.clipBottom;
  const int minorLo = xMajor ? t.clipTop : t.clipLeft,
            minorHi = xMajor ? t.clipBottom : t.clipRight;

  // Only the steps whose major coordinate lies inside the clip rectangle.
  int kFirst = 0, kLast = steps;
  if (kInClip) {
  } else if (majorDir > 0) {
    if (major0 < majorLo) kFirst = majorLo - major0;
    if (major0 + steps >= majorHi) kLast = majorHi - 1 - major0;
  } else {
    if (major0 >= majorHi) kFirst = major0 - (majorHi - 1);
    if (major0 - steps < majorLo) kLast = major0 - majorLo;
  }
  if (kFirst > kLast) return;
  // The minor coordinate never leaves the range between the end pixels' ones.
  const bool minorInside = kInClip || (std::min(minor0, minor0 + minorSpan) >= minorLo &&
                                       std::max(minor0, minor0 + minorSpan) < minorHi);

  // The quotient of minorSpan * 2^32 by steps, truncated. Both are exact doubles, the quotient is
  // at most 2^32 in magnitude (its rounding error at most 2^-21) and, unless whole, at least
  // 1 / steps from a whole number, so the truncated double quotient is the exact one.
  const int64_t minorStep =
      steps > 0 ? static_cast<int64_t>(double(minorSpan) * 4294967296.0 / steps) : 0;
  const int64_t minorAcc = (int64_t(minor0) << 32) + (int64_t(1) << 31) + minorStep * kFirst;
  const float zStep = steps > 0 ? static_cast<float>((ez - sz) / steps) : 0.0f;
  // A line that stays within one pixel takes the nearer of its two ends.
  const float zStart = steps > 0 ? static_cast<float>(sz) : static_cast<float>(sz > ez ? sz : ez);
  const LineSteps line{major0, majorDir, minorLo,   minorHi, kFirst,
                       kLast,  minorAcc, minorStep, zStart,  zStep};
  if (xMajor)
    minorInside ? StepLine<true, true>(t, line, pixel) : StepLine<true, false>(t, line, pixel);
  else
    minorInside ? StepLine<false, true>(t, line, pixel) : StepLine<false, false>(t, line, pixel);
}

}  // namespace

uint32_t PackPixel(float r, float g, float b) {
  return PackBiased(r * 255.0f + 0.5f, g * 255.0f + 0.5f, b * 255.0f + 0.5f);
}

void RasterPolygonFlat(const RasterTarget& target, const RasterVertex* v, int n, uint32_t pixel) {
  if (!UsableTarget(target)) return;
  FlatConvex(target, v, n, pixel);
}

void RasterPolygonGouraud(const RasterTarget& target, const RasterVertex* v, int n) {
  if (!UsableTarget(target) || v == nullptr || n < 3) return;
  // One colour all over (a flat-lit face, the ground under a directional light) fills as flat.
  if (SameColour(v, n)) {
    FlatConvex(target, v, n, PackPixel(v[0].r, v[0].g, v[0].b));
    return;
  }
  GouraudConvex(target, v, n, true);
}

void RasterLine(const RasterTarget& target, const RasterVertex& a, const RasterVertex& b,
                uint32_t pixel) {
  const RasterTarget& t = target;
  if (!UsableTarget(t)) return;
  if (!(Finite(a.x) && Finite(a.y) && Finite(a.invZ) && Finite(b.x) && Finite(b.y) &&
        Finite(b.invZ))) {
    return;
  }
  // Most lines of a wireframe are a few pixels long and lie inside the clip rectangle: nothing to
  // cut.
  if (a.x >= t.clipLeft && a.x < t.clipRight && b.x >= t.clipLeft && b.x < t.clipRight &&
      a.y >= t.clipTop && a.y < t.clipBottom && b.y >= t.clipTop && b.y < t.clipBottom) {
    StepSegment<true>(t, a.x, a.y, b.x, b.y, a.invZ, b.invZ, pixel);
    return;
  }
  // Cut the segment to the guard band (Liang-Barsky). A cut point takes the band's edge exactly
  // as the coordinate that was cut, which keeps it precise when the other end is very far away.
  const double ax = a.x, ay = a.y, dx = double(b.x) - ax, dy = double(b.y) - ay;
  const double bandLeft = t.clipLeft - kLineGuardBand, bandRight = t.clipRight + kLineGuardBand;
  const double bandTop = t.clipTop - kLineGuardBand, bandBottom = t.clipBottom + kLineGuardBand;
  double t0 = 0.0, t1 = 1.0;
  double sx = ax, sy = ay, ex = b.x, ey = b.y;
  // Keeps the part where p * t <= q; the cut coordinate becomes `edge` on `axis` (0 x, 1 y).
  auto cut = [&](double p, double q, int axis, double edge) {
    if (p == 0.0) return q >= 0.0;
    const double r = q / p;
    if (p < 0.0) {
      if (r > t1) return false;
      if (r > t0) {
        t0 = r;
        sx = axis == 0 ? edge : ax + r * dx;
        sy = axis == 1 ? edge : ay + r * dy;
      }
    } else {
      if (r < t0) return false;
      if (r < t1) {
        t1 = r;
        ex = axis == 0 ? edge : ax + r * dx;
        ey = axis == 1 ? edge : ay + r * dy;
      }
    }
    return true;
  };
  const bool inside = ax >= bandLeft && ax <= bandRight && ex >= bandLeft && ex <= bandRight &&
                      ay >= bandTop && ay <= bandBottom && ey >= bandTop && ey <= bandBottom;
  if (!inside &&
      (!cut(-dx, ax - bandLeft, 0, bandLeft) || !cut(dx, bandRight - ax, 0, bandRight) ||
       !cut(-dy, ay - bandTop, 1, bandTop) || !cut(dy, bandBottom - ay, 1, bandBottom))) {
    return;
  }
  // Far beyond the band, rounding can still put the other coordinate off it; keep it on the band
  // so that the pixel arithmetic below stays in range (every value here is finite).
  auto onBand = [](double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; };
  sx = onBand(sx, bandLeft, bandRight);
  ex = onBand(ex, bandLeft, bandRight);
  sy = onBand(sy, bandTop, bandBottom);
  ey = onBand(ey, bandTop, bandBottom);
  const double dz = double(b.invZ) - a.invZ;
  const double sz = a.invZ + t0 * dz, ez = a.invZ + t1 * dz;

  StepSegment<false>(t, sx, sy, ex, ey, sz, ez, pixel);
}
