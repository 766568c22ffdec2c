// Drawing scenes through viewports into a surface where the game's own scenes do not go: partial
// viewports, the front and back planes, lights outside the scene, meshes with bad indices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

#include "platform/d3drm.h"
#include "platform/raster.h"

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr uint32_t Background = 0x00102030;

IDirectDrawSurface* MakeSurface(int width, int height) {
  auto* s = new IDirectDrawSurface;
  s->width = width;
  s->height = height;
  s->pitch = width;
  s->pixels.assign(static_cast<size_t>(width) * height, Background);
  return s;
}

int Channel(uint32_t pixel, int shift) {
  return static_cast<int>((pixel >> shift) & 0xFF);
}

bool Close(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
  return true;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = RefCounted::LiveObjectCount();
    Direct3DRMCreate(&rm_);
    rm_->CreateFrame(nullptr, &scene_);
    rm_->CreateFrame(scene_, &camera_);
    surface_ = MakeSurface(160, 240);
    ASSERT_EQ(rm_->CreateDeviceFromSurface(nullptr, nullptr, surface_, &device_), S_OK);
    ASSERT_EQ(rm_->CreateViewport(device_, camera_, 0, 0, 160, 240, &view_), S_OK);
    device_->SetQuality(D3DRMRENDER_UNLITFLAT);
  }
  void TearDown() override {
    for (RefCounted* o : held_) o->Release();
    for (RefCounted* o :
         std::initializer_list<RefCounted*>{view_, device_, surface_, camera_, scene_, rm_})
      o->Release();
    EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_);
  }

  // A mesh of one polygon shown by a new frame of the scene.
  IDirect3DRMFrame* Show(const std::vector<XVector>& vertices, XMaterial material = {}) {
    IDirect3DRMMeshBuilder* m = nullptr;
    rm_->CreateMeshBuilder(&m);
    m->mesh.vertices = vertices;
    m->mesh.faceStart = {0, static_cast<uint32_t>(vertices.size())};
    for (uint32_t i = 0; i < vertices.size(); ++i) m->mesh.faceIndices.push_back(i);
    m->mesh.faceMaterial = {0};
    m->mesh.materials = {material};
    m->Prepare();
    held_.push_back(m);
    IDirect3DRMFrame* f = Frame(scene_);
    f->AddVisual(m);
    return f;
  }
  IDirect3DRMLight* Light(D3DRMLIGHTTYPE type, float r, float g, float b, IDirect3DRMFrame* frame) {
    IDirect3DRMLight* l = nullptr;
    rm_->CreateLightRGB(type, r, g, b, &l);
    frame->AddLight(l);
    held_.push_back(l);
    return l;
  }
  IDirect3DRMFrame* Frame(IDirect3DRMFrame* parent) {
    IDirect3DRMFrame* f = nullptr;
    rm_->CreateFrame(parent, &f);
    held_.push_back(f);
    return f;
  }
  void Draw() {
    view_->Clear();
    std::fill(surface_->pixels.begin(), surface_->pixels.end(), Background);
    ASSERT_EQ(view_->Render(scene_), S_OK);
  }
  uint32_t At(int x, int y) const { return surface_->pixels[y * surface_->pitch + x]; }
  int Covered(int left, int top, int right, int bottom) const {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += At(x, y) != Background;
    return n;
  }

  long baseline_ = 0;
  IDirect3DRM* rm_ = nullptr;
  IDirect3DRMFrame* scene_ = nullptr;
  IDirect3DRMFrame* camera_ = nullptr;
  IDirectDrawSurface* surface_ = nullptr;
  IDirect3DRMDevice* device_ = nullptr;
  IDirect3DRMViewport* view_ = nullptr;
  std::vector<RefCounted*> held_;
};

