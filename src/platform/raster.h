// Scan conversion of screen-space polygons and lines into a 32-bit colour buffer with a depth
// buffer. Polygons arrive already clipped against the front and back planes and projected; the
// rasteriser clips them to the target's rectangle, tests and writes depth, and fills them.
#pragma once

#include <cstdint>

struct RasterTarget {
  uint32_t* color = nullptr;  // XRGB 8888 pixels, 0x00RRGGBB
  int colorPitch = 0;         // in pixels
  float* depth = nullptr;     // one value per pixel: 1 / camera-space z; 0 is infinitely far
  int depthPitch = 0;         // in values
  // Pixels may be written only inside [clipLeft, clipRight) x [clipTop, clipBottom).
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
};

struct RasterVertex {
  float x = 0, y = 0;     // screen position in pixels; pixel (i, j) has its centre at (i + 0.5, j + 0.5)
  float invZ = 0;         // 1 / camera-space z, interpolated linearly on screen; larger is nearer
  float r = 0, g = 0, b = 0;  // colour 0..1, used by the Gouraud fill only
};

// Packs a colour of three 0..1 channels (clamped) into an XRGB pixel.
uint32_t PackPixel(float r, float g, float b);

// Fills a convex polygon of n >= 3 vertices in either winding with one pixel value. A pixel is
// written when its centre lies inside (top-left fill rule, so polygons that share an edge never
// both write a pixel) and its depth is greater than the stored one; the stored depth is updated.
void RasterPolygonFlat(const RasterTarget& target, const RasterVertex* v, int n, uint32_t pixel);

// The same, with the vertex colours interpolated linearly across the polygon.
void RasterPolygonGouraud(const RasterTarget& target, const RasterVertex* v, int n);

// A depth-tested line one pixel wide from a to b, both end points included.
void RasterLine(const RasterTarget& target, const RasterVertex& a, const RasterVertex& b,
                uint32_t pixel);
