#include "platform/xfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kHeader = "xof 0302txt 0032\n";

// A triangle and a quad, with template definitions and comments before the mesh.
const char* const kTriangleAndQuad = R"(xof 0302txt 0032
// comment line
template Mesh {
 <3D82AB44-62DA-11cf-AB39-0020AF71E433>
 DWORD nVertices; array Vector vertices[nVertices]; [...]
}
# another comment
Mesh body {
 5;
 0.0; 0.0; 0.0;,
 1.0; 0.0; 0.0;,
 1.0; 1.0; 0.0;,
 0.0; 1.0; -2.5;,
 -1e-1; .5; 3.;;
 2;
 3; 0, 2, 1;,
 4; 0, 3, 4, 2;;
}
)";

XMesh Parse(std::string_view text) {
  XMesh mesh;
  std::string error;
  EXPECT_TRUE(ParseXFile(text, mesh, &error)) << error;
  return mesh;
}

TEST(XFileTest, ReadsVerticesAndPolygonsWithoutSplittingThem) {
  const XMesh mesh = Parse(kTriangleAndQuad);
  ASSERT_EQ(mesh.vertices.size(), 5u);
  EXPECT_FLOAT_EQ(mesh.vertices[3].z, -2.5f);
  EXPECT_FLOAT_EQ(mesh.vertices[4].x, -0.1f);
  EXPECT_FLOAT_EQ(mesh.vertices[4].y, 0.5f);
  EXPECT_EQ(mesh.faceStart, (std::vector<uint32_t>{0, 3, 7}));
  EXPECT_EQ(mesh.faceIndices, (std::vector<uint32_t>{0, 2, 1, 0, 3, 4, 2}));
  // No MeshMaterialList: one white material for every face. No MeshNormals: no normals.
  ASSERT_EQ(mesh.materials.size(), 1u);
  EXPECT_EQ(mesh.materials[0].r + mesh.materials[0].g + mesh.materials[0].b, 3.0f);
  EXPECT_EQ(mesh.faceMaterial, (std::vector<uint32_t>{0, 0}));
  EXPECT_TRUE(mesh.normals.empty());
}

TEST(XFileTest, AcceptsHeaderVariantsAndSeparatorStyles) {
  // 0303 and 64-bit floats; CR LF line ends; ";," and ";;" and bare "," between vectors.
  const std::string text =
      "xof 0303txt 0064\r\n"
      "Mesh{4;0;0;0;;1,0,0,0,1,0;,1;1;0;;\r\n2;3;0;2;1;;3;1,2,3;;}\r\n";
  const XMesh mesh = Parse(text);
  EXPECT_EQ(mesh.vertices.size(), 4u);
  EXPECT_FLOAT_EQ(mesh.vertices[2].y, 1.0f);
  EXPECT_EQ(mesh.faceIndices, (std::vector<uint32_t>{0, 2, 1, 1, 2, 3}));
}

TEST(XFileTest, TakesTheFirstMeshInDocumentOrderEvenInsideAFrame) {
  const std::string text = std::string(kHeader) + R"(
Header { 1; 0; 1; }
Frame Root {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  Frame Child {
    Mesh inner {
      3; 0;0;0;, 0;1;0;, 1;0;0;;
      1; 3; 0,1,2;;
      MeshTextureCoords { 3; 0;0;, 0;1;, 1;0;; }
      VertexDuplicationIndices { 3; 3; 0, 1, 2; }
    }
  }
}
Mesh later {
  4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;
  2; 3; 0,1,2;, 3; 1,3,2;;
}
)";
  const XMesh mesh = Parse(text);
  EXPECT_EQ(mesh.vertices.size(), 3u);
}

TEST(XFileTest, ReadsMaterialsInlineAndByReference) {
  const std::string text = std::string(kHeader) + R"(
Material Red {
  1.0; 0.0; 0.0; 1.0;;
  12.5;
  0.5; 0.25; 0.125;;
  0.0; 0.1; 0.2;;
}
Mesh {
  4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;
  3; 3; 0,1,2;, 3; 1,3,2;, 4; 0,1,3,2;;
  MeshMaterialList {
    2;
    3;
    1, 0, 1;;
    { Red }
    Material {
      0.2; 0.4; 0.6; 0.5;;
      3.0;
      0; 0; 0;;
      1; 1; 1;;
      TextureFilename { "metal.bmp"; }
    }
  }
}
)";
  const XMesh mesh = Parse(text);
  ASSERT_EQ(mesh.materials.size(), 2u);
  const XMaterial& red = mesh.materials[0];
  EXPECT_FLOAT_EQ(red.r, 1.0f);
  EXPECT_FLOAT_EQ(red.power, 12.5f);
  EXPECT_FLOAT_EQ(red.specular.y, 0.25f);
  EXPECT_FLOAT_EQ(red.emissive.z, 0.2f);
  const XMaterial& blue = mesh.materials[1];
  EXPECT_FLOAT_EQ(blue.b, 0.6f);
  EXPECT_FLOAT_EQ(blue.a, 0.5f);
  EXPECT_FLOAT_EQ(blue.emissive.x, 1.0f);
  EXPECT_EQ(mesh.faceMaterial, (std::vector<uint32_t>{1, 0, 1}));
}

