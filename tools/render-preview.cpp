// render-preview MODEL.x OUTDIR
//
// Renders a model file with the game's software renderer in each of the four render qualities
// (FLAT, WIREFRAME, UNLIGHT FLAT, GOURAUD) from four directions (from behind along +z as the
// game's cameras look, from the nose, a three-quarter view from behind and above, from the top),
// lit as in the game (grey ambient light 0.4 and a white light shining straight down). Writes one
// PNG per quality and direction, NAME-QUALITY-VIEW.png, and a contact sheet NAME-sheet.png with the
// qualities as columns and the directions as rows.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/d3drm.h"
#include "platform/gdi.h"
#include "platform/raster.h"
#include "platform/xfile.h"

namespace {

constexpr int TileWidth = 320, TileHeight = 240, Gap = 2;

// ---- A minimal PNG writer: 8-bit RGB, deflate "stored" blocks, no compression library needed.

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void Put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<unsigned char>(v >> shift));
}

void Chunk(std::vector<unsigned char>& out, const char* type,
           const std::vector<unsigned char>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  std::vector<unsigned char> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  Put32(out, Crc32(body.data(), body.size()));
}

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height, int pitch) {
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * width));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * pitch + x];
      raw.push_back(static_cast<unsigned char>(p >> 16));
      raw.push_back(static_cast<unsigned char>(p >> 8));
      raw.push_back(static_cast<unsigned char>(p));
    }
  }
  std::vector<unsigned char> z = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<unsigned char>(n));
    z.push_back(static_cast<unsigned char>(n >> 8));
    z.push_back(static_cast<unsigned char>(~n));
    z.push_back(static_cast<unsigned char>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
             raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    if (last) break;
  }
  Put32(z, (b << 16) | a);

  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> header;
  Put32(header, static_cast<uint32_t>(width));
  Put32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(file);
}

// ---- The scene.

struct Quality {
  const char* name;
  const char* label;
  D3DRMRENDERQUALITY value;
};
const Quality Qualities[] = {{"flat", "FLAT", D3DRMRENDER_FLAT},
                             {"wireframe", "WIREFRAME", D3DRMRENDER_WIREFRAME},
                             {"unlit", "UNLIGHT FLAT", D3DRMRENDER_UNLITFLAT},
                             {"gouraud", "GOURAUD", D3DRMRENDER_GOURAUD}};

struct View {
  const char* name;
  float x, y, z;     // from the model's centre towards the camera
  float ux, uy, uz;  // the camera's up
};
const View Views[] = {{"behind", 0.0f, 0.35f, -1.0f, 0, 1, 0},
                      {"nose", 0.0f, 0.35f, 1.0f, 0, 1, 0},
                      {"quarter", -0.8f, 0.6f, -1.0f, 0, 1, 0},
                      {"top", 0.0f, 1.0f, 0.0f, 0, 0, 1}};

