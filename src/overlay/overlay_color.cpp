#include "overlay/overlay.h"
#include "platform/gdi.h"

DWORD MatchSurfaceColor(IDirectDrawSurface* surface, COLORREF colour) {
  if (!surface) return CLR_INVALID;
  // Let the drawing layer write the colour into pixel (0, 0) and read back what it became.
  COLORREF saved = CLR_INVALID;
  if (colour != CLR_INVALID) {
    HDC dc = nullptr;
    if (surface->GetDC(&dc) == DD_OK) {
      saved = GetPixel(dc, 0, 0);
      SetPixel(dc, 0, 0, colour);
      surface->ReleaseDC(dc);
    }
  }
  DDSURFACEDESC desc;
  desc.dwSize = 108;
  HRESULT result;
  while ((result = surface->Lock(nullptr, &desc, 0, nullptr)) == DDERR_WASSTILLDRAWING) {
  }
  DWORD pixel = CLR_INVALID;
  if (result == DD_OK) {
    if (desc.lpSurface) {
      pixel = *static_cast<const DWORD*>(desc.lpSurface);
      const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
      if (bits < 32) pixel &= (DWORD{1} << bits) - 1;
    }
    surface->Unlock(nullptr);
  }
  if (colour != CLR_INVALID) {
    HDC dc = nullptr;
    if (surface->GetDC(&dc) == DD_OK) {
      // The pixel is put back only when it could be read.
      if (saved != CLR_INVALID) SetPixel(dc, 0, 0, saved);
      surface->ReleaseDC(dc);
    }
  }
  return pixel;
}

HRESULT ApplyColorKey(IDirectDrawSurface* surface, COLORREF colour) {
  if (!surface) return DDERR_INVALIDPARAMS;
  const DWORD key = MatchSurfaceColor(surface, colour);
  DDCOLORKEY colorKey;
  colorKey.dwColorSpaceLowValue = key;
  colorKey.dwColorSpaceHighValue = key;
  return surface->SetColorKey(DDCKEY_SRCBLT, &colorKey);
}
