#include "platform/xfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kHeader = "xof 0302txt 0032\n";
const std::string kTriangle = "3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;\n";
const std::string kWhite = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";

XMesh Parse(std::string_view text) {
  XMesh mesh;
  std::string error;
  EXPECT_TRUE(ParseXFile(text, mesh, &error)) << error;
  return mesh;
}

std::string WithMesh(const std::string& body) {
  return kHeader + "Mesh {\n" + body + "\n}\n";
}

std::string Nested(int levels) {
  std::string s = kHeader;
  for (int i = 0; i < levels; ++i) s += "Frame {\n";
  s += "Mesh { " + kTriangle + "}\n";
  for (int i = 0; i < levels; ++i) s += "}\n";
  return s;
}

TEST(XFileTest, ReadsVerticesPolygonsMaterialsAndNormals) {
  // Templates, comments, a header object and a frame before the mesh; a later mesh is ignored.
  const XMesh plain = Parse(kHeader + R"(// comment
template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD n; [...] }
# another comment
Header { 1; 0; 1; }
Frame Root { FrameTransformMatrix { 1,0,0,0;; } Frame { Mesh body {
 5;
 0.0; 0.0; 0.0;,
 1e0; 0.0; 0.0;,
 1.0; 1.0; 0.0;,
 0.0; 1.0; -2.5;,
 -1e-1; .5; 3.;;
 2;
 3; 0, 2, 1;,
 4; 0, 3, 4, 2;;
 MeshTextureCoords { 3; 0;0;, 0;1;, 1;0;; }
} } }
Mesh later { 3; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;; 1; 3; 0,1,2;; })");
  ASSERT_EQ(plain.vertices.size(), 5u);
  EXPECT_EQ(std::vector<float>({plain.vertices[3].z, plain.vertices[4].x, plain.vertices[4].y}),
            std::vector<float>({-2.5f, -0.1f, 0.5f}));
  EXPECT_EQ(plain.faceStart, (std::vector<uint32_t>{0, 3, 7}));
  EXPECT_EQ(plain.faceIndices, (std::vector<uint32_t>{0, 2, 1, 0, 3, 4, 2}));
  // No MeshMaterialList: one white material for every face. No MeshNormals: no normals.
  ASSERT_EQ(plain.materials.size(), 1u);
  EXPECT_EQ(plain.materials[0].r + plain.materials[0].g + plain.materials[0].b, 3.0f);
  EXPECT_EQ(plain.faceMaterial, (std::vector<uint32_t>{0, 0}));
  EXPECT_TRUE(plain.normals.empty());

  // 0303 and 64-bit floats; CR LF line ends; ";," and ";;" and bare "," between vectors.
  const XMesh terse = Parse(
      "xof 0303txt 0064\r\nMesh{4;0;0;0;;1,0,0,0,1,0;,+1;1;0;;\r\n2;+3;0;2;1;;3;1,2,3;;}\r\n");
  EXPECT_EQ(terse.vertices.size(), 4u);
  EXPECT_FLOAT_EQ(terse.vertices[2].y, 1.0f);
  EXPECT_FLOAT_EQ(terse.vertices[3].x, 1.0f);
  EXPECT_EQ(terse.faceIndices, (std::vector<uint32_t>{0, 2, 1, 1, 2, 3}));

  const XMesh full = Parse(kHeader + R"(
Material Red { 1.0; 0.0; 0.0; 1.0;; 12.5; 0.5; 0.25; 0.125;; 0.0; 0.1; 0.2;; }
Mesh {
  4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;
  3; 3; 0,1,2;, 3; 1,3,2;, 4; 0,1,3,2;;
  MeshMaterialList { 2; 3; 1, 0, 1;;
    { Red }
    Material { 0.2; 0.4; 0.6; 0.5;; 3.0; 0; 0; 0;; 1; 1; 1;; TextureFilename { ""; } }
  }
  MeshNormals { 2; 0;0;-1;, 0.6;0;-0.8;; 3; 3; 0,0,1;, 3; 1,1,0;, 4; 1,1,0,1;; }
})");
  ASSERT_EQ(full.materials.size(), 2u);
  const XMaterial &red = full.materials[0], &blue = full.materials[1];
  EXPECT_EQ(std::vector<float>({red.r, red.power, red.specular.y, red.emissive.z, blue.b, blue.a,
                                blue.emissive.x}),
            std::vector<float>({1, 12.5f, 0.25f, 0.2f, 0.6f, 0.5f, 1}));
  EXPECT_EQ(full.faceMaterial, (std::vector<uint32_t>{1, 0, 1}));
  ASSERT_EQ(full.normals.size(), 2u);
  EXPECT_EQ(std::vector<float>({full.normals[1].x, full.normals[1].z}),
            std::vector<float>({0.6f, -0.8f}));
  EXPECT_EQ(full.normalIndices, (std::vector<uint32_t>{0, 0, 1, 1, 1, 0, 1, 1, 0, 1}));

  // One material index stands for every face.
  const XMesh one =
      Parse(WithMesh("4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;\n2; 3; 0,1,2;, 3; 1,3,2;;\n"
                     "MeshMaterialList { 2; 1; 1;; " +
                     kWhite + kWhite + " }"));
  EXPECT_EQ(one.faceMaterial, (std::vector<uint32_t>{1, 1}));
  // 63 frames deep the mesh is read; one more is too deep.
  EXPECT_EQ(Parse(Nested(63)).FaceCount(), 1u);
}