void Label(uint32_t* pixels, int width, int height, int pitch, const std::string& text) {
  HDC dc = CreateBufferDC(pixels, width, height, pitch, POINT{});
  if (dc == nullptr) return;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, 0x00FFFFFF);
  TextOutA(dc, 4, 2, text.c_str(), static_cast<int>(text.size()));
  DeleteBufferDC(dc);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s MODEL.x OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string modelPath = argv[1];
  const std::filesystem::path outDir = argv[2];
  XMesh check;
  std::string error;
  if (!ReadXFile(modelPath.c_str(), check, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);

  IDirect3DRM* rm = nullptr;
  Direct3DRMCreate(&rm);
  IDirect3DRMMeshBuilder* model = nullptr;
  rm->CreateMeshBuilder(&model);
  if (FAILED(model->Load(modelPath.c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr)) ||
      !model->drawable) {
    std::fprintf(stderr, "%s: the model has nothing to draw\n", modelPath.c_str());
    return 1;
  }
  std::printf("%s: %zu vertices, %zu polygons, %zu materials, %s normals, radius %.3f\n",
              modelPath.c_str(), model->mesh.vertices.size(), model->mesh.FaceCount(),
              model->mesh.materials.size(), model->mesh.normals.empty() ? "computed" : "file",
              model->radius);

  IDirect3DRMFrame *scene = nullptr, *camera = nullptr, *object = nullptr, *lightFrame = nullptr;
  rm->CreateFrame(nullptr, &scene);
  rm->CreateFrame(scene, &camera);
  rm->CreateFrame(scene, &object);
  rm->CreateFrame(scene, &lightFrame);
  object->AddVisual(model);
  scene->SetSceneBackgroundRGB(0.12f, 0.12f, 0.16f);
  IDirect3DRMLight *ambient = nullptr, *sun = nullptr;
  rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.4f, 0.4f, 0.4f, &ambient);
  rm->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, &sun);
  scene->AddLight(ambient);
  lightFrame->SetOrientation(scene, 0, -1, 0, 0, 0, 1);
  lightFrame->AddLight(sun);

  auto* surface = new IDirectDrawSurface;
  surface->width = TileWidth;
  surface->height = TileHeight;
  surface->pitch = TileWidth;
  surface->pixels.assign(TileWidth * TileHeight, 0);
  IDirect3DRMDevice* device = nullptr;
  IDirect3DRMViewport* viewport = nullptr;
  rm->CreateDeviceFromSurface(nullptr, nullptr, surface, &device);
  rm->CreateViewport(device, camera, 0, 0, TileWidth, TileHeight, &viewport);

  // Far enough back that the bounding sphere fits the narrower half-angle of the view.
  const float halfAngle = std::atan((TileHeight / 2.0f) / (TileWidth / 2.0f * 2.0f));
  const float distance = model->radius / std::sin(halfAngle) * 1.05f + 0.01f;
  viewport->SetFront(std::max(0.01f, (distance - model->radius) * 0.5f));
  // The field scales with the front plane so that the view's angles stay the game's.
  viewport->SetField(viewport->front / 2.0f);
  viewport->SetBack(distance + model->radius * 2 + 1);

  const std::string name = std::filesystem::path(modelPath).stem().string();
  const int columns = 4, rows = 4;
  const int sheetWidth = columns * TileWidth + (columns - 1) * Gap;
  const int sheetHeight = rows * TileHeight + (rows - 1) * Gap;
  std::vector<uint32_t> sheet(static_cast<size_t>(sheetWidth) * sheetHeight, 0x00505050);
  bool ok = true;
  for (int v = 0; v < rows; ++v) {
    const View& view = Views[v];
    const float len = std::sqrt(view.x * view.x + view.y * view.y + view.z * view.z);
    const D3DVECTOR c = model->center;
    camera->SetPosition(scene, c.x + view.x / len * distance, c.y + view.y / len * distance,
                        c.z + view.z / len * distance);
    camera->SetOrientation(scene, -view.x, -view.y, -view.z, view.ux, view.uy, view.uz);
    for (int q = 0; q < columns; ++q) {
      device->SetQuality(Qualities[q].value);
      viewport->Clear();
      viewport->Render(scene);
      const std::string file =
          (outDir / (name + "-" + Qualities[q].name + "-" + view.name + ".png")).string();
      ok = WritePng(file, surface->pixels.data(), TileWidth, TileHeight, TileWidth) && ok;
      Label(surface->pixels.data(), TileWidth, TileHeight, TileWidth,
            std::string(Qualities[q].label) + " / " + view.name);
      for (int y = 0; y < TileHeight; ++y)
        std::copy_n(surface->pixels.data() + y * TileWidth, TileWidth,
                    sheet.data() + static_cast<size_t>(v * (TileHeight + Gap) + y) * sheetWidth +
                        q * (TileWidth + Gap));
    }
  }
  const std::string sheetFile = (outDir / (name + "-sheet.png")).string();
  ok = WritePng(sheetFile, sheet.data(), sheetWidth, sheetHeight, sheetWidth) && ok;
  std::printf("wrote %s and %d views beside it\n", sheetFile.c_str(), rows * columns);

  viewport->Release();
  device->Release();
  surface->Release();
  ambient->Release();
  sun->Release();
  lightFrame->Release();
  object->Release();
  camera->Release();
  scene->Release();
  model->Release();
  rm->Release();
  if (!ok) std::fprintf(stderr, "could not write every file in %s\n", outDir.string().c_str());
  return ok ? 0 : 1;
}
