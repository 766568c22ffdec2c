// The Renderer's life: start-up of the display and the 3-D layer, quality, teardown.
#include "render/renderer.h"

#include "platform/gdi.h"

struct Renderer Renderer;

const D3DRMRENDERQUALITY RenderQuality[4] = {D3DRMRENDER_FLAT, D3DRMRENDER_WIREFRAME,
                                             D3DRMRENDER_UNLITFLAT, D3DRMRENDER_GOURAUD};

namespace {

template <typename T>
void ReleaseField(T*& field) {
  if (field != nullptr) {
    field->Release();
    field = nullptr;
  }
}

}  // namespace

bool Renderer::Init(HWND window, int screenWidth, int screenHeight, int fullScreen) {
  if (!InitDisplay(window, screenWidth, screenHeight, 16, fullScreen)) return false;

  HDC dc = GetDC(window);
  bitsPerPixel = GetDeviceCaps(dc, BITSPIXEL);
  ReleaseDC(window, dc);

  if (FAILED(directDraw->QueryInterface(IID_IDirect3D, reinterpret_cast<void**>(&direct3D))) ||
      direct3D == nullptr)
    return false;
  deviceCount = 0;
  if (FAILED(direct3D->EnumDevices(OnDeviceEnumerated, &chosenDevice))) return false;
  if (deviceCount == 0) return false;

  Direct3DRMCreate(&rm);
  // Without the retained-mode object nothing below can be made.
  if (rm == nullptr) return false;
  if (FAILED(rm->CreateFrame(nullptr, &scene))) return false;
  // Room for every frame a match puts into the scene at once (the craft and their shadows, the
  // ground, the item and its marker, 200 bullets and 100 debris pieces), so that attaching a bullet
  // in a frame of play never has to grow the list.
  scene->children.reserve(512);
  if (FAILED(rm->CreateFrame(scene, &camera[0]))) return false;
  if (FAILED(rm->CreateFrame(scene, &camera[1]))) return false;
  camera[0]->SetPosition(scene, 0, 0, 0);
  camera[1]->SetPosition(scene, 0, 0, 0);

  if (IDirectDrawPalette* palette = LoadPalette(directDraw, "pal.bmp")) {
    primarySurface->SetPalette(palette);
    backSurface->SetPalette(palette);
    overlaySurface->SetPalette(palette);
    // The surfaces hold the palette now.
    palette->Release();
  }

  if (FAILED(rm->CreateDeviceFromSurface(nullptr, directDraw, backSurface, &device))) return false;
  width = static_cast<int32_t>(device->GetWidth());
  height = static_cast<int32_t>(device->GetHeight());

  if (FAILED(rm->CreateViewport(device, camera[0], 0, 0, width / 2, height, &viewLeft)))
    return false;
  if (FAILED(rm->CreateViewport(device, camera[1], width / 2, 0, width / 2, height, &viewRight)))
    return false;
  if (FAILED(rm->CreateViewport(device, camera[0], 0, 0, width, height, &viewFull))) return false;
  if (FAILED(viewLeft->SetBack(100.0f))) return false;
  if (FAILED(viewRight->SetBack(100.0f))) return false;

  if (FAILED(device->SetQuality(D3DRMRENDER_FLAT))) return false;

  switch (bitsPerPixel) {
    case 1:
      if (FAILED(device->SetShades(4))) return false;
      if (FAILED(rm->SetDefaultTextureShades(4))) return false;
      break;
    case 16:
      if (FAILED(device->SetShades(32))) return false;
      if (FAILED(rm->SetDefaultTextureColors(64))) return false;
      if (FAILED(rm->SetDefaultTextureShades(32))) return false;
      break;
    case 24:
    case 32:
      if (FAILED(device->SetShades(256))) return false;
      if (FAILED(rm->SetDefaultTextureColors(64))) return false;
      if (FAILED(rm->SetDefaultTextureShades(256))) return false;
      break;
    default:
      break;
  }

  scene->SetSceneBackgroundRGB(1.0f, 0.0f, 0.0f);

  IDirect3DRMLight* ambient = nullptr;
  rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.4f, 0.4f, 0.4f, &ambient);
  if (ambient != nullptr) {
    scene->AddLight(ambient);
    ambient->Release();
  }

  ready = 1;
  return true;
}

bool Renderer::InitDisplay(HWND window, int screenWidth, int screenHeight, int bits,
                           int fullScreen) {
  if (FAILED(DirectDrawCreate(nullptr, &directDraw, nullptr)) || directDraw == nullptr)
    return false;
  const DWORD level = fullScreen == 1 ? (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) : DDSCL_NORMAL;
  if (FAILED(directDraw->SetCooperativeLevel(window, level))) return false;
  if (fullScreen == 1 && FAILED(directDraw->SetDisplayMode(static_cast<DWORD>(screenWidth),
                                                           static_cast<DWORD>(screenHeight),
                                                           static_cast<DWORD>(bits))))
    return false;
  if (!CreatePrimarySurface()) return false;
  if (fullScreen != 1) {
    if (FAILED(directDraw->CreateClipper(0, &clipper, nullptr)) || clipper == nullptr) return false;
    if (FAILED(clipper->SetHWnd(0, window))) return false;
    if (FAILED(primarySurface->SetClipper(clipper))) return false;
  }
  return CreateBackSurfaces(screenWidth, screenHeight);
}

bool Renderer::CreatePrimarySurface() {
  if (directDraw == nullptr) return false;
  DDSURFACEDESC desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
  return SUCCEEDED(directDraw->CreateSurface(&desc, &primarySurface, nullptr)) &&
         primarySurface != nullptr;
}

bool Renderer::CreateBackSurfaces(int surfaceWidth, int surfaceHeight) {
  if (directDraw == nullptr) return false;
  DDSURFACEDESC desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
  desc.dwWidth = static_cast<DWORD>(surfaceWidth);
  desc.dwHeight = static_cast<DWORD>(surfaceHeight);
  if (FAILED(directDraw->CreateSurface(&desc, &backSurface, nullptr)) || backSurface == nullptr)
    return false;
  DDSURFACEDESC overlay;
  overlay.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  overlay.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  overlay.dwWidth = 320;
  overlay.dwHeight = 240;
  return SUCCEEDED(directDraw->CreateSurface(&overlay, &overlaySurface, nullptr)) &&
         overlaySurface != nullptr;
}

void Renderer::SetQuality(D3DRMRENDERQUALITY value) {
  if (device != nullptr) device->SetQuality(value);
}

void Renderer::Reset() {
  directDraw = nullptr;
  direct3D = nullptr;
  rm = nullptr;
  device = nullptr;
  viewLeft = nullptr;
  viewRight = nullptr;
  viewFull = nullptr;
  scene = nullptr;
  camera[0] = nullptr;
  camera[1] = nullptr;
  clipper = nullptr;
  ready = 0;
  primarySurface = nullptr;
  backSurface = nullptr;
  overlaySurface = nullptr;
}

void Renderer::Teardown() {
  ReleaseField(camera[0]);
  ReleaseField(camera[1]);
  ReleaseField(scene);
  ReleaseField(viewLeft);
  ReleaseField(viewRight);
  ReleaseField(viewFull);
  ReleaseField(device);
  ReleaseField(rm);
  ReleaseField(clipper);
  ReleaseField(direct3D);
  ReleaseField(primarySurface);
  ReleaseField(backSurface);
  ReleaseField(overlaySurface);
  ReleaseField(directDraw);
}
