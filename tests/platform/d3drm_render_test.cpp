// Drawing scenes through viewports into a surface: projection, culling, clipping, depth, lighting
// and the four fill and shade modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
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

XMaterial Colour(float r, float g, float b) {
  XMaterial m;
  m.r = r;
  m.g = g;
  m.b = b;
  return m;
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
    for (IDirect3DRMFrame* f : frames_) f->Release();
    for (IDirect3DRMMeshBuilder* m : meshes_) m->Release();
    for (IDirect3DRMLight* l : lights_) l->Release();
    view_->Release();
    device_->Release();
    surface_->Release();
    camera_->Release();
    scene_->Release();
    rm_->Release();
    EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_);
  }

  IDirect3DRMMeshBuilder* Mesh(const std::vector<XVector>& vertices,
                               const std::vector<std::vector<uint32_t>>& polygons,
                               XMaterial material = {}) {
    IDirect3DRMMeshBuilder* m = nullptr;
    rm_->CreateMeshBuilder(&m);
    m->mesh.vertices = vertices;
    m->mesh.faceStart.push_back(0);
    for (const auto& p : polygons) {
      m->mesh.faceIndices.insert(m->mesh.faceIndices.end(), p.begin(), p.end());
      m->mesh.faceStart.push_back(static_cast<uint32_t>(m->mesh.faceIndices.size()));
      m->mesh.faceMaterial.push_back(0);
    }
    m->mesh.materials = {material};
    m->Prepare();
    meshes_.push_back(m);
    return m;
  }
  // A square of side 2 centred on (x, y, z), facing -z (clockwise as the camera sees it).
  IDirect3DRMMeshBuilder* Square(float x, float y, float z, XMaterial material = {},
                                 float half = 1) {
    return Mesh({{x - half, y + half, z},
                 {x + half, y + half, z},
                 {x + half, y - half, z},
                 {x - half, y - half, z}},
                {{0, 1, 2, 3}}, material);
  }
  IDirect3DRMFrame* Show(IDirect3DRMMeshBuilder* mesh, IDirect3DRMFrame* parent = nullptr) {
    IDirect3DRMFrame* f = nullptr;
    rm_->CreateFrame(parent != nullptr ? parent : scene_, &f);
    f->AddVisual(mesh);
    frames_.push_back(f);
    return f;
  }
  IDirect3DRMLight* Light(D3DRMLIGHTTYPE type, float r, float g, float b, IDirect3DRMFrame* frame) {
    IDirect3DRMLight* l = nullptr;
    rm_->CreateLightRGB(type, r, g, b, &l);
    frame->AddLight(l);
    lights_.push_back(l);
    return l;
  }
  IDirect3DRMFrame* Frame(IDirect3DRMFrame* parent) {
    IDirect3DRMFrame* f = nullptr;
    rm_->CreateFrame(parent, &f);
    frames_.push_back(f);
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
  int Covered() const { return Covered(0, 0, surface_->width, surface_->height); }

  long baseline_ = 0;
  IDirect3DRM* rm_ = nullptr;
  IDirect3DRMFrame* scene_ = nullptr;
  IDirect3DRMFrame* camera_ = nullptr;
  IDirectDrawSurface* surface_ = nullptr;
  IDirect3DRMDevice* device_ = nullptr;
  IDirect3DRMViewport* view_ = nullptr;
  std::vector<IDirect3DRMFrame*> frames_;
  std::vector<IDirect3DRMMeshBuilder*> meshes_;
  std::vector<IDirect3DRMLight*> lights_;
};

TEST_F(RenderTest, ProjectionScalesTheLargerSideAndCentresOnTheViewport) {
  // s = max(160, 240) / 2 = 120, k = 1 / 0.5: a unit at z = 10 is 24 pixels.
  Show(Square(0, 0, 10));
  Draw();
  EXPECT_EQ(Covered(), 48 * 48);
  EXPECT_EQ(Covered(56, 96, 104, 144), 48 * 48);
}