TEST_F(RenderTest, ViewportsLieOnTheirDeviceAndClearOnlyTheirPart) {
  IDirect3DRMViewport* bad = nullptr;
  EXPECT_EQ(rm_->CreateViewport(device_, camera_, 1, 0, 160, 240, &bad), E_INVALIDARG);
  EXPECT_EQ(rm_->CreateViewport(device_, camera_, 0, 1, 160, 240, &bad), E_INVALIDARG);
  EXPECT_EQ(rm_->CreateViewport(device_, camera_, 0, 0, 0, 240, &bad), E_INVALIDARG);
  EXPECT_EQ(bad, nullptr);
  IDirect3DRMViewport* right = nullptr;
  ASSERT_EQ(rm_->CreateViewport(device_, camera_, 80, 100, 80, 140, &right), S_OK);
  std::fill(device_->depth.begin(), device_->depth.end(), 0.5f);
  camera_->SetSceneBackgroundRGB(1, 0, 1);
  right->Clear();
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 160; ++x) {
      const bool inside = x >= 80 && y >= 100;
      ASSERT_EQ(At(x, y), inside ? 0xFF00FFu : Background) << x << "," << y;
      ASSERT_EQ(device_->depth[y * 160 + x], inside ? 0.0f : 0.5f);
    }
  right->Release();
}

TEST_F(RenderTest, FrontAndBackPlanesClipInCameraSpace) {
  // A floor 0.25 below the eye reaching from behind the camera to far ahead. Row r (centre
  // r + 0.5) sees the floor at z = 60 / (r - 119.5): the front plane z = 1 falls on y = 180, the
  // back plane z = 20 on y = 123.
  IDirect3DRMFrame* floor =
      Show({{-100, -0.25f, -50}, {-100, -0.25f, 200}, {100, -0.25f, 200}, {100, -0.25f, -50}});
  EXPECT_EQ(view_->SetBack(0), E_INVALIDARG);
  view_->SetBack(20);
  Draw();
  for (int row = 0; row < 240; ++row)
    EXPECT_EQ(Covered(0, row, 160, row + 1), row >= 123 && row < 180 ? 160 : 0) << "row " << row;
  // The depth written is 1 / z of the floor at each row.
  EXPECT_NEAR(device_->depth[150 * 160 + 80], (150 - 119.5f) / 60, 1e-3f);
  EXPECT_NEAR(device_->depth[179 * 160 + 80], (179 - 119.5f) / 60, 1e-3f);
  // What is there is drawn over without clearing: the depth of the last render wins.
  std::fill(surface_->pixels.begin(), surface_->pixels.end(), Background);
  view_->Render(scene_);
  EXPECT_EQ(Covered(0, 0, 160, 240), 0);

  // A comb on the same floor: its near edge zigzags across the front plane sixteen times, so
  // clipping more than doubles its corners.
  std::vector<XVector> v = {{-4, -0.25f, 0.5f}, {-4, -0.25f, 6}, {4, -0.25f, 6}};
  for (int i = 0; i <= 16; ++i) v.push_back({4 - 0.5f * i, -0.25f, i % 2 == 0 ? 0.5f : 3.0f});
  scene_->DeleteChild(floor);
  Show(v);
  Draw();
  EXPECT_GT(Covered(0, 123, 160, 180), 0);
  EXPECT_EQ(Covered(0, 180, 160, 240), 0);  // nothing nearer than the front plane
}

// A wireframe triangle on the floor 0.25 below the eye, its near corners behind the front plane:
// both long edges are cut where they cross it (row 180) and keep their course to the far corner.
TEST_F(RenderTest, WireframeEdgesCutAtTheFrontPlaneKeepTheirCourse) {
  Show({{-0.5f, -0.25f, 0.5f}, {0, -0.25f, 10}, {0.5f, -0.25f, 0.5f}});
  device_->SetQuality(D3DRMRENDER_WIREFRAME);
  Draw();
  // On screen the edges run from (80 -+ 240 x 0.5 x 9 / 9.5, 180) to (80, 126).
  const double dx = 240 * 0.5 * 9 / 9.5, dy = 54, length = std::hypot(dx, dy);
  int drawn = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 160; ++x)
      if (At(x, y) != Background) {
        ++drawn;
        const double off = std::fabs(std::fabs(x + 0.5 - 80) * dy - (y + 0.5 - 126) * dx) / length;
        EXPECT_LT(off, 1.5) << x << "," << y;
      }
  EXPECT_GT(drawn, 100);
}

