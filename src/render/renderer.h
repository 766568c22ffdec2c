// The Renderer owns every display and 3-D interface of the game: the display object and its three
// surfaces, the retained-mode object, the device, the three viewports, the scene and the two player
// cameras.
#pragma once

#include <string>

#include "platform/d3drm.h"
#include "platform/ddraw.h"
#include "platform/win.h"

using FrameHandle = IDirect3DRMFrame*;
using ModelHandle = IDirect3DRMMeshBuilder*;
using LightHandle = IDirect3DRMLight*;

constexpr int DeviceRecordCount = 5;

struct DeviceRecord {
  char name[100];
  GUID guid;
  D3DDEVICEDESC desc;
  int32_t isHardware;
  int32_t rgbOnly;
};

extern DeviceRecord DeviceRecords[DeviceRecordCount];
extern int32_t deviceCount;
extern int32_t firstDeviceTaken;

// The four render qualities by their index in the settings: "FLAT", "WIREFRAME", "UNLIGHT FLAT",
// "GOURAUD".
extern const D3DRMRENDERQUALITY RenderQuality[4];

struct Renderer {
  IDirectDraw* directDraw;
  IDirect3D* direct3D;
  IDirect3DRM* rm;
  IDirect3DRMDevice* device;
  IDirect3DRMViewport* viewLeft;
  IDirect3DRMViewport* viewRight;
  IDirect3DRMViewport* viewFull;
  IDirect3DRMFrame* scene;
  IDirect3DRMFrame* camera[2];
  IDirectDrawClipper* clipper;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  int32_t chosenDevice = 0;
  int32_t ready;
  IDirectDrawSurface* primarySurface;
  IDirectDrawSurface* backSurface;
  IDirectDrawSurface* overlaySurface;

  Renderer() { Reset(); }
  ~Renderer() { Teardown(); }

  bool Init(HWND window, int width, int height, int fullScreen);
  bool InitDisplay(HWND window, int width, int height, int bitsPerPixel, int fullScreen);
  bool CreatePrimarySurface();
  bool CreateBackSurfaces(int width, int height);
  void SetQuality(D3DRMRENDERQUALITY value);
  void Reset();
  void Teardown();

  // Scene objects.
  bool CreateSceneFrame(FrameHandle* slot);
  bool CreateDetachedFrame(FrameHandle* slot);
  // Fills the slot from a model file; on failure the slot is left null and `why`, when given, says
  // what was wrong with the file (its name first).
  bool LoadModel(ModelHandle* slot, const char* fileName, std::string* why = nullptr);
  void SetFramePosition(FrameHandle frame, double x, double y, double z);
  void AddToScene(FrameHandle frame);
  void RemoveFromScene(FrameHandle frame);
  bool CreateLight(LightHandle* slot, D3DRMLIGHTTYPE type, double red, double green, double blue);
  void SetOrientationAngles(FrameHandle frame, int ax, int ay, int az);
  void SetRotationAngles(FrameHandle frame, int ax, int ay, int az);
  void SetCameraAngles(int player, int ax, int ay, int az);
  void SetCameraPosition(int player, double x, double y, double z);

  // Frame rendering and presentation.
  void RenderPlayerViews();
  void RenderFullView();
  void ClearBackBuffer();
  void Present(int x, int y);
};

extern struct Renderer Renderer;

// Runs that nobody watches (headless replays, the arena) leave the 3-D views undrawn:
// RenderPlayerViews and RenderFullView then do nothing. Nothing of the game depends on them.
extern bool SkipViewDrawing;

IDirectDrawPalette* LoadPalette(IDirectDraw* directDraw, const char* fileName);
HRESULT OnDeviceEnumerated(GUID* guid, char* description, char* name, D3DDEVICEDESC* hardware,
                           D3DDEVICEDESC* software, void* context);
// Shows the rendered frame on the window's drawing area.
void PresentFrame();