TEST_F(RenderTest, AViewportOnTheRightHalfDrawsAndClearsOnlyThere) {
  IDirectDrawSurface* wide = MakeSurface(320, 240);
  IDirect3DRMDevice* device = nullptr;
  IDirect3DRMViewport* right = nullptr;
  rm_->CreateDeviceFromSurface(nullptr, nullptr, wide, &device);
  device->SetQuality(D3DRMRENDER_UNLITFLAT);
  ASSERT_EQ(rm_->CreateViewport(device, camera_, 160, 0, 160, 240, &right), S_OK);
  IDirect3DRMViewport* tooWide = nullptr;  // a viewport must lie on its device
  EXPECT_EQ(rm_->CreateViewport(device, camera_, 161, 0, 160, 240, &tooWide), E_INVALIDARG);
  // The square lands 160 pixels further right than in the left view.
  Show(Square(0, 0, 10));
  right->Render(scene_);
  for (int y = 0; y < 240; y += 3)
    for (int x = 0; x < 320; ++x)
      ASSERT_EQ(wide->pixels[y * 320 + x] != Background, x >= 216 && x < 264 && y >= 96 && y < 144)
          << x << "," << y;
  // Clear resets colour and depth inside the viewport only; any frame sets the background.
  std::fill(device->depth.begin(), device->depth.end(), 0.5f);
  camera_->SetSceneBackgroundRGB(1, 0, 1);
  right->Clear();
  for (int y = 0; y < 240; y += 7)
    for (int x = 0; x < 320; x += 3) {
      const size_t i = y * 320 + x;
      EXPECT_EQ(wide->pixels[i], x >= 160 ? 0xFF00FFu : Background);
      EXPECT_EQ(device->depth[i], x >= 160 ? 0.0f : 0.5f);
    }
  right->Release();
  device->Release();
  wide->Release();
}

TEST_F(RenderTest, HalfViewSeesMoreAboveAndBelowThanToTheSides) {
  // At 160 x 240 the half-angles are atan(1/2) = 26.57 degrees up and down, atan(1/3) = 18.43
  // degrees to each side. A small square just inside each limit shows; just outside, it does not.
  auto at = [&](float upDegrees, float sideDegrees) {
    const float z = 20;
    for (IDirect3DRMFrame* f : frames_) scene_->DeleteChild(f);
    Show(Square(z * std::tan(sideDegrees * Pi / 180), z * std::tan(upDegrees * Pi / 180), z, {},
                0.1f));
    Draw();
    return Covered() > 0;
  };
  const struct {
    float up, side;
    bool seen;
  } cases[] = {{26, 0, true}, {27.5f, 0, false}, {-26, 0, true}, {-27.5f, 0, false},
               {0, 18, true}, {0, 19.5f, false}, {0, -18, true}, {0, -19.5f, false}};
  for (const auto& c : cases) EXPECT_EQ(at(c.up, c.side), c.seen) << c.up << " " << c.side;
}

TEST_F(RenderTest, NestedFramesComposeTheirTransforms) {
  // A square of side 0.5 shown by a child frame 1 along its parent's x, the parent at (2, 0, 10)
  // turned half a turn about z (its x is the scene's -x): centre (1, 0, 10), 24 pixels a unit.
  IDirect3DRMFrame* parent = Frame(scene_);
  parent->AddRotation(D3DRMCOMBINE_REPLACE, 0, 0, 1, Pi);
  parent->SetPosition(scene_, 2, 0, 10);
  IDirect3DRMFrame* child = Show(Square(0, 0, 0, {}, 0.25f), parent);
  child->SetPosition(parent, 1, 0, 0);
  Draw();
  EXPECT_EQ(Covered(), 12 * 12);
  EXPECT_EQ(Covered(98, 114, 110, 126), 12 * 12);

  // Turning the root turns everything below it, the camera too: the picture stays.
  scene_->AddRotation(D3DRMCOMBINE_REPLACE, 0, 0, 1, Pi / 2);
  Draw();
  EXPECT_EQ(Covered(), 12 * 12);
  EXPECT_EQ(Covered(98, 114, 110, 126), 12 * 12);
}

TEST_F(RenderTest, BackFacesAreNotDrawn) {
  IDirect3DRMMeshBuilder* reversed =
      Mesh({{-1, 1, 10}, {-1, -1, 10}, {1, -1, 10}, {1, 1, 10}}, {{0, 1, 2, 3}});
  Show(reversed);
  Draw();
  EXPECT_EQ(Covered(), 0);

  // Turned half about y around its own centre, the reversed square faces the camera...
  IDirect3DRMMeshBuilder* centred =
      Mesh({{-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}, {1, 1, 0}}, {{0, 1, 2, 3}});
  IDirect3DRMFrame* turned = Show(centred);
  turned->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, Pi);
  turned->SetPosition(scene_, 0, 0, 10);
  Draw();
  EXPECT_EQ(Covered(), 48 * 48);
}

