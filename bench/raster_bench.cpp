// Rasteriser throughput on the shapes a frame of the game is made of: the ground grid filling a
// view, small bullets and debris, and whole frames of two split-screen views.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/raster.h"

namespace {

struct Surface {
  int w, h;
  std::vector<uint32_t> color;
  std::vector<float> depth;
  Surface(int width, int height)
      : w(width), h(height), color(width * height, 0), depth(width * height, 0.0f) {}
  RasterTarget View(int left, int top, int right, int bottom) {
    RasterTarget t;
    t.color = color.data();
    t.colorPitch = w;
    t.depth = depth.data();
    t.depthPitch = w;
    t.clipLeft = left, t.clipTop = top, t.clipRight = right, t.clipBottom = bottom;
    return t;
  }
  void Clear() {
    std::fill(color.begin(), color.end(), 0u);
    std::fill(depth.begin(), depth.end(), 0.0f);
  }
};

using Polygon = std::vector<RasterVertex>;

// A cells x cells grid of quads covering [x0, x1) x [y0, y1), jittered inside, with depth rising
// towards the bottom of the view (nearer ground); lit evenly (one colour, as a flat ground under a
// directional light) or with a random shade at every vertex.
std::vector<Polygon> Grid(float x0, float y0, float x1, float y1, int cells, bool even) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> jitter(-0.15f, 0.15f), shade(0.2f, 1.0f);
  const float cw = (x1 - x0) / cells, ch = (y1 - y0) / cells;
  std::vector<RasterVertex> pts((cells + 1) * (cells + 1));
  for (int j = 0; j <= cells; ++j)
    for (int i = 0; i <= cells; ++i) {
      const bool inner = i > 0 && j > 0 && i < cells && j < cells;
      RasterVertex& p = pts[j * (cells + 1) + i];
      p.x = x0 + (i + (inner ? jitter(rng) : 0)) * cw;
      p.y = y0 + (j + (inner ? jitter(rng) : 0)) * ch;
      p.invZ = 0.02f + 0.2f * j / cells;
      const float s = even ? 0.7f : shade(rng);
      p.r = s, p.g = 0.8f * s, p.b = 0.5f * s;
    }
  std::vector<Polygon> quads;
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      auto at = [&](int di, int dj) { return pts[(j + dj) * (cells + 1) + i + di]; };
      quads.push_back({at(0, 0), at(1, 0), at(1, 1), at(0, 1)});
    }
  return quads;
}

// Small triangles scattered over a view, in front of the ground: `size` pixels across.
std::vector<Polygon> Scatter(int count, float size, float x0, float y0, float x1, float y1,
                             unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> px(x0, x1 - size), py(y0, y1 - size), unit(0, 1);
  std::vector<Polygon> tris;
  for (int k = 0; k < count; ++k) {
    const float x = px(rng), y = py(rng), z = 0.3f + 0.5f * unit(rng);
    tris.push_back({{x, y, z, 1, 1, 0.5f},
                    {x + size, y + size * unit(rng), z, 1, 0.5f, 0.2f},
                    {x + size * unit(rng), y + size, z, 0.8f, 0.8f, 0.8f}});
  }
  return tris;
}

// A craft: a fan of 40 faces about 60 pixels across around the view's centre.
std::vector<Polygon> Craft(float cx, float cy) {
  std::vector<Polygon> faces;
  const int n = 40;
  for (int k = 0; k < n; ++k) {
    const float a0 = 6.2831853f * k / n, a1 = 6.2831853f * (k + 1) / n;
    faces.push_back({{cx, cy, 0.9f, 1, 1, 1},
                     {cx + 30 * std::cos(a0), cy + 18 * std::sin(a0), 0.8f, 0.6f, 0.6f, 0.9f},
                     {cx + 30 * std::cos(a1), cy + 18 * std::sin(a1), 0.8f, 0.5f, 0.5f, 0.8f}});
  }
  return faces;
}

// Moves every polygon a little nearer, so that drawing them again passes the depth test without
// a clear of the depth buffer (which BM_Clear640x480 measures on its own).
void ComeNearer(std::vector<Polygon>& polys, Surface& s) {
  float& shift = polys.front().front().invZ;
  if (shift > 1000.0f) {  // rarely: start again from a cleared buffer
    std::fill(s.depth.begin(), s.depth.end(), 0.0f);
    for (Polygon& p : polys)
      for (RasterVertex& v : p) v.invZ = std::fmod(v.invZ, 1.0f);
  }
  for (Polygon& p : polys)
    for (RasterVertex& v : p) v.invZ += 1.0f;
}

void DrawAll(const RasterTarget& t, const std::vector<Polygon>& polys, bool gouraud) {
  for (const Polygon& p : polys) {
    if (gouraud)
      RasterPolygonGouraud(t, p.data(), int(p.size()));
    else
      RasterPolygonFlat(t, p.data(), int(p.size()), 0x406080);
  }
}

