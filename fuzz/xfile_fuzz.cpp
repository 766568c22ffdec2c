// The model reader and everything a model goes through afterwards: the text is parsed, loaded into
// a mesh builder from a file as the game loads its models, and the mesh is drawn into a small
// surface from several viewpoints in every render quality. An odd but readable model (degenerate
// polygons, huge coordinates, strange normals) must draw without fault, and a refused one must
// leave nothing behind.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/d3drm.h"
#include "platform/xfile.h"
#include "render_stage.h"

namespace {

bool SameMesh(const XMesh& a, const XMesh& b) {
  auto same = [](const XVector& p, const XVector& q) {
    // Bit patterns: NaN normals must compare equal to themselves.
    return std::memcmp(&p, &q, sizeof p) == 0;
  };
  if (a.vertices.size() != b.vertices.size() || a.normals.size() != b.normals.size()) return false;
  for (size_t i = 0; i < a.vertices.size(); ++i)
    if (!same(a.vertices[i], b.vertices[i])) return false;
  for (size_t i = 0; i < a.normals.size(); ++i)
    if (!same(a.normals[i], b.normals[i])) return false;
  return a.faceStart == b.faceStart && a.faceIndices == b.faceIndices &&
         a.faceMaterial == b.faceMaterial && a.normalIndices == b.normalIndices &&
         a.materials.size() == b.materials.size();
}

// What the reader promises about a mesh it accepts.
void CheckMesh(const XMesh& mesh) {
  FUZZ_CHECK(!mesh.faceStart.empty() || mesh.faceIndices.empty());
  const size_t faces = mesh.FaceCount();
  if (faces > 0) {
    FUZZ_CHECK(mesh.faceStart.front() == 0);
    FUZZ_CHECK(mesh.faceStart.back() == mesh.faceIndices.size());
  }
  for (size_t f = 0; f < faces; ++f) FUZZ_CHECK(mesh.faceStart[f + 1] >= mesh.faceStart[f] + 3);
  for (uint32_t i : mesh.faceIndices) FUZZ_CHECK(i < mesh.vertices.size());
  FUZZ_CHECK(mesh.faceMaterial.size() == faces);
  for (uint32_t m : mesh.faceMaterial) FUZZ_CHECK(m < mesh.materials.size());
  if (!mesh.normalIndices.empty()) FUZZ_CHECK(mesh.normalIndices.size() == mesh.faceIndices.size());
  for (uint32_t n : mesh.normalIndices) FUZZ_CHECK(n < mesh.normals.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  XMesh parsed;
  std::string error;
  const bool ok = ParseXFile(text, parsed, &error);
  if (ok) {
    FUZZ_CHECK(error.empty());
    CheckMesh(parsed);
  } else {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(parsed.vertices.empty() && parsed.faceStart.empty() && parsed.materials.empty());
  }

  // The game's way in: a mesh builder loading the file.
  static const std::string path = fuzz::ScratchDirectory() + "/model.x";
  fuzz::WriteFile(path, data, size);
  fuzz::Stage& stage = fuzz::Stage::Get();
  IDirect3DRMMeshBuilder* builder = nullptr;
  FUZZ_CHECK(stage.rm->CreateMeshBuilder(&builder) == S_OK);
  const HRESULT loaded = builder->Load(path.c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr);
  FUZZ_CHECK(SUCCEEDED(loaded) == ok);
  if (ok) FUZZ_CHECK(SameMesh(builder->mesh, parsed));
  if (!ok) FUZZ_CHECK(!builder->drawable && builder->mesh.vertices.empty());
  stage.Show(builder);
  return 0;
}