TEST_F(RenderTest, FrontAndBackPlanesClipInCameraSpace) {
  // A floor 0.25 below the eye reaching from behind the camera to far ahead. Row r (centre
  // r + 0.5) sees the floor at z = 60 / (r - 119.5): the front plane z = 1 falls on y = 180, the
  // back plane z = 20 on y = 123.
  Show(Mesh({{-100, -0.25f, -50}, {-100, -0.25f, 200}, {100, -0.25f, 200}, {100, -0.25f, -50}},
            {{0, 1, 2, 3}}));
  view_->SetBack(20);
  Draw();
  for (int row = 0; row < 240; ++row) {
    const bool expected = row >= 123 && row < 180;
    EXPECT_EQ(Covered(0, row, 160, row + 1), expected ? 160 : 0) << "row " << row;
  }
  // The depth written is 1 / z of the floor at each row.
  EXPECT_NEAR(device_->depth[150 * 160 + 80], (150 - 119.5f) / 60, 1e-3f);
  EXPECT_NEAR(device_->depth[179 * 160 + 80], (179 - 119.5f) / 60, 1e-3f);
}

TEST_F(RenderTest, AConcavePolygonCrossingTheFrontPlaneOnEveryEdgeIsClippedSafely) {
  // A comb lying on the floor 0.25 below the eye: its near edge zigzags across the front plane
  // sixteen times, so clipping more than doubles its corners.
  std::vector<XVector> v = {{-4, -0.25f, 0.5f}, {-4, -0.25f, 6}, {4, -0.25f, 6}};
  for (int i = 0; i <= 16; ++i) v.push_back({4 - 0.5f * i, -0.25f, i % 2 == 0 ? 0.5f : 3.0f});
  std::vector<uint32_t> polygon;
  for (uint32_t i = 0; i < v.size(); ++i) polygon.push_back(i);
  Show(Mesh(v, {polygon}));
  Draw();
  EXPECT_GT(Covered(), 0);
  EXPECT_EQ(Covered(0, 180, 160, 240), 0);  // nothing nearer than the front plane
}

TEST_F(RenderTest, RenderDrawsOverWhatIsThereWithoutClearing) {
  Show(Square(0, 0, 10, Colour(1, 0, 0)));
  Show(Square(0.5f, 0, 5, Colour(0, 1, 0), 0.5f));
  Draw();
  EXPECT_EQ(At(80, 120), 0x00FF00u);
  EXPECT_EQ(At(60, 120), 0xFF0000u);
  // The depth of the previous render is still there: nothing passes.
  std::fill(surface_->pixels.begin(), surface_->pixels.end(), Background);
  view_->Render(scene_);
  device_->Update();
  EXPECT_EQ(Covered(), 0);
}