// Each text is malformed; the read must fail, leave the mesh empty and say where and why.
TEST(XFileTest, RefusesEveryKindOfMalformedFileSayingWhereAndWhy) {
  const std::string fourAndThree =
      "4; 0;0;0;, 0;1;0;, 1;0;0;, 1;1;0;;\n3; 3;0,1,2;, 3;1,3,2;, 3;0,1,3;;\n";
  const struct {
    std::string text, error;
  } cases[] = {
      {"", "line 1: not a DirectX model file (no \"xof \" header)"},
      {"xof 0302bin 0032\x01\x02\x03", "line 1: binary model files are not supported"},
      {"xof 0302tzip0032\x01\x02\x03", "line 1: compressed model files are not supported"},
      {"xof 0302txtx0032", "line 1: unknown file format 'txtx'"},
      {"xof 0402txt 0032", "line 1: unsupported file version '0402'"},
      {"xof 03a2txt 0032", "line 1: unsupported file version '03a2'"},
      {"xof 0302txt 0016\nMesh { 0; 0; }", "line 1: unknown float size '0016'"},
      {kHeader + "Frame { FrameTransformMatrix { 1,0,0,0;; } }\n", "line 3: no Mesh in the file"},
      {kHeader + "template T { Mesh { 0; 0; } }\n", "line 3: no Mesh in the file"},
      {kHeader + "template T { <3D82AB44-62DA\n-11cf> }\n", "line 2: GUID not closed"},
      {WithMesh(kTriangle + "MeshMaterialList {1;1;0;; Material {1;1;1;1;;0;0;0;0;;0;0;0;; "
                            "TextureFilename { \"a.bmp; } } }"),
       "line 5: string not closed"},
      {WithMesh(kTriangle + "MeshMaterialList {1;1;0;; Material {1;1;1;1;;0;0;0;0;;0;0;0;; "
                            "TextureFilename { \"a\n\nb\"; } } } }"),
       "line 8: '}' without a matching '{'"},
      {WithMesh(kTriangle) + "}\n", "line 7: '}' without a matching '{'"},
      {WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,3;;"),
       "line 4: face 0 uses index 3 of only 3"},
      {kHeader + "Mesh { 1000000; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;; }",
       "line 2: vertex count 1000000 is more than the rest of the file holds"},
      {kHeader + "Mesh{1;0,0}", "line 2: vertex count 1 is more than the rest of the file holds"},
      {kHeader + "Mesh {\n\n1000000; 0;0;0;;\n1; 3; 0,1,2;; }",
       "line 4: vertex count 1000000 is more than the rest of the file holds"},
      {WithMesh(std::string(40, '9') + "; 0;0;0;;\n0;;"),
       "line 3: vertex count too large: " + std::string(32, '9')},
      {WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 4000000000; 0,1,2;;"),
       "line 4: polygon size 4000000000 is more than the rest of the file holds"},
      {WithMesh("-3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "line 3: negative vertex count"},
      {WithMesh("3.5; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"),
       "line 3: vertex count is not a whole number: 3.5"},
      {WithMesh("3; 0;0;0;,\n0;1.2.3;0;, 1;0;0;;\n1; 3; 0,1,2;;"), "line 4: bad number '1.2.3'"},
      {WithMesh("3; 0;0;0;, 0;one;0;, 1;0;0;;\n1; 3; 0,1,2;;"),
       "line 3: unexpected name 'one' where a number of a vertex was expected"},
      {WithMesh("3; 0;0;0;, 0;1e999;0;, 1;0;0;;\n1; 3; 0,1,2;;"),
       "line 3: bad number '1e999' in a vertex"},
      {WithMesh("3; 0 0 0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;;"),
       "line 3: unexpected number '0' after a value of a vertex"},
      {WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 2; 0,1;;"),
       "line 4: face 0 has 2 vertices (at least 3 are needed)"},
      {WithMesh("3; 0;0;0;, 0;1;0;, 1;0;0;;\n1; 3; 0,1,2;, 3; 0,2,1;;"),
       "line 4: unexpected number '3' in Mesh"},
      {Nested(64), "line 66: objects nested deeper than 64 levels"},
      {kHeader + "X " + std::string(65, '{') + std::string(65, '}'),
       "line 2: objects nested deeper than 64 levels"},
      {WithMesh(kTriangle + "MeshMaterialList { 1; 1; 1;; " + kWhite + " }"),
       "line 5: material index 1 of only 1 materials"},
      {WithMesh(fourAndThree + "MeshMaterialList { 1; 2; 0, 0;; " + kWhite + " }"),
       "line 5: material list gives 2 face materials for 3 faces"},
      {WithMesh(kTriangle + "MeshMaterialList { 2; 1; 1;; " + kWhite + " }"),
       "line 5: MeshMaterialList announces 2 materials but has 1"},
      {WithMesh(kTriangle + "MeshMaterialList { 1; 1; 0;; " + kWhite + "\n" + kWhite + " }"),
       "line 6: more materials than the 1 announced"},
      {WithMesh(kTriangle + "MeshMaterialList { 1; 1; 0;; { Nowhere } }"),
       "line 5: no material named 'Nowhere' before this reference"},
      {WithMesh(kTriangle + "MeshMaterialList { 1; 1; 0;; { Late } }") + "Material Late {}",
       "line 5: no material named 'Late' before this reference"},
      {WithMesh(kTriangle + "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; } }"),
       "line 5: unexpected '}' where a number of a material was expected"},
      {WithMesh(kTriangle + "MeshNormals { 1; 0;1;0;; 1; 3; 0,0,1;; }"),
       "line 5: normal face 0 uses index 1 of only 1"},
      {WithMesh(kTriangle + "MeshNormals { 1; 0;1;0;; -1; }"),
       "line 5: negative normal face count"},
      {WithMesh(kTriangle + "MeshNormals { 1; 0;1;0;; 0;; }"),
       "line 5: MeshNormals gives 0 faces for 1 in the mesh"},
      {WithMesh(fourAndThree + "MeshNormals { 1; 0;1;0;; 3; 3; 0,0,0;, 4; 0,0,0,0;, 3;0,0,0;; }"),
       "line 5: normal face 1 has 4 corners, the face 3"},
      {WithMesh(kTriangle + "MeshMaterialList { 1; 1; 0;; " + kWhite + " }\n" +
                "MeshMaterialList { 1; 1; 0;; " + kWhite + " }"),
       "line 6: second MeshMaterialList in Mesh"},
      {WithMesh(kTriangle + "MeshNormals { 1; 0;1;0;; 1; 3; 0,0,0;; }\n" +
                "MeshNormals { 1; 0;1;0;; 1; 3; 0,0,0;; }"),
       "line 6: second MeshNormals in Mesh"},
      {WithMesh(kTriangle + "@"), "line 5: unexpected character '@' in Mesh"},
      {WithMesh(kTriangle + "{ Ref <12> x }"),
       "line 5: unexpected name 'x' in the reference at line 5"},
      {kHeader + "Mesh {\n" + kTriangle, "line 5: file ends inside the Mesh opened at line 2"},
      {kHeader + "Frame {\n\n", "line 4: file ends inside the object opened at line 2"},
  };
  for (const auto& c : cases) {
    XMesh mesh;
    mesh.vertices.resize(2);  // left over from an earlier read: must be cleared
    mesh.faceStart = {0, 3};
    std::string error;
    EXPECT_FALSE(ParseXFile(c.text, mesh, &error));
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_TRUE(mesh.vertices.empty() && mesh.faceStart.empty() && mesh.faceIndices.empty() &&
                mesh.materials.empty() && mesh.faceMaterial.empty() && mesh.normals.empty() &&
                mesh.normalIndices.empty());
  }
}

TEST(XFileTest, EveryTruncationOfAGoodFileFails) {
  const std::string text = kHeader + R"(Material M { 1;0;0;1;; 5; 1;1;1;; 0;0;0;; }
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

// Every object and every bare brace counts as a level, wherever it is, references do not; 64
// levels are read and 65 are refused.
TEST(XFileTest, NestingCountsEveryLevelWhereverItIs) {
  const std::string material = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; ";
  const std::pair<std::string, int> cases[] = {
      // inside a Mesh, and how many levels it adds
      {"MeshNormals { 1; 0;1;0;; 1; 3; 0,0,0;; A { B { } } }", 3},
      {"MeshNormals { 1; 0;1;0;; 1; 3; 0,0,0;; A { } }", 2},
      {"A { }", 1},
      {"A { B { } }", 2},
      {"A { { { } } }", 3},
      {"{ r }", 0},
      {"MeshMaterialList { 1; 1; 0;; " + material + "} }", 2},
      {"MeshMaterialList { 1; 1; 0;; " + material + "T { } } }", 3},
      {"MeshMaterialList { 1; 1; 0;; " + material + "T { {} } } }", 4},
      {"MeshMaterialList { 1; 1; 0;; " + material + "} A { B { } } }", 3},
  };
  for (const auto& [inside, levels] : cases) {
    for (int frames : {63 - levels, 64 - levels}) {
      std::string text = kHeader;
      for (int i = 0; i < frames; ++i) text += "Frame {\n";
      text += "Mesh { " + kTriangle + inside + " }\n";
      for (int i = 0; i < frames; ++i) text += "}\n";
      XMesh mesh;
      std::string error;
      EXPECT_EQ(ParseXFile(text, mesh, &error), frames + 1 + levels <= 64) << inside << error;
    }
  }
}

// Counts are checked against the text left, at least two characters a number (a material
// reference three); a file that ends with as many items as it can hold is read.
TEST(XFileTest, AFileAsTightAsTheFormatAllowsIsRead) {
  const auto times = [](const std::string& item) {
    std::string s;
    for (int i = 0; i < 100; ++i) s += item;
    return s;
  };
  const std::string triangle = "3;0,0,0,0,0,0,0,0,0,1;3,0,1,2,";
  const std::string faces = "3;0,0,0,0,0,0,0,0,0,100;" + times("3,0,1,2,");
  for (const std::string& body : {"100;" + times("0,0,0,") + "1;3,0,1,2,", faces,
                                  triangle + "MeshNormals{100;" + times("0,0,1,") + "1;3,0,1,2,}",
                                  faces + "MeshNormals{1;0,0,1,100;" + times("3,0,0,0,") + "}",
                                  triangle + "MeshMaterialList{100;1;0," + times("{a}") + "}",
                                  faces + "MeshMaterialList{1;100;" + times("0,") + "{a}}"}) {
    SCOPED_TRACE(body);
    Parse(kHeader + "Material a{1;1;1;1;;0;0;0;0;;0;0;0;;}Mesh{" + body + "}");
  }
}

TEST(XFileTest, ReadsFilesAndFailsOnMissingOnes) {
  XMesh mesh;
  std::string error;
  EXPECT_FALSE(ReadXFile("no-such-dir/no-such-model.x", mesh, &error));
  EXPECT_EQ(error, "no-such-dir/no-such-model.x: No such file or directory");

  const std::string path = ::testing::TempDir() + std::to_string(getpid()) + "-xfile_test_model.x";
  for (const std::string& body : {std::string(40000, ' '), std::string("Frame {")}) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs((kHeader + body + "\nMesh { " + kTriangle + "}").c_str(), f);
    std::fclose(f);
    const bool good = body[0] == ' ';
    EXPECT_EQ(ReadXFile(path.c_str(), mesh, &error), good) << error;
    EXPECT_EQ(error, good ? "" : path + ": line 5: file ends inside the object opened at line 2");
  }
  std::remove(path.c_str());
}

}  // namespace