TEST(XFileTest, ReadsNormalsPerPolygonCorner) {
  const std::string text = std::string(kHeader) + R"(
Mesh {
  4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;
  2; 3; 0,1,2;, 4; 0,1,3,2;;
  MeshNormals {
    2; 0;0;-1;, 0.6;0;-0.8;;
    2; 3; 0,0,1;, 4; 1,1,0,1;;
  }
}
)";
  const XMesh mesh = Parse(text);
  ASSERT_EQ(mesh.normals.size(), 2u);
  EXPECT_FLOAT_EQ(mesh.normals[1].x, 0.6f);
  EXPECT_FLOAT_EQ(mesh.normals[1].z, -0.8f);
  EXPECT_EQ(mesh.normalIndices, (std::vector<uint32_t>{0, 0, 1, 1, 1, 0, 1}));
}

// Each text is malformed; the read must fail, leave the mesh empty and say what went wrong.
struct Malformed {
  const char* name;
  std::string text;
  const char* message;  // a part of the error message
};

std::string Nested(int levels) {
  std::string s = kHeader;
  for (int i = 0; i < levels; ++i) s += "Frame {\n";
  s += "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3; 0,1,2;; }\n";
  for (int i = 0; i < levels; ++i) s += "}\n";
  return s;
}

std::string WithMesh(const std::string& body) {
  return std::string(kHeader) + "Mesh {\n" + body + "\n}\n";
}

const char* const kTriangle = "3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;\n";

