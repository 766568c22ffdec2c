// The game's own models, palette and icon in data/: each one loads, has the size and facing the
// game places it with, and only convex polygons wound clockwise from the front.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/xfile.h"

namespace {

std::string DataPath(const std::string& name) {
  const char* root = std::getenv("GRONKA_SOURCE_DIR");
  return std::string(root ? root : "..") + "/data/" + name;
}

XVector Sub(XVector a, XVector b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
XVector Cross(XVector a, XVector b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(XVector a, XVector b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Length(XVector a) {
  return std::sqrt(Dot(a, a));
}

struct Box {
  XVector lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
  XVector Size() const { return Sub(hi, lo); }
};

Box Bounds(const XMesh& m) {
  Box b;
  for (const XVector& v : m.vertices) {
    b.lo = {std::min(b.lo.x, v.x), std::min(b.lo.y, v.y), std::min(b.lo.z, v.z)};
    b.hi = {std::max(b.hi.x, v.x), std::max(b.hi.y, v.y), std::max(b.hi.z, v.z)};
  }
  return b;
}

std::vector<XVector> Polygon(const XMesh& m, size_t f) {
  std::vector<XVector> p;
  for (uint32_t i = m.faceStart[f]; i < m.faceStart[f + 1]; ++i)
    p.push_back(m.vertices[m.faceIndices[i]]);
  return p;
}

// (v1 - v0) x (v2 - v0): with left-handed axes it points out of the side from which the polygon
// is seen clockwise, its front.
XVector FaceNormal(const std::vector<XVector>& p) {
  return Cross(Sub(p[1], p[0]), Sub(p[2], p[0]));
}

XMesh Load(const std::string& name) {
  XMesh mesh;
  std::string error;
  EXPECT_TRUE(ReadXFile(DataPath(name).c_str(), mesh, &error)) << error;
  return mesh;
}

const char* const kModels[] = {"my.x",    "zimen.x", "beam.x", "shadow.x", "ts.x",
                               "speed.x", "power.x", "grip.x", "items.x",  "die.x"};

TEST(ModelsTest, EveryModelHasConvexPlanarPolygonsWithNormalsOnTheirFront) {
  for (const char* name : kModels) {
    SCOPED_TRACE(name);
    XMesh m = Load(name);
    ASSERT_GT(m.FaceCount(), 0u);
    ASSERT_FALSE(m.materials.empty());
    ASSERT_EQ(m.normalIndices.size(), m.faceIndices.size()) << "models carry MeshNormals";
    for (size_t f = 0; f < m.FaceCount(); ++f) {
      std::vector<XVector> p = Polygon(m, f);
      XVector n = FaceNormal(p);
      ASSERT_GT(Length(n), 1e-6f) << "face " << f << " starts with a degenerate corner";
      n = {n.x / Length(n), n.y / Length(n), n.z / Length(n)};
      for (size_t i = 0; i < p.size(); ++i) {
        XVector a = p[i], b = p[(i + 1) % p.size()], c = p[(i + 2) % p.size()];
        EXPECT_GT(Dot(Cross(Sub(b, a), Sub(c, b)), n), -1e-7f) << "face " << f << " not convex";
        EXPECT_NEAR(Dot(Sub(a, p[0]), n), 0.0f, 2e-3f) << "face " << f << " not planar";
        const XVector& given = m.normals[m.normalIndices[m.faceStart[f] + i]];
        EXPECT_NEAR(Length(given), 1.0f, 1e-3f);
        EXPECT_GT(Dot(given, n), 0.3f) << "face " << f << " normal points behind it";
      }
    }
  }
}

// A flat model: every vertex at height 0, every polygon facing up (clockwise seen from above).
void ExpectFlatAndFacingUp(const XMesh& m) {
  for (const XVector& v : m.vertices) EXPECT_EQ(v.y, 0.0f);
  for (size_t f = 0; f < m.FaceCount(); ++f) {
    XVector n = FaceNormal(Polygon(m, f));
    EXPECT_GT(n.y, 0.99f * Length(n)) << "face " << f << " does not face up";
  }
}

TEST(ModelsTest, GroundIsAnUpwardCheckerboardOfFiveUnitSquaresAcrossTheArena) {
  XMesh m = Load("zimen.x");
  ExpectFlatAndFacingUp(m);
  Box b = Bounds(m);
  EXPECT_EQ(b.lo.x, -40.0f);
  EXPECT_EQ(b.hi.z, 40.0f);
  ASSERT_EQ(m.FaceCount(), 256u);
  ASSERT_EQ(m.materials.size(), 2u);
  std::set<std::pair<int, int>> squares;
  for (size_t f = 0; f < m.FaceCount(); ++f) {
    std::vector<XVector> p = Polygon(m, f);
    Box sq;
    for (const XVector& v : p) {
      sq.lo = {std::min(sq.lo.x, v.x), 0, std::min(sq.lo.z, v.z)};
      sq.hi = {std::max(sq.hi.x, v.x), 0, std::max(sq.hi.z, v.z)};
    }
    EXPECT_EQ(sq.Size().x, 5.0f);
    EXPECT_EQ(sq.Size().z, 5.0f);
    int i = static_cast<int>((sq.lo.x + 40) / 5), j = static_cast<int>((sq.lo.z + 40) / 5);
    squares.insert({i, j});
    EXPECT_EQ(m.faceMaterial[f], static_cast<uint32_t>((i + j) % 2)) << "not a checkerboard";
  }
  EXPECT_EQ(squares.size(), 256u) << "the squares must tile the arena";
  EXPECT_NE(m.materials[0].g, m.materials[1].g);
}

TEST(ModelsTest, CraftIsAboutOneUnitLongWithItsNoseForwardAndCentredOnTheOrigin) {
  XMesh m = Load("my.x");
  Box b = Bounds(m);
  EXPECT_NEAR(b.Size().z, 1.0f, 0.1f);
  EXPECT_GT(b.hi.z, 0.4f);                    // the nose points along +z
  EXPECT_NEAR(b.lo.x + b.hi.x, 0.0f, 1e-4f);  // symmetric
  // Hit within a Manhattan distance of 1 of the origin: the craft has to be about that big.
  for (const XVector& v : m.vertices)
    EXPECT_LT(std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z), 1.0f);
}

TEST(ModelsTest, ShadowAndItemMarkerAreFlatAndTheShadowIsADarkSilhouetteOfTheCraft) {
  XMesh shadow = Load("shadow.x");
  ExpectFlatAndFacingUp(shadow);
  for (const XMaterial& mat : shadow.materials) EXPECT_LT(std::max({mat.r, mat.g, mat.b}), 0.2f);
  Box s = Bounds(shadow), c = Bounds(Load("my.x"));
  EXPECT_NEAR(s.lo.z, c.lo.z, 0.05f);
  EXPECT_NEAR(s.hi.z, c.hi.z, 0.05f);
  EXPECT_NEAR(s.Size().x, c.Size().x, 0.05f);
  ExpectFlatAndFacingUp(Load("items.x"));
}

// Every edge of a closed solid is used once in each direction: it can be seen from every side.
void ExpectClosed(const XMesh& m) {
  std::map<std::pair<uint32_t, uint32_t>, int> edges;
  for (size_t f = 0; f < m.FaceCount(); ++f) {
    uint32_t n = m.faceStart[f + 1] - m.faceStart[f];
    for (uint32_t i = 0; i < n; ++i)
      ++edges[{m.faceIndices[m.faceStart[f] + i], m.faceIndices[m.faceStart[f] + (i + 1) % n]}];
  }
  for (const auto& [edge, count] : edges) {
    EXPECT_EQ(count, 1);
    EXPECT_EQ(edges.count({edge.second, edge.first}), 1u) << "open edge";
  }
}

TEST(ModelsTest, BulletIsAThinBoltWithTwoSidedCrossedFins) {
  XMesh m = Load("beam.x");
  Box b = Bounds(m);
  EXPECT_NEAR(b.Size().z, 0.6f, 0.05f);
  EXPECT_GT(std::min(b.Size().x, b.Size().y), 0.05f);  // a cross: thickness in x and y
  ExpectClosed(m);                                     // each fin is there in both windings
}

TEST(ModelsTest, PowerUpsAndDebrisAreClosedSolidsOfTheirSize) {
  const struct {
    const char* name;
    float least, most;  // of the largest extent
  } solids[] = {{"speed.x", 0.8f, 1.2f}, {"power.x", 0.8f, 1.2f}, {"die.x", 0.15f, 0.35f}};
  for (const auto& s : solids) {
    SCOPED_TRACE(s.name);
    XMesh m = Load(s.name);
    XVector size = Bounds(m).Size();
    EXPECT_GT(std::max({size.x, size.y, size.z}), s.least);
    EXPECT_LT(std::max({size.x, size.y, size.z}), s.most);
    ExpectClosed(m);
  }
  // Distinct dominant colours, weighted by polygon count.
  auto colour = [](const XMesh& m) {
    XVector c;
    for (uint32_t mat : m.faceMaterial)
      c = {c.x + m.materials[mat].r, c.y + m.materials[mat].g, c.z + m.materials[mat].b};
    return c;
  };
  XVector s = colour(Load("speed.x")), p = colour(Load("power.x")), g = colour(Load("grip.x"));
  EXPECT_GT(std::min(s.y, s.z), 2 * s.x);  // cyan
  EXPECT_GT(p.x, 3 * std::max(p.y, p.z));  // red
  EXPECT_GT(g.y, 2 * std::max(g.x, g.z));  // green
}

TEST(ModelsTest, TitleIsSixteenUnitsWideFacingMinusZ) {
  XMesh m = Load("ts.x");
  Box b = Bounds(m);
  EXPECT_NEAR(b.Size().x, 16.0f, 0.5f);
  EXPECT_NEAR(b.lo.x + b.hi.x, 0.0f, 1e-3f);
  EXPECT_EQ(b.lo.z, 0.0f);
  // The faces towards -z lie at z = 0.
  size_t fronts = 0;
  for (size_t f = 0; f < m.FaceCount(); ++f) {
    std::vector<XVector> p = Polygon(m, f);
    XVector n = FaceNormal(p);
    if (n.z > -0.99f * Length(n)) continue;
    ++fronts;
    for (const XVector& v : p) EXPECT_EQ(v.z, 0.0f);
  }
  EXPECT_GE(fronts, 6u);  // at least one piece per letter
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<unsigned char>& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
uint16_t U16(const std::vector<unsigned char>& d, size_t at) {
  return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

TEST(ModelsTest, PaletteBitmapHasA256EntryColourTable) {
  std::vector<unsigned char> d = ReadBytes(DataPath("pal.bmp"));
  ASSERT_GE(d.size(), 14u + 40u + 1024u);
  EXPECT_EQ(d[0], 'B');
  EXPECT_EQ(U32(d, 14), 40u);   // BITMAPINFOHEADER
  EXPECT_EQ(U16(d, 28), 8u);    // 8 bits per pixel
  EXPECT_EQ(U32(d, 46), 256u);  // colours used
  // Distinct colours, black first and white last.
  std::set<uint32_t> colours;
  for (size_t i = 0; i < 256; ++i) colours.insert(U32(d, 54 + 4 * i) & 0xFFFFFF);
  EXPECT_GT(colours.size(), 240u);
  EXPECT_EQ(U32(d, 54), 0u);
  EXPECT_EQ(U32(d, 54 + 4 * 255), 0xFFFFFFu);
}

TEST(ModelsTest, IconIs32By32With32BitPixelsAndAlpha) {
  std::vector<unsigned char> d = ReadBytes(DataPath("grk.bmp"));
  ASSERT_EQ(d.size(), 14u + 40u + 32u * 32u * 4u);
  EXPECT_EQ(U32(d, 18), 32u);
  EXPECT_EQ(U32(d, 22), 32u);  // positive: bottom-up rows
  EXPECT_EQ(U16(d, 28), 32u);
  int transparent = 0, opaque = 0;
  for (size_t i = 0; i < 32 * 32; ++i) {
    unsigned char a = d[54 + 4 * i + 3];
    transparent += a == 0;
    opaque += a == 255;
  }
  EXPECT_GT(transparent, 100);  // a shape on a clear background
  EXPECT_GT(opaque, 200);
}

}  // namespace
