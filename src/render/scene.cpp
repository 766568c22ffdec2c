// Scene objects: frames, models and lights in the game's slots, and their transforms from whole
// degrees.
#include <cmath>

#include "render/renderer.h"

namespace {

// Degrees to radians with the game's own value of pi, in double precision.
double Radians(int degrees) {
  return degrees * 3.1415926535 / 180.0;
}

// Releases what the slot holds, then creates a frame below `parent` (null: no parent) at the
// scene's origin into it; the slot stays null when the frame cannot be made.
bool CreateFrameInto(IDirect3DRM* rm, IDirect3DRMFrame* scene, IDirect3DRMFrame* parent,
                     FrameHandle* slot) {
  if (slot == nullptr) return false;
  if (*slot != nullptr) {
    (*slot)->Release();
    *slot = nullptr;
  }
  if (rm == nullptr || FAILED(rm->CreateFrame(parent, slot)) || *slot == nullptr) {
    *slot = nullptr;
    return false;
  }
  (*slot)->SetPosition(scene, 0, 0, 0);
  return true;
}

}  // namespace

bool Renderer::CreateSceneFrame(FrameHandle* slot) {
  return CreateFrameInto(rm, scene, scene, slot);
}

bool Renderer::CreateDetachedFrame(FrameHandle* slot) {
  return CreateFrameInto(rm, scene, nullptr, slot);
}

bool Renderer::LoadModel(ModelHandle* slot, const char* fileName, std::string* why) {
  if (slot == nullptr) return false;
  if (*slot != nullptr) {
    (*slot)->Release();
    *slot = nullptr;
  }
  if (rm == nullptr || FAILED(rm->CreateMeshBuilder(slot)) || *slot == nullptr) {
    *slot = nullptr;
    if (why != nullptr) *why = std::string(fileName ? fileName : "") + ": no model could be made";
    return false;
  }
  if (FAILED((*slot)->Load(fileName, nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr))) {
    if (why != nullptr) *why = (*slot)->loadError;
    (*slot)->Release();
    *slot = nullptr;
    return false;
  }
  (*slot)->SetPerspective(TRUE);
  return true;
}

void Renderer::SetFramePosition(FrameHandle frame, double x, double y, double z) {
  if (frame == nullptr) return;
  frame->SetPosition(scene, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void Renderer::AddToScene(FrameHandle frame) {
  if (frame != nullptr && scene != nullptr) scene->AddChild(frame);
}

void Renderer::RemoveFromScene(FrameHandle frame) {
  if (frame != nullptr && scene != nullptr) scene->DeleteChild(frame);
}

bool Renderer::CreateLight(LightHandle* slot, D3DRMLIGHTTYPE type, double red, double green,
                           double blue) {
  if (slot == nullptr || rm == nullptr) return false;
  LightHandle light = nullptr;
  if (FAILED(rm->CreateLightRGB(type, static_cast<float>(red), static_cast<float>(green),
                                static_cast<float>(blue), &light)) ||
      light == nullptr)
    return false;
  *slot = light;
  if (type == D3DRMLIGHT_SPOT) {
    light->SetPenumbra(1.7453293f);
    light->SetUmbra(1.2217305f);
  } else if (type == D3DRMLIGHT_POINT) {
    light->SetLinearAttenuation(0.15f);
  }
  return true;
}

void Renderer::SetOrientationAngles(FrameHandle frame, int ax, int ay, int az) {
  if (frame == nullptr) return;
  const double a = Radians(ax), b = Radians(ay), c = Radians(az);
  const double sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b),
               sc = std::sin(c), cc = std::cos(c);
  const double dx = ca * sb * cc + sa * sc, dy = ca * sb * sc - sa * cc, dz = ca * cb;
  const double ux = sa * sb * cc - ca * sc, uy = sa * sb * sc + ca * cc, uz = sa * cb;
  frame->SetOrientation(scene, static_cast<float>(dx), static_cast<float>(dy),
                        static_cast<float>(dz), static_cast<float>(ux), static_cast<float>(uy),
                        static_cast<float>(uz));
}

void Renderer::SetRotationAngles(FrameHandle frame, int ax, int ay, int az) {
  if (frame == nullptr) return;
  frame->AddRotation(D3DRMCOMBINE_REPLACE, 0, 0, 0, 0);
  frame->AddRotation(D3DRMCOMBINE_AFTER, 0, 0, 1, static_cast<float>(Radians(az)));
  frame->AddRotation(D3DRMCOMBINE_AFTER, 1, 0, 0, static_cast<float>(Radians(ax)));
  frame->AddRotation(D3DRMCOMBINE_AFTER, 0, 1, 0, static_cast<float>(Radians(ay)));
}

void Renderer::SetCameraAngles(int player, int ax, int ay, int az) {
  if (player < 0 || player > 1) return;
  SetRotationAngles(camera[player], ax, ay, az);
}

void Renderer::SetCameraPosition(int player, double x, double y, double z) {
  if (player < 0 || player > 1) return;
  SetFramePosition(camera[player], x, y, z);
}