TEST_F(RenderTest, LightsComeFromTheTreeBeingRenderedAndSumClamped) {
  Show({{-1, 1, 10}, {1, 1, 10}, {1, -1, 10}, {-1, -1, 10}}, XMaterial{});
  device_->SetQuality(D3DRMRENDER_FLAT);
  // A light on a frame outside the scene does nothing: unlit, the square is black.
  Light(D3DRMLIGHT_AMBIENT, 1, 1, 1, Frame(nullptr));
  Draw();
  EXPECT_EQ(At(80, 120), 0u);
  // Deep in the tree it counts, ambient or directional; the directional light's frame turns
  // with its parent.
  Light(D3DRMLIGHT_AMBIENT, 0.25f, 0, 0.5f, Frame(Frame(scene_)));
  IDirect3DRMFrame* parent = Frame(scene_);
  parent->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, Pi / 2);
  IDirect3DRMFrame* child = Frame(parent);
  child->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, -Pi / 2);  // back to shining along +z
  Light(D3DRMLIGHT_DIRECTIONAL, 0, 0.6f, 0.75f, child);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0.25f, 0.6f, 1), 1));
  // From behind the square the light gives nothing.
  child->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, Pi / 2);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0.25f, 0, 0.5f), 1));
}

// A point light ten units in front of the square fades by 1 / (1 + attenuation x distance); a
// parallel point light does not fade.
TEST_F(RenderTest, PointLightsFadeWithDistanceUnlessParallel) {
  Show({{-1, 1, 10}, {1, 1, 10}, {1, -1, 10}, {-1, -1, 10}}, XMaterial{});
  device_->SetQuality(D3DRMRENDER_FLAT);
  IDirect3DRMLight* point = Light(D3DRMLIGHT_POINT, 0, 0, 0.8f, Frame(scene_));
  EXPECT_EQ(point->SetLinearAttenuation(-0.1f), E_INVALIDARG);
  EXPECT_EQ(point->SetLinearAttenuation(0.1f), S_OK);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0, 0, 0.4f), 1)) << std::hex << At(80, 120);
  EXPECT_EQ(point->SetLinearAttenuation(0), S_OK);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0, 0, 0.8f), 1)) << std::hex << At(80, 120);
  point->SetLinearAttenuation(0.1f);
  IDirect3DRMLight* parallel = Light(D3DRMLIGHT_PARALLELPOINT, 0.4f, 0, 0, Frame(scene_));
  parallel->SetLinearAttenuation(0.1f);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0.4f, 0, 0.4f), 1)) << std::hex << At(80, 120);
}

// A spot light gives all its light within half its umbra angle of its axis, none beyond half
// its penumbra angle, and in between a share that falls with the angle's cosine.
TEST_F(RenderTest, ASpotLightFadesFromItsUmbraToItsPenumbra) {
  Show({{-1, 1, 10}, {1, 1, 10}, {1, -1, 10}, {-1, -1, 10}}, XMaterial{});
  device_->SetQuality(D3DRMRENDER_FLAT);
  IDirect3DRMFrame* turn = Frame(scene_);
  IDirect3DRMLight* spot = Light(D3DRMLIGHT_SPOT, 0, 0, 0.8f, turn);
  spot->SetUmbra(0.4f);
  spot->SetPenumbra(0.8f);
  for (const auto& [angle, blue] : {std::pair{0.1f, 0.8f}, {-0.3f, 0.4647f}, {0.5f, 0.0f}}) {
    turn->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, angle);
    Draw();
    EXPECT_TRUE(Close(At(80, 120), PackPixel(0, 0, blue), 1)) << angle << " " << At(80, 120);
  }
}

