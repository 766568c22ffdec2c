// Meshes the model reader would never give, set into a mesh builder by hand: any float at all
// (NaN, infinities, huge, tiny) for positions, normals and colours, any polygon sizes, indices that
// may point past their arrays. Preparing such a mesh must either make it drawable with everything
// it needs or refuse it, and drawing it from anywhere in any quality must not fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/d3drm.h"
#include "render_stage.h"

namespace {

float AnyFloat(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return std::bit_cast<float>(in.ConsumeIntegral<uint32_t>());
    case 1:
      return in.ConsumeIntegral<int8_t>() / 8.0f;
    case 2:
      return in.ConsumeIntegral<int16_t>() * 1000.0f;
    default:
      return in.ConsumeFloatingPoint<float>();
  }
}

XVector AnyVector(FuzzedDataProvider& in) {
  XVector v;
  v.x = AnyFloat(in);
  v.y = AnyFloat(in);
  v.z = AnyFloat(in);
  return v;
}

uint32_t AnyIndex(FuzzedDataProvider& in, size_t count, bool wild) {
  if (wild) return in.ConsumeIntegral<uint8_t>();
  return count == 0 ? 0 : in.ConsumeIntegralInRange<uint32_t>(0, static_cast<uint32_t>(count - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool wild = in.ConsumeBool();  // indices not kept inside their arrays
  XMesh m;
  m.vertices.resize(in.ConsumeIntegralInRange<size_t>(0, 40));
  m.normals.resize(in.ConsumeIntegralInRange<size_t>(0, 20));
  m.materials.resize(in.ConsumeIntegralInRange<size_t>(wild ? 0 : 1, 4));
  const size_t faces = in.ConsumeIntegralInRange<size_t>(0, 24);
  const bool withNormals = in.ConsumeBool() && !m.normals.empty();
  for (XVector& v : m.vertices) v = AnyVector(in);
  for (XVector& n : m.normals) n = AnyVector(in);
  for (XMaterial& mat : m.materials) {
    mat.r = AnyFloat(in);
    mat.g = AnyFloat(in);
    mat.b = AnyFloat(in);
  }
  m.faceStart.push_back(0);
  for (size_t f = 0; f < faces; ++f) {
    const int corners = in.ConsumeIntegralInRange<int>(wild ? 0 : 3, 9);
    for (int k = 0; k < corners; ++k) {
      m.faceIndices.push_back(AnyIndex(in, m.vertices.size(), wild));
      if (withNormals) m.normalIndices.push_back(AnyIndex(in, m.normals.size(), wild));
    }
    m.faceStart.push_back(static_cast<uint32_t>(m.faceIndices.size()));
    m.faceMaterial.push_back(AnyIndex(in, m.materials.size(), wild));
  }
  if (faces == 0 && in.ConsumeBool()) m.faceStart.clear();

  fuzz::Stage& stage = fuzz::Stage::Get();
  IDirect3DRMMeshBuilder* builder = nullptr;
  FUZZ_CHECK(stage.rm->CreateMeshBuilder(&builder) == S_OK);
  builder->mesh = m;
  builder->Prepare();
  if (builder->drawable) {
    // What drawing relies on.
    const size_t count = builder->mesh.FaceCount();
    FUZZ_CHECK(builder->faceNormal.size() == count && builder->facePlane.size() == count &&
               builder->faceColor.size() == count);
    FUZZ_CHECK(builder->cornerNormal.size() == builder->mesh.faceIndices.size());
    for (uint32_t n : builder->cornerNormal) FUZZ_CHECK(n < builder->shadeNormal.size());
    FUZZ_CHECK(!std::isnan(builder->radius) && builder->radius >= 0);
  }
  stage.Show(builder);
  return 0;
}