TEST_F(RenderTest, FourQualitiesOnALitSquare) {
  const XMaterial material = Colour(0.8f, 0.4f, 0.2f);
  Show(Square(0, 0, 10, material));
  Light(D3DRMLIGHT_AMBIENT, 0.4f, 0.4f, 0.4f, scene_);
  // A white light shining along +z, straight onto the square's front, turned 60 degrees about y:
  // N . L = cos 60 = 0.5.
  IDirect3DRMFrame* lightFrame = Frame(scene_);
  lightFrame->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, Pi / 3);
  Light(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, lightFrame);
  const uint32_t lit = PackPixel(0.8f * 0.9f, 0.4f * 0.9f, 0.2f * 0.9f);
  const uint32_t unlit = PackPixel(0.8f, 0.4f, 0.2f);

  // Gouraud on a flat square: every vertex normal is the face normal, so the same colour.
  for (D3DRMRENDERQUALITY q : {D3DRMRENDER_FLAT, D3DRMRENDER_GOURAUD}) {
    device_->SetQuality(q);
    Draw();
    EXPECT_TRUE(Close(At(57, 97), lit, 1));
    EXPECT_TRUE(Close(At(102, 142), lit, 1));
  }
  device_->SetQuality(D3DRMRENDER_UNLITFLAT);
  Draw();
  EXPECT_EQ(At(80, 120), unlit);

  // Wireframe: only the square's own four edges, in the unlit colour; no diagonal.
  device_->SetQuality(D3DRMRENDER_WIREFRAME);
  Draw();
  int onEdges = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 160; ++x) {
      if (At(x, y) == Background) continue;
      EXPECT_EQ(At(x, y), unlit);
      const bool nearEdge =
          ((std::abs(x - 56) <= 1 || std::abs(x - 104) <= 1) && y >= 95 && y <= 145) ||
          ((std::abs(y - 96) <= 1 || std::abs(y - 144) <= 1) && x >= 55 && x <= 105);
      EXPECT_TRUE(nearEdge) << x << ", " << y;
      ++onEdges;
    }
  EXPECT_GE(onEdges, 4 * 46);
  EXPECT_EQ(At(80, 120), Background);

  // Straight on, the light adds its full colour and the sum is clamped.
  lightFrame->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, 0);
  device_->SetQuality(D3DRMRENDER_FLAT);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(1.0f, 0.56f, 0.28f), 1));
  // From behind the square the light gives nothing; ambient is left.
  lightFrame->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, Pi);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0.32f, 0.16f, 0.08f), 1));
}

TEST_F(RenderTest, GouraudInterpolatesTheFilesVertexNormals) {
  IDirect3DRMMeshBuilder* square = Square(0, 0, 10);
  // Left corners face the light, right corners face away.
  square->mesh.normals = {{0, 0, -1}, {0, 0, 1}};
  square->mesh.normalIndices = {0, 1, 1, 0};
  square->Prepare();
  Show(square);
  Light(D3DRMLIGHT_AMBIENT, 0.4f, 0.4f, 0.4f, scene_);
  Light(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, Frame(scene_));
  device_->SetQuality(D3DRMRENDER_GOURAUD);
  Draw();
  const int left = Channel(At(56, 120), 8), right = Channel(At(103, 120), 8);
  EXPECT_NEAR(left, 255, 4);
  EXPECT_NEAR(right, 102, 4);  // ambient 0.4 alone
  EXPECT_NEAR(Channel(At(79, 120), 8), 255 * (1 - 0.6 * (79.5 - 56) / 48), 4);

  // Flat shading of the same mesh uses the face normal.
  device_->SetQuality(D3DRMRENDER_FLAT);
  Draw();
  EXPECT_EQ(At(56, 120), At(103, 120));
}

TEST_F(RenderTest, LightsComeFromTheTreeBeingRendered) {
  Show(Square(0, 0, 10));
  device_->SetQuality(D3DRMRENDER_FLAT);
  // A light on a frame outside the scene does nothing: unlit, the square is black.
  IDirect3DRMFrame* elsewhere = Frame(nullptr);
  Light(D3DRMLIGHT_AMBIENT, 1, 1, 1, elsewhere);
  Draw();
  EXPECT_EQ(At(80, 120), 0u);
  // Deep in the tree it counts, ambient or directional; the directional light's frame turns
  // with its parent.
  IDirect3DRMFrame* holder = Frame(Frame(scene_));
  Light(D3DRMLIGHT_AMBIENT, 0.25f, 0, 0, holder);
  IDirect3DRMFrame* parent = Frame(scene_);
  parent->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, Pi / 2);
  IDirect3DRMFrame* child = Frame(parent);
  child->AddRotation(D3DRMCOMBINE_REPLACE, 0, 1, 0, -Pi / 2);  // back to shining along +z
  Light(D3DRMLIGHT_DIRECTIONAL, 0, 0.6f, 0, child);
  Draw();
  EXPECT_TRUE(Close(At(80, 120), PackPixel(0.25f, 0.6f, 0), 1));
}

TEST_F(RenderTest, AMeshReachingIntoTheViewIsDrawnThoughItsCentreIsOutside) {
  // A long wall whose middle lies far to the right, behind the camera's side plane.
  Show(Mesh({{-1, 1, 10}, {400, 1, 10}, {400, -1, 10}, {-1, -1, 10}}, {{0, 1, 2, 3}}));
  Draw();
  EXPECT_EQ(Covered(), 48 * (160 - 56));
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

}  // namespace
