// The edge numbers a wireframe uses to draw an edge that two polygons share only once.
#include <gtest/gtest.h>

#include <set>

#include "platform/d3drm.h"

namespace {

TEST(WireEdges, PolygonsSharingAnEdgeEitherWayRoundShareItsNumber) {
  auto* mb = new IDirect3DRMMeshBuilder;
  // A quad and a triangle meeting along the edge 0-1 (the quad goes 0 to 1, the triangle 1 to 0),
  // and a triangle that repeats the edge 2-3 the same way round.
  mb->mesh.vertices = {{0, 1, 0}, {1, 1, 0}, {1, 0, -1}, {0, 0, -1}, {0, 0, 1}};
  mb->mesh.faceStart = {0, 4, 7, 10};
  mb->mesh.faceIndices = {0, 1, 2, 3, 1, 0, 4, 2, 3, 4};
  mb->mesh.faceMaterial = {0, 0, 0};
  mb->mesh.materials = {XMaterial{}};
  mb->Prepare();
  ASSERT_TRUE(mb->drawable);
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