TEST(MeshTest, PreparationWorksOutNormalsAndRefusesBadIndices) {
  long baseline = RefCounted::LiveObjectCount();
  auto* mb = new IDirect3DRMMeshBuilder;
  // Two faces of a roof meeting at a ridge along x: clockwise seen from above-front and
  // above-back.
  mb->mesh.vertices = {{0, 1, 0}, {1, 1, 0}, {1, 0, -1}, {0, 0, -1}, {1, 0, 1}, {0, 0, 1}};
  mb->mesh.faceStart = {0, 4, 8};
  mb->mesh.faceIndices = {0, 1, 2, 3, 1, 0, 5, 4};
  mb->mesh.faceMaterial = {0, 0};
  mb->mesh.materials = {XMaterial{}};
  mb->Prepare();
  ASSERT_TRUE(mb->drawable);
  const float h = std::sqrt(0.5f);
  EXPECT_NEAR(mb->faceNormal[0].y, h, 1e-6f);
  EXPECT_NEAR(mb->faceNormal[0].z, -h, 1e-6f);
  // The ridge's vertex normals are the normalised sum of both faces: straight up.
  EXPECT_NEAR(mb->shadeNormal[0].y, 1, 1e-6f);
  EXPECT_NEAR(mb->shadeNormal[3].z, -h, 1e-6f);
  // The sphere that culls it: around the middle of its box, through its farthest corners.
  EXPECT_NEAR(mb->center.y, 0.5f, 1e-6f);
  EXPECT_NEAR(mb->radius, std::sqrt(1.5f), 1e-4f);
  // A normals list must give every corner a normal.
  mb->mesh.normals = {{0, 1, 0}};
  mb->mesh.normalIndices.assign(8, 0);
  mb->Prepare();
  ASSERT_TRUE(mb->drawable);
  mb->mesh.normalIndices.pop_back();
  mb->Prepare();
  EXPECT_FALSE(mb->drawable);
  mb->mesh.normalIndices.clear();

  mb->mesh.faceStart = {0, 2, 8};  // a face of two corners
  mb->Prepare();
  EXPECT_FALSE(mb->drawable);
  mb->mesh.faceStart = {0, 4, 8};
  mb->mesh.faceIndices[2] = 6;  // past the last vertex
  mb->Prepare();
  EXPECT_FALSE(mb->drawable);
  mb->mesh.faceIndices[2] = 2;
  mb->mesh.faceMaterial[1] = 1;  // no such material
  mb->Prepare();
  EXPECT_FALSE(mb->drawable);
  mb->Release();
  EXPECT_EQ(RefCounted::LiveObjectCount(), baseline);
}

// A wireframe draws an edge that two polygons share once: both polygons give it the same number.
TEST(MeshTest, PolygonsSharingAnEdgeEitherWayRoundShareItsNumber) {
  auto* mb = new IDirect3DRMMeshBuilder;
  // A quad and a triangle meeting along the edge 0-1 (the quad goes 0 to 1, the triangle 1 to 0),
  // and a triangle that repeats the edge 2-3 the same way round.
  mb->mesh.vertices = {{0, 1, 0}, {1, 1, 0}, {1, 0, -1}, {0, 0, -1}, {0, 0, 1}};
  mb->mesh.faceStart = {0, 4, 7, 10};
  mb->mesh.faceIndices = {0, 1, 2, 3, 1, 0, 4, 2, 3, 4};
  mb->mesh.faceMaterial = {0, 0, 0};
  mb->mesh.materials = {XMaterial{}};
  mb->Prepare();
  const std::vector<uint32_t>& e = mb->cornerEdge;
  ASSERT_EQ(e.size(), 10u);
  // Edges: 0-1, 1-2, 2-3, 3-0, 0-4, 4-1, 3-4, 4-2.
  EXPECT_EQ(mb->edgeCount, 8u);
  EXPECT_EQ(e[4], e[0]);  // 1-0 is 0-1
  EXPECT_EQ(e[7], e[2]);  // 2-3 again
  const std::set<uint32_t> distinct = {e[0], e[1], e[2], e[3], e[5], e[6], e[8], e[9]};
  EXPECT_EQ(distinct.size(), 8u);
  EXPECT_LT(*distinct.rbegin(), 8u);
  mb->Release();
}

}  // namespace