// One 320 x 480 view covered by the ground grid (16 x 16 quads unless given).
void BM_ViewGrid(benchmark::State& state) {
  const bool gouraud = state.range(0) != 0, even = state.range(1) != 0;
  const int cells = state.range(2) ? int(state.range(2)) : 16;
  Surface s(320, 480);
  const RasterTarget t = s.View(0, 0, 320, 480);
  auto grid = Grid(0, 0, 320, 480, cells, even);
  for (auto _ : state) {
    ComeNearer(grid, s);
    DrawAll(t, grid, gouraud);
    benchmark::DoNotOptimize(s.color.data());
  }
  state.SetItemsProcessed(state.iterations() * 320 * 480);
}
BENCHMARK(BM_ViewGrid)
    ->ArgNames({"gouraud", "even", "cells"})
    ->Args({0, 1, 1})
    ->Args({0, 1, 16})
    ->Args({0, 1, 64})
    ->Args({1, 1, 16})
    ->Args({1, 0, 16});

void BM_Clear640x480(benchmark::State& state) {
  Surface s(640, 480);
  for (auto _ : state) {
    s.Clear();
    benchmark::DoNotOptimize(s.color.data());
  }
}
BENCHMARK(BM_Clear640x480);

// One quad over the whole 640 x 480 screen, every pixel passing the depth test. The Gouraud quad
// has a colour gradient, with its corners' colours on one plane.
void BM_FullScreen640x480(benchmark::State& state) {
  const bool gouraud = state.range(0) != 0;
  Surface s(640, 480);
  const RasterTarget t = s.View(0, 0, 640, 480);
  std::vector<Polygon> quad = {{{0, 0, 0.1f, 1, 0, 0},
                                {640, 0, 0.1f, 0.5f, 0.5f, 0},
                                {640, 480, 0.1f, 0, 1, 0.5f},
                                {0, 480, 0.1f, 0.5f, 0.5f, 0.5f}}};
  for (auto _ : state) {
    ComeNearer(quad, s);
    DrawAll(t, quad, gouraud);
    benchmark::DoNotOptimize(s.color.data());
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_FullScreen640x480)->ArgName("gouraud")->Arg(0)->Arg(1);

// 200 bullets (3 px) and 100 debris shards (8 px) over one view with the ground already drawn.
void BM_SmallTriangles(benchmark::State& state) {
  const bool gouraud = state.range(0) != 0;
  Surface s(320, 480);
  const RasterTarget t = s.View(0, 0, 320, 480);
  auto small = Scatter(200, 3, 0, 0, 320, 480, 1);
  const auto shards = Scatter(100, 8, 0, 0, 320, 480, 2);
  small.insert(small.end(), shards.begin(), shards.end());
  for (auto _ : state) {
    ComeNearer(small, s);
    DrawAll(t, small, gouraud);
    benchmark::DoNotOptimize(s.color.data());
  }
  state.SetItemsProcessed(state.iterations() * small.size());
}
BENCHMARK(BM_SmallTriangles)->ArgName("gouraud")->Arg(0)->Arg(1);

// A whole frame: clear, then two side-by-side views each with the evenly lit ground grid, two
// craft, 200 bullets and 100 debris shards (as if every one were in both views). Arguments:
// screen width (640 or 320) and shading.
void BM_Frame(benchmark::State& state) {
  const int w = int(state.range(0)), h = w * 3 / 4;
  const bool gouraud = state.range(1) != 0;
  const float scale = w / 640.0f;
  Surface s(w, h);
  std::vector<Polygon> views[2];
  for (int v = 0; v < 2; ++v) {
    const float x0 = v * w / 2.0f, x1 = x0 + w / 2.0f;
    views[v] = Grid(x0 - 40 * scale, 0, x1 + 40 * scale, float(h), 16, true);
    for (const auto& part : {Craft(x0 + w / 4.0f, h * 0.6f), Craft(x0 + w / 3.0f, h * 0.3f),
                             Scatter(200, 3 * scale, x0, 0, x1, float(h), 3 + v),
                             Scatter(100, 8 * scale, x0, 0, x1, float(h), 5 + v)})
      views[v].insert(views[v].end(), part.begin(), part.end());
  }
  for (auto _ : state) {
    s.Clear();
    for (int v = 0; v < 2; ++v)
      DrawAll(s.View(v * w / 2, 0, (v + 1) * w / 2, h), views[v], gouraud);
    benchmark::DoNotOptimize(s.color.data());
  }
}
BENCHMARK(BM_Frame)
    ->ArgNames({"width", "gouraud"})
    ->Args({640, 1})
    ->Args({640, 0})
    ->Args({320, 0})
    ->Unit(benchmark::kMicrosecond);

// Wireframe: every edge of the ground grid of one 320 x 480 view as a line.
void BM_WireframeGrid(benchmark::State& state) {
  Surface s(320, 480);
  const RasterTarget t = s.View(0, 0, 320, 480);
  const auto grid = Grid(0, 0, 320, 480, 16, true);
  for (auto _ : state) {
    std::fill(s.depth.begin(), s.depth.end(), 0.0f);
    for (const Polygon& p : grid)
      for (size_t k = 0; k < p.size(); ++k) RasterLine(t, p[k], p[(k + 1) % p.size()], 0xFFFFFF);
    benchmark::DoNotOptimize(s.color.data());
  }
  state.SetItemsProcessed(state.iterations() * grid.size() * 4);
}
BENCHMARK(BM_WireframeGrid);

}  // namespace
