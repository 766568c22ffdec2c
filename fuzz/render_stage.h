// A small scene for drawing one mesh at a time: a camera, the lights the game uses and a point
// light, a small surface and a viewport. Show draws a mesh builder from several viewpoints in every
// render quality, then takes it out of the scene again and checks that no object is left behind.
#pragma once

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "platform/d3drm.h"

namespace fuzz {

class Stage {
 public:
  static Stage& Get() {
    static Stage* stage = new Stage;
    return *stage;
  }

  IDirect3DRM* rm = nullptr;

  // Draws the mesh and drops the caller's reference to it.
  void Show(IDirect3DRMMeshBuilder* mesh) {
    IDirect3DRMFrame* holder = nullptr;
    FUZZ_CHECK(rm->CreateFrame(scene_, &holder) == S_OK);
    FUZZ_CHECK(holder->AddVisual(mesh) == S_OK);

    // Whole, from outside its bounding sphere; from its centre (everything crosses the front
    // plane), twice; turned about a slanted axis, from a fixed place as the game's cameras see
    // their models.
    const D3DVECTOR c = mesh->center;
    const float r = mesh->radius;
    view_->SetBack(std::isfinite(r * 8) && r * 8 > 100 ? r * 8 : 100);
    DrawFrom({c.x, c.y, c.z - 2.5f * r - 1}, {0, 0, 1});
    DrawFrom(c, {0.2f, -0.3f, 1});
    DrawFrom(c, {0, -1, 0});
    holder->AddRotation(D3DRMCOMBINE_REPLACE, 1, 1, 0, 0.7f);
    view_->SetBack(100);
    DrawFrom({0, 0, -5}, {0, 0, 1});

    FUZZ_CHECK(scene_->DeleteChild(holder) == S_OK);
    holder->Release();
    mesh->Release();
    FUZZ_CHECK(RefCounted::LiveObjectCount() == liveObjects_);
  }

 private:
  static constexpr int Width = 48, Height = 36;

  IDirect3DRMFrame* scene_ = nullptr;
  IDirect3DRMFrame* camera_ = nullptr;
  IDirect3DRMFrame* lightFrame_ = nullptr;
  IDirectDrawSurface* surface_ = nullptr;
  IDirect3DRMDevice* device_ = nullptr;
  IDirect3DRMViewport* view_ = nullptr;
  long liveObjects_ = 0;

  Stage() {
    FUZZ_CHECK(Direct3DRMCreate(&rm) == S_OK);
    FUZZ_CHECK(rm->CreateFrame(nullptr, &scene_) == S_OK);
    FUZZ_CHECK(rm->CreateFrame(scene_, &camera_) == S_OK);
    FUZZ_CHECK(rm->CreateFrame(scene_, &lightFrame_) == S_OK);
    lightFrame_->SetOrientation(nullptr, 0.3f, -1, 0.5f, 0, 0, 1);
    // The lights the game uses, and a point light, which is aimed from the mesh's centre.
    AddLight(D3DRMLIGHT_AMBIENT, 0.3f, lightFrame_);
    AddLight(D3DRMLIGHT_DIRECTIONAL, 1.0f, lightFrame_);
    AddLight(D3DRMLIGHT_POINT, 0.5f, camera_);
    surface_ = new IDirectDrawSurface;
    surface_->width = Width;
    surface_->height = Height;
    surface_->pitch = Width;
    surface_->pixels.assign(Width * Height, 0);
    FUZZ_CHECK(rm->CreateDeviceFromSurface(nullptr, nullptr, surface_, &device_) == S_OK);
    FUZZ_CHECK(rm->CreateViewport(device_, camera_, 0, 0, Width, Height, &view_) == S_OK);
    liveObjects_ = RefCounted::LiveObjectCount();
  }

  void AddLight(D3DRMLIGHTTYPE type, float level, IDirect3DRMFrame* frame) {
    IDirect3DRMLight* light = nullptr;
    FUZZ_CHECK(rm->CreateLightRGB(type, level, level, level, &light) == S_OK);
    light->SetLinearAttenuation(0.05f);
    frame->AddLight(light);
    light->Release();
  }

  // Looks from `eye` along `dir` and draws the scene in every quality.
  void DrawFrom(D3DVECTOR eye, D3DVECTOR dir) {
    if (camera_->SetPosition(nullptr, eye.x, eye.y, eye.z) != S_OK) return;
    const bool upright = std::fabs(dir.y) < 0.9f;
    FUZZ_CHECK(camera_->SetOrientation(nullptr, dir.x, dir.y, dir.z, upright ? 0 : 1,
                                       upright ? 1 : 0, 0) == S_OK);
    for (D3DRMRENDERQUALITY quality :
         {D3DRMRENDER_FLAT, D3DRMRENDER_WIREFRAME, D3DRMRENDER_UNLITFLAT, D3DRMRENDER_GOURAUD}) {
      device_->SetQuality(quality);
      FUZZ_CHECK(view_->Clear() == S_OK);
      FUZZ_CHECK(view_->Render(scene_) == S_OK);
    }
  }
};

}  // namespace fuzz
