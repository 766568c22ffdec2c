// The retained-mode layer's objects: orientations and matrices, the frame tree and reference
// counts.
#include "platform/d3drm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

void ExpectVector(const D3DVECTOR& v, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

D3DVECTOR Row(const D3DRMMATRIX4D& m, int row) {
  return {m.m[row][0], m.m[row][1], m.m[row][2]};
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = RefCounted::LiveObjectCount();
    ASSERT_EQ(Direct3DRMCreate(&rm_), S_OK);
    ASSERT_EQ(rm_->CreateFrame(nullptr, &root_), S_OK);
  }
  void TearDown() override {
    root_->Release();
    rm_->Release();
    EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_) << "objects left alive";
  }
  IDirect3DRMFrame* NewFrame(IDirect3DRMFrame* parent) {
    IDirect3DRMFrame* f = nullptr;
    EXPECT_EQ(rm_->CreateFrame(parent, &f), S_OK);
    return f;
  }

  long baseline_ = 0;
  IDirect3DRM* rm_ = nullptr;
  IDirect3DRMFrame* root_ = nullptr;
};

// Row vectors times a general affine matrix (every entry distinct), and its inverse; a singular one
// gives the identity.
TEST(MatrixTest, PointsDirectionsAndTheInverse) {
  D3DRMMATRIX4D a;
  const float rows[4][4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 10, 0}, {11, 12, 13, 1}};
  std::memcpy(a.m, rows, sizeof rows);
  ExpectVector(D3DRMTransformPoint({1, 1, 1}, a), 23, 27, 32);
  ExpectVector(D3DRMTransformDirection({1, 2, 3}, a), 30, 36, 45);
  const D3DRMMATRIX4D product = D3DRMMatrixMultiply(a, D3DRMMatrixInverseAffine(a));
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j, 2e-5) << i << j;
  ExpectVector(D3DRMTransformPoint({23, 27, 32}, D3DRMMatrixInverseAffine(a)), 1, 1, 1, 1e-4f);
  std::memset(a.m, 0, sizeof a.m);
  const D3DRMMATRIX4D singular = D3DRMMatrixInverseAffine(a);
  for (int i = 0; i < 4; ++i) ExpectVector(Row(singular, i), i == 0, i == 1, i == 2);
}

TEST_F(FrameTest, SetOrientationReplacesOnlyTheTurnAndRejectsParallelUp) {
  IDirect3DRMFrame* f = NewFrame(root_);
  f->SetPosition(root_, 4, 5, 6);
  // An up that is not perpendicular is made so; x = y cross z.
  ASSERT_EQ(f->SetOrientation(root_, 0, -2, 0, 0, 1, 1), S_OK);
  ExpectVector(Row(f->transform, 0), 1, 0, 0);
  ExpectVector(Row(f->transform, 1), 0, 0, 1);
  ExpectVector(Row(f->transform, 2), 0, -1, 0);
  ExpectVector(Row(f->transform, 3), 4, 5, 6);
  ASSERT_EQ(f->SetOrientation(root_, 1, 0, 1, 1, 1, 1), S_OK);
  ExpectVector(Row(f->transform, 1), 0, 1, 0);
  ASSERT_EQ(f->SetOrientation(root_, 1, 0, 1, -1, 1, 1), S_OK);
  const float s6 = 1 / std::sqrt(6.0f);
  ExpectVector(Row(f->transform, 0), s6, 2 * s6, -s6);

  const D3DRMMATRIX4D before = f->transform;
  EXPECT_EQ(f->SetOrientation(root_, 0, 1, 0, 0, -3, 0), E_INVALIDARG);
  EXPECT_EQ(f->SetOrientation(root_, 0, 0, 0, 0, 1, 0), E_INVALIDARG);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(f->transform.m[i][j], before.m[i][j]);
  f->Release();
}

TEST_F(FrameTest, TreeKeepsOneReferencePerLinkAndReleasesWhatItHolds) {
  IDirect3DRMFrame* a = NewFrame(root_);
  IDirect3DRMFrame* b = NewFrame(nullptr);
  EXPECT_EQ(a->RefCount(), 2u);  // the caller's and the parent's
  EXPECT_EQ(b->RefCount(), 1u);

  // Adding a child twice is harmless; re-parenting moves the one reference.
  root_->AddChild(b);
  root_->AddChild(b);
  EXPECT_EQ(b->RefCount(), 2u);
  EXPECT_EQ(a->AddChild(b), S_OK);
  EXPECT_EQ(b->RefCount(), 2u);
  EXPECT_EQ(b->parent, a);
  EXPECT_EQ(root_->children.size(), 1u);

  // No cycles, no self-parenting.
  EXPECT_EQ(b->AddChild(root_), E_INVALIDARG);
  EXPECT_EQ(b->AddChild(b), E_INVALIDARG);
  EXPECT_EQ(root_->DeleteChild(b), E_INVALIDARG);  // not its child

  IDirect3DRMMeshBuilder* mesh = nullptr;
  IDirect3DRMLight* light = nullptr;
  rm_->CreateMeshBuilder(&mesh);
  rm_->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, &light);
  b->AddVisual(mesh);
  b->AddVisual(mesh);
  b->AddLight(light);
  b->AddLight(light);
  EXPECT_EQ(mesh->RefCount(), 2u);
  EXPECT_EQ(light->RefCount(), 2u);
  EXPECT_EQ(b->visuals.size(), 1u);

  // A handle released while its frame is in the tree leaves the frame there.
  b->Release();
  EXPECT_EQ(a->children.size(), 1u);
  EXPECT_EQ(a->children[0], b);

  // Detaching a from the tree and releasing it releases b, the mesh and the light in turn.
  a->AddRef();
  EXPECT_EQ(root_->DeleteChild(a), S_OK);
  EXPECT_EQ(a->parent, nullptr);
  EXPECT_EQ(a->RefCount(), 2u);  // the caller's two
  a->Release();
  a->Release();
  EXPECT_EQ(mesh->RefCount(), 1u);
  EXPECT_EQ(light->RefCount(), 1u);
  mesh->Release();
  light->Release();
  EXPECT_TRUE(root_->children.empty());

  // Releasing a parent orphans a child that is still held.
  IDirect3DRMFrame* parent = NewFrame(nullptr);
  IDirect3DRMFrame* child = NewFrame(parent);
  parent->Release();
  EXPECT_EQ(child->parent, nullptr);
  EXPECT_EQ(child->RefCount(), 1u);
  child->Release();
}

}  // namespace