std::vector<Malformed> MalformedFiles() {
  return {
      {"empty", "", "xof"},
      {"binary", "xof 0302bin 0032\x01\x02\x03", "binary"},
      {"tzip", "xof 0302tzip0032\x01\x02\x03", "compressed"},
      {"bad float size", "xof 0302txt 0016\nMesh { 0; 0; }", "float size"},
      {"no mesh", std::string(kHeader) + "Frame { FrameTransformMatrix { 1,0,0,0;; } }\n",
       "no Mesh"},
      {"mesh only in a template", std::string(kHeader) + "template T { Mesh { 0; 0; } }\n",
       "no Mesh"},
      {"unclosed string",
       WithMesh(std::string(kTriangle) +
                "MeshMaterialList {1;1;0;; Material {1;1;1;1;;0;0;0;0;;0;0;0;; "
                "TextureFilename { \"a.bmp; } } }"),
       "string"},
      {"unbalanced closing brace", WithMesh(kTriangle) + "}\n", "without a matching"},
      {"face index out of range", WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,3;;"),
       "line 4: face 0 uses index 3"},
      {"count too large", WithMesh("1000000; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"),
       "more than the rest"},
      {"count beyond 32 bits", WithMesh("99999999999; 0;0;0;;\n0;;"), "too large"},
      {"polygon size too large", WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 4000000000; 0,1,2;;"),
       "more than the rest"},
      {"negative count", WithMesh("-3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "negative"},
      {"fractional count", WithMesh("3.5; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "whole number"},
      {"bad number", WithMesh("3; 0;0;0;, 0;1.2.3;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "bad number"},
      {"not a number", WithMesh("3; 0;0;0;, 0;one;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "unexpected"},
      {"number out of float range", WithMesh("3; 0;0;0;, 0;1e999;0;, 1;0;0;;\n1; 3; 0,1,2;;"),
       "bad number"},
      {"missing separator", WithMesh("3; 0 0 0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "after a value"},
      {"too few vertices in a polygon", WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 2; 0,1;;"),
       "at least 3"},
      {"more faces than announced",
       WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;, 3; 0,2,1;;"), "unexpected"},
      {"nesting too deep", Nested(70), "deeper than 64"},
      {"material index out of range",
       WithMesh(std::string(kTriangle) +
                "MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
       "material index 1"},
      {"material list shorter than the faces",
       WithMesh("4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;\n3; 3;0,1,2;, 3;1,3,2;, 3;0,1,3;;\n"
                "MeshMaterialList { 1; 2; 0, 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
       "2 face materials for 3 faces"},
      {"fewer materials than announced",
       WithMesh(std::string(kTriangle) +
                "MeshMaterialList { 2; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
       "announces 2 materials but has 1"},
      {"more materials than announced",
       WithMesh(std::string(kTriangle) +
                "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n"
                "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
       "more materials"},
      {"reference to an unknown material",
       WithMesh(std::string(kTriangle) + "MeshMaterialList { 1; 1; 0;; { Nowhere } }"),
       "no material named 'Nowhere'"},
      {"reference to a later material",
       WithMesh(std::string(kTriangle) + "MeshMaterialList { 1; 1; 0;; { Late } }") +
           "Material Late { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n",
       "no material named 'Late'"},
      {"short material",
       WithMesh(std::string(kTriangle) +
                "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; } }"),
       "unexpected"},
      {"normal index out of range",
       WithMesh(std::string(kTriangle) + "MeshNormals { 1; 0;1;0;; 1; 3; 0,0,1;; }"),
       "normal face 0 uses index 1"},
      {"normal faces fewer than faces",
       WithMesh(std::string(kTriangle) + "MeshNormals { 1; 0;1;0;; 0;; }"), "0 faces for 1"},
      {"normal polygon of another size",
       WithMesh("4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;\n2; 3; 0,1,2;, 3; 1,3,2;;\n"
                "MeshNormals { 1; 0;1;0;; 2; 3; 0,0,0;, 4; 0,0,0,0;; }"),
       "normal face 1 has 4 corners"},
      {"second material list",
       WithMesh(std::string(kTriangle) +
                "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }\n"
                "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
       "second MeshMaterialList"},
      {"stray character", WithMesh(std::string(kTriangle) + "@"), "unexpected"},
  };
}

TEST(XFileTest, RefusesEveryKindOfMalformedFile) {
  for (const Malformed& m : MalformedFiles()) {
    SCOPED_TRACE(m.name);
    XMesh mesh;
    mesh.vertices.resize(2);  // left over from an earlier read: must be cleared
    mesh.faceStart = {0, 3};
    std::string error;
    EXPECT_FALSE(ParseXFile(m.text, mesh, &error));
    EXPECT_NE(error.find(m.message), std::string::npos) << "error was: " << error;
    EXPECT_NE(error.find("line "), std::string::npos) << "error was: " << error;
    EXPECT_TRUE(mesh.vertices.empty() && mesh.faceStart.empty() && mesh.faceIndices.empty() &&
                mesh.materials.empty() && mesh.faceMaterial.empty() && mesh.normals.empty() &&
                mesh.normalIndices.empty());
  }
}

TEST(XFileTest, EveryTruncationOfAGoodFileFails) {
  const std::string text = std::string(kHeader) + R"(Material M { 1;0;0;1;; 5; 1;1;1;; 0;0;0;; }
Frame F { Mesh { 4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;
  2; 3; 0,1,2;, 4; 0,1,3,2;;
  MeshMaterialList { 1; 1; 0;; { M } }
  MeshNormals { 1; 0;0;-1;; 2; 3; 0,0,0;, 4; 0,0,0,0;; } } })";
  EXPECT_EQ(Parse(text).FaceCount(), 2u);
  std::string error;
  for (size_t n = 0; n < text.size(); ++n) {
    XMesh cut;
    EXPECT_FALSE(ParseXFile(std::string_view(text).substr(0, n), cut, &error)) << n;
    EXPECT_TRUE(cut.vertices.empty() && cut.faceStart.empty()) << n;
  }
}

TEST(XFileTest, ReadsFilesAndFailsOnMissingOnes) {
  XMesh mesh;
  std::string error;
  EXPECT_FALSE(ReadXFile("no-such-dir/no-such-model.x", mesh, &error));
  EXPECT_NE(error.find("no-such-model.x"), std::string::npos);
  EXPECT_FALSE(ReadXFile(".", mesh, &error));  // a directory is not a model

  const std::string path = ::testing::TempDir() + std::to_string(getpid()) + "-xfile_test_model.x";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(kTriangleAndQuad, f);
  std::fclose(f);
  EXPECT_TRUE(ReadXFile(path.c_str(), mesh, &error)) << error;
  EXPECT_EQ(mesh.FaceCount(), 2u);
  std::remove(path.c_str());
}

}  // namespace
