// Display surfaces: CPU pixel buffers of 32 bits per pixel (XRGB 8888, 0x00RRGGBB) with block
// transfers, colour fills, source colour keys, locking, a clipper that limits writes to a window,
// and 8-bit palettes. The primary surface is what the player sees: the window's drawing area (in
// full screen the whole emulated display). It is addressed in screen coordinates, and whatever is
// written to it is shown at once.
#pragma once

#include <vector>

#include "platform/com.h"
#include "platform/win.h"

struct GUID {
  uint32_t data1 = 0;
  uint16_t data2 = 0, data3 = 0;
  uint8_t data4[8] = {};
};
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}
using REFIID = const GUID&;

struct DeviceContext;
using HDC = DeviceContext*;

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_WASSTILLDRAWING = static_cast<HRESULT>(0x8876021Cu);
constexpr HRESULT DDERR_NOTLOCKED = static_cast<HRESULT>(0x887600E6u);
constexpr HRESULT DDERR_SURFACEBUSY = static_cast<HRESULT>(0x887600A8u);
constexpr HRESULT DDERR_NODC = static_cast<HRESULT>(0x887600C8u);
constexpr HRESULT DDERR_NOCOLORKEY = static_cast<HRESULT>(0x887600D7u);

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// Cooperative levels.
constexpr DWORD DDSCL_FULLSCREEN = 0x1, DDSCL_NORMAL = 0x8, DDSCL_EXCLUSIVE = 0x10;
// Surface description flags and capabilities.
constexpr DWORD DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8,
                DDSD_PIXELFORMAT = 0x1000;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x40, DDSCAPS_PRIMARYSURFACE = 0x200,
                DDSCAPS_3DDEVICE = 0x2000;
// Blit flags.
constexpr DWORD DDBLT_COLORFILL = 0x400, DDBLT_KEYSRC = 0x8000, DDBLT_WAIT = 0x1000000;
// Colour key flags.
constexpr DWORD DDCKEY_SRCBLT = 0x8;
// Palette capabilities.
constexpr DWORD DDPCAPS_8BIT = 0x4;
// Pixel format flags.
constexpr DWORD DDPF_RGB = 0x40;

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue = 0;
  DWORD dwColorSpaceHighValue = 0;
};
struct DDPIXELFORMAT {
  DWORD dwSize = sizeof(DDPIXELFORMAT);
  DWORD dwFlags = 0;
  DWORD dwRGBBitCount = 0;
  DWORD dwRBitMask = 0, dwGBitMask = 0, dwBBitMask = 0;
};
struct DDSCAPS {
  DWORD dwCaps = 0;
};
struct DDSURFACEDESC {
  DWORD dwSize = sizeof(DDSURFACEDESC);
  DWORD dwFlags = 0;
  DWORD dwHeight = 0;
  DWORD dwWidth = 0;
  LONG lPitch = 0;  // bytes
  void* lpSurface = nullptr;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
};
struct DDBLTFX {
  DWORD dwSize = sizeof(DDBLTFX);
  DWORD dwFillColor = 0;
};
struct PALETTEENTRY {
  BYTE peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

class IDirectDrawPalette : public RefCounted {
 public:
  PALETTEENTRY entries[256];
  HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* out);
};

class IDirectDrawClipper : public RefCounted {
 public:
  HWND window = nullptr;
  HRESULT SetHWnd(DWORD flags, HWND window);
};

class IDirectDrawSurface : public RefCounted {
 public:
  // The pixel store. For the primary surface it is the window's drawing area (or the emulated
  // full screen), and the surface's coordinates are screen coordinates: pixel (x, y) of the
  // surface is pixels[(y - origin.y) * pitch + (x - origin.x)], with origin the screen position of
  // the drawing area at the time of the call.
  int width = 0, height = 0, pitch = 0;  // pitch in pixels
  std::vector<uint32_t> pixels;
  bool primary = false;
  HWND window = nullptr;  // primary only: the window whose drawing area this is
  // Primary only: in full screen (or without a window) the store is the display mode's size,
  // taken from the display object when the surface was created.
  bool fullScreen = false;
  int displayWidth = 0, displayHeight = 0;
  bool hasColorKey = false;
  DDCOLORKEY colorKey;
  IDirectDrawPalette* palette = nullptr;  // referenced
  IDirectDrawClipper* clipper = nullptr;  // referenced
  int locks = 0;
  HDC dc = nullptr;  // the device context handed out, if any

  // Screen position of pixel (0, 0) of the store: (0, 0) except for a windowed primary surface.
  POINT Origin() const;

  HRESULT Blt(const RECT* destRect, IDirectDrawSurface* source, const RECT* sourceRect, DWORD flags,
              const DDBLTFX* fx);
  HRESULT GetDC(HDC* dc);
  HRESULT ReleaseDC(HDC dc);
  HRESULT Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD flags, void* event);
  HRESULT Unlock(void* rect);
  HRESULT SetColorKey(DWORD flags, const DDCOLORKEY* key);
  HRESULT SetPalette(IDirectDrawPalette* palette);
  HRESULT SetClipper(IDirectDrawClipper* clipper);
  HRESULT GetSurfaceDesc(DDSURFACEDESC* desc);
  // Shows the primary surface on its window (called after every write to it).
  void Show();

 protected:
  ~IDirectDrawSurface() override;
};

class IDirect3D;

extern const GUID IID_IDirect3D;

class IDirectDraw : public RefCounted {
 public:
  HWND window = nullptr;
  DWORD cooperativeLevel = 0;
  int displayWidth = 0, displayHeight = 0, displayBits = 32;

  HRESULT SetCooperativeLevel(HWND window, DWORD flags);
  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel);
  HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, void* outer);
  HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, void* outer);
  HRESULT CreatePalette(DWORD flags, const PALETTEENTRY* entries, IDirectDrawPalette** palette,
                        void* outer);
  // IID_IDirect3D gives the device enumeration interface (d3drm.h).
  HRESULT QueryInterface(REFIID iid, void** out);
};

// Creates the display object for the default display (guid null). Fails when no display can be
// shown (neither a window nor headless operation).
HRESULT DirectDrawCreate(GUID* guid, IDirectDraw** out, void* outer);

// Made by the 3-D layer (d3drm.cpp): the device enumeration interface of a display object.
IDirect3D* CreateDirect3D(IDirectDraw* directDraw);
