// Reader for DirectX model files in the text format ("xof 0302txt 0032" and "xof 0303txt 0032").
// It takes the first Mesh of the document, in document order, with its polygons as the file gives
// them (not split into triangles), its materials and its normals, and keeps the file's own
// left-handed coordinates and clockwise winding. Any fault makes the read fail with a message;
// nothing is ever half-read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct XVector {
  float x = 0, y = 0, z = 0;
};

struct XMaterial {
  float r = 1, g = 1, b = 1, a = 1;  // face colour
  float power = 0;
  XVector specular;
  XVector emissive;
};

struct XMesh {
  std::vector<XVector> vertices;
  // Polygons: polygon i uses faceIndices[faceStart[i] .. faceStart[i + 1]), so faceStart has
  // one more entry than there are polygons. Every polygon has at least three vertices.
  std::vector<uint32_t> faceStart;
  std::vector<uint32_t> faceIndices;
  // Materials and the material of each polygon. When the file has no MeshMaterialList, materials
  // holds one white material and every polygon uses it.
  std::vector<XMaterial> materials;
  std::vector<uint32_t> faceMaterial;
  // Normals from MeshNormals, when the file has them: normalIndices parallels faceIndices (the
  // normal of each polygon corner). Both are empty when the file has no MeshNormals.
  std::vector<XVector> normals;
  std::vector<uint32_t> normalIndices;

  size_t FaceCount() const { return faceStart.empty() ? 0 : faceStart.size() - 1; }
};

// Parses the text of a whole file. On failure returns false, leaves `out` empty and, when `error`
// is given, says what was wrong and where.
bool ParseXFile(std::string_view text, XMesh& out, std::string* error = nullptr);

// Reads and parses a file; a missing or unreadable file, or one that is not a regular file, fails
// like a malformed one. Every message starts with the path.
bool ReadXFile(const char* path, XMesh& out, std::string* error = nullptr);
