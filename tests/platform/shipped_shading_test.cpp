// The shipped craft looks rounder in GOURAUD than in FLAT: same outline, other pixels on its body.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/d3drm.h"

namespace {

TEST(ShippedShadingTest, GouraudRoundsTheCraftWhereFlatKeepsItsFacets) {
  const char* root = std::getenv("GRONKA_SOURCE_DIR");
  const std::string path = std::string(root ? root : "..") + "/data/my.x";
  const long baseline = RefCounted::LiveObjectCount();
  IDirect3DRM* rm = nullptr;
  IDirect3DRMFrame *scene = nullptr, *camera = nullptr, *craft = nullptr, *sun = nullptr;
  IDirect3DRMMeshBuilder* model = nullptr;
  IDirect3DRMLight *ambient = nullptr, *directional = nullptr;
  IDirect3DRMDevice* device = nullptr;
  IDirect3DRMViewport* view = nullptr;
  auto* surface = new IDirectDrawSurface;
  surface->width = surface->pitch = 320;
  surface->height = 240;
  surface->pixels.assign(320 * 240, 0);
  Direct3DRMCreate(&rm);
  rm->CreateFrame(nullptr, &scene);
  rm->CreateFrame(scene, &camera);
  rm->CreateFrame(scene, &craft);
  rm->CreateFrame(scene, &sun);
  rm->CreateMeshBuilder(&model);
  ASSERT_EQ(model->Load(path.c_str(), nullptr, 0, nullptr, nullptr), S_OK);
  craft->AddVisual(model);
  // Lit as in the game: grey ambient 0.4 and white light straight down; seen from above and behind.
  rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.4f, 0.4f, 0.4f, &ambient);
  scene->AddLight(ambient);
  rm->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, &directional);
  sun->SetOrientation(scene, 0, -1, 0, 0, 0, 1);
  sun->AddLight(directional);
  camera->SetPosition(scene, 0, 0.8f, -1.2f);
  camera->SetOrientation(scene, 0, -0.8f, 1.2f, 0, 1, 0);
  ASSERT_EQ(rm->CreateDeviceFromSurface(nullptr, nullptr, surface, &device), S_OK);
  ASSERT_EQ(rm->CreateViewport(device, camera, 0, 0, 320, 240, &view), S_OK);

  std::vector<uint32_t> flat;
  for (D3DRMRENDERQUALITY quality : {D3DRMRENDER_FLAT, D3DRMRENDER_GOURAUD}) {
    device->SetQuality(quality);
    view->Clear();
    ASSERT_EQ(view->Render(scene), S_OK);
    if (flat.empty()) flat = surface->pixels;
  }
  const uint32_t background = flat[0];
  int covered = 0, differ = 0, outline = 0;
  for (size_t i = 0; i < flat.size(); ++i) {
    covered += flat[i] != background;
    differ += flat[i] != surface->pixels[i];
    outline += (flat[i] == background) != (surface->pixels[i] == background);
  }
  EXPECT_GT(covered, 15000);
  EXPECT_EQ(outline, 0);
  EXPECT_GT(differ, covered / 6) << "of " << covered << " pixels on the craft";

  for (RefCounted* object : std::initializer_list<RefCounted*>{
           view, device, directional, ambient, model, sun, craft, camera, scene, rm, surface})
    object->Release();
  EXPECT_EQ(RefCounted::LiveObjectCount(), baseline);
}

}  // namespace
