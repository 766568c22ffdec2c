#include "platform/ddraw.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi.h"

const GUID IID_IDirect3D = {
    0x3BBA0080, 0x2421, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

namespace {

// Surfaces larger than this on either side are refused rather than allocated.
constexpr int MaxSurfaceSide = 8192;
// Copies between rectangles larger than this on either side are refused.
constexpr int64_t MaxRectangleSide = 1 << 20;

struct Box {
  int left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
};

Box Intersect(const Box& a, const Box& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

void FillFormat(DDPIXELFORMAT* format) {
  format->dwSize = sizeof(DDPIXELFORMAT);
  format->dwFlags = DDPF_RGB;
  format->dwRGBBitCount = 32;
  format->dwRBitMask = 0x00FF0000;
  format->dwGBitMask = 0x0000FF00;
  format->dwBBitMask = 0x000000FF;
}

}  // namespace

// --- Palette and clipper -------------------------------------------------------------------------

HRESULT IDirectDrawPalette::GetEntries(DWORD, DWORD start, DWORD count, PALETTEENTRY* out) {
  if (!out || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::copy(entries + start, entries + start + count, out);
  return DD_OK;
}

HRESULT IDirectDrawClipper::SetHWnd(DWORD, HWND w) {
  window = w;
  return DD_OK;
}

// --- Surface -------------------------------------------------------------------------------------

namespace {

// Size the primary surface's store should have now.
void PrimarySize(const IDirectDrawSurface* surface, int* w, int* h) {
  *w = *h = 0;
  const bool hasMode = surface->displayWidth > 0 && surface->displayHeight > 0;
  if ((surface->fullScreen && hasMode) || !surface->window) {
    *w = surface->displayWidth;
    *h = surface->displayHeight;
    return;
  }
  RECT client;
  if (GetClientRect(surface->window, &client)) {
    *w = std::clamp<int>(client.right - client.left, 0, MaxSurfaceSide);
    *h = std::clamp<int>(client.bottom - client.top, 0, MaxSurfaceSide);
  }
}

// Brings a primary surface's store to the current size of its display. Done only while no one
// holds a pointer into the store (no lock, no device context).
void SyncPrimary(IDirectDrawSurface* s) {
  if (!s->primary || s->locks > 0 || s->dc) return;
  int w, h;
  PrimarySize(s, &w, &h);
  if (w == s->width && h == s->height) return;
  s->width = w;
  s->height = h;
  s->pitch = w;
  s->pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0u);
}

// The whole surface in its own coordinates (screen coordinates for a windowed primary surface).
Box BoundsOf(const IDirectDrawSurface* s) {
  POINT o = s->Origin();
  return {o.x, o.y, o.x + s->width, o.y + s->height};
}

Box BoxOf(const RECT* rect, const Box& whole) {
  if (!rect) return whole;
  return {rect->left, rect->top, rect->right, rect->bottom};
}

}  // namespace

POINT IDirectDrawSurface::Origin() const {
  if (!primary || !window || fullScreen) return POINT{};
  return ClientOriginOf(window);
}

IDirectDrawSurface::~IDirectDrawSurface() {
  if (dc) DeleteBufferDC(dc);
  if (palette) palette->Release();
  if (clipper) clipper->Release();
}

void IDirectDrawSurface::Show() {
  if (!primary || !window || pixels.empty()) return;
  PresentPixels(window, pixels.data(), width, height, pitch);
}

HRESULT IDirectDrawSurface::Blt(const RECT* destRect, IDirectDrawSurface* source,
                                const RECT* sourceRect, DWORD flags, const DDBLTFX* fx) {
  if (locks > 0 || dc) return DDERR_SURFACEBUSY;
  SyncPrimary(this);
  const Box destWhole = BoundsOf(this);
  const Box dest = BoxOf(destRect, destWhole);
  if (dest.right < dest.left || dest.bottom < dest.top) return DDERR_INVALIDPARAMS;
  const POINT destOrigin = Origin();

  if (flags & DDBLT_COLORFILL) {
    if (!fx) return DDERR_INVALIDPARAMS;
    const Box clip = Intersect(dest, destWhole);
    if (!clip.Empty()) {
      const uint32_t value = fx->dwFillColor;
      // A value of four equal bytes (black, as a rule) fills as bytes.
      const bool bytes = value == (value & 0xFF) * 0x01010101u;
      const size_t count = static_cast<size_t>(clip.right - clip.left);
      for (int y = clip.top; y < clip.bottom; ++y) {
        uint32_t* row = pixels.data() + static_cast<size_t>(y - destOrigin.y) * pitch +
                        (clip.left - destOrigin.x);
        if (bytes)
          std::memset(row, static_cast<int>(value & 0xFF), count * sizeof(uint32_t));
        else
          std::fill_n(row, count, value);
      }
      if (primary) Show();
    }
    return DD_OK;
  }

  if (!source) return DDERR_INVALIDPARAMS;
  if (source != this && (source->locks > 0 || source->dc)) return DDERR_SURFACEBUSY;
  SyncPrimary(source);
  const bool keyed = (flags & DDBLT_KEYSRC) != 0;
  if (keyed && !source->hasColorKey) return DDERR_NOCOLORKEY;
  const uint32_t key = source->colorKey.dwColorSpaceLowValue;

  const Box srcWhole = BoundsOf(source);
  const Box src = BoxOf(sourceRect, srcWhole);
  if (src.right < src.left || src.bottom < src.top) return DDERR_INVALIDPARAMS;
  // Rectangles wider than any surface could be are refused, which also keeps the arithmetic of
  // the mapping below far from overflowing.
  auto tooLarge = [](const Box& b) {
    return int64_t{b.right} - b.left > MaxRectangleSide ||
           int64_t{b.bottom} - b.top > MaxRectangleSide;
  };
  if (tooLarge(dest) || tooLarge(src)) return DDERR_INVALIDPARAMS;
  const int destW = dest.right - dest.left, destH = dest.bottom - dest.top;
  const int srcW = src.right - src.left, srcH = src.bottom - src.top;
  if (destW == 0 || destH == 0 || srcW == 0 || srcH == 0) return DD_OK;

  // Every destination pixel of the requested rectangle samples the source pixel under its centre:
  // s = srcStart + ((2 d + 1) srcSize) / (2 destSize), d counted from the rectangle's start. Only
  // the pixels that land on both surfaces are written; the mapping stays that of the whole
  // rectangles, so clipping never shifts or rescales the picture.
  auto mapX = [&](int dx) {
    return src.left + static_cast<int>(((2LL * (dx - dest.left) + 1) * srcW) / (2LL * destW));
  };
  auto mapY = [&](int dy) {
    return src.top + static_cast<int>(((2LL * (dy - dest.top) + 1) * srcH) / (2LL * destH));
  };
  Box clip = Intersect(dest, destWhole);
  if (clip.Empty()) return DD_OK;
  // Narrow the destination range to the pixels whose source lies on the source surface. The
  // mapping is monotonic, so the valid pixels form one run on each axis.
  while (clip.left < clip.right && mapX(clip.left) < srcWhole.left) ++clip.left;
  while (clip.right > clip.left && mapX(clip.right - 1) >= srcWhole.right) --clip.right;
  while (clip.top < clip.bottom && mapY(clip.top) < srcWhole.top) ++clip.top;
  while (clip.bottom > clip.top && mapY(clip.bottom - 1) >= srcWhole.bottom) --clip.bottom;
  if (clip.Empty()) return DD_OK;

  const POINT srcOrigin = source->Origin();
  // A copy of a surface onto itself reads from a snapshot so that overlapping rectangles work.
  std::vector<uint32_t> snapshot;
  const uint32_t* srcPixels = source->pixels.data();
  if (source == this) {
    snapshot = pixels;
    srcPixels = snapshot.data();
  }
  const bool sameWidth = destW == srcW;
  // Source column of every destination column, worked out once per copy into a buffer that is
  // kept from one copy to the next.
  static std::vector<int> columns;
  if (!sameWidth) {
    columns.resize(static_cast<size_t>(clip.right - clip.left));
    for (int x = clip.left; x < clip.right; ++x)
      columns[static_cast<size_t>(x - clip.left)] = mapX(x) - srcOrigin.x;
  }
  const int firstColumn = mapX(clip.left) - srcOrigin.x;
  const int count = clip.right - clip.left;
  for (int y = clip.top; y < clip.bottom; ++y) {
    const int sy = mapY(y);
    const uint32_t* srcRow = srcPixels + static_cast<size_t>(sy - srcOrigin.y) * source->pitch;
    uint32_t* destRow =
        pixels.data() + static_cast<size_t>(y - destOrigin.y) * pitch + (clip.left - destOrigin.x);
    if (sameWidth) {
      const uint32_t* from = srcRow + firstColumn;
      if (!keyed) {
        std::memmove(destRow, from, static_cast<size_t>(count) * sizeof(uint32_t));
      } else {
        for (int i = 0; i < count; ++i)
          if (from[i] != key) destRow[i] = from[i];
      }
      continue;
    }
    for (int i = 0; i < count; ++i) {
      const uint32_t value = srcRow[columns[static_cast<size_t>(i)]];
      if (!keyed || value != key) destRow[i] = value;
    }
  }
  if (primary) Show();
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (dc || locks > 0) return DDERR_SURFACEBUSY;
  SyncPrimary(this);
  dc = CreateBufferDC(pixels.data(), width, height, pitch, Origin());
  if (!dc) return DDERR_NODC;
  *out = dc;
  return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC given) {
  if (!dc || given != dc) return DDERR_NODC;
  DeleteBufferDC(dc);
  dc = nullptr;
  if (primary) Show();
  return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD, void*) {
  if (!desc) return DDERR_INVALIDPARAMS;
  if (dc) return DDERR_SURFACEBUSY;
  SyncPrimary(this);
  const Box whole = BoundsOf(this);
  const Box area = BoxOf(rect, whole);
  if (area.left < whole.left || area.top < whole.top || area.right > whole.right ||
      area.bottom > whole.bottom || area.right < area.left || area.bottom < area.top)
    return DDERR_INVALIDPARAMS;
  GetSurfaceDesc(desc);
  const POINT o = Origin();
  desc->lpSurface = pixels.empty() ? nullptr
                                   : pixels.data() + static_cast<size_t>(area.top - o.y) * pitch +
                                         (area.left - o.x);
  ++locks;
  return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*) {
  if (locks <= 0) return DDERR_NOTLOCKED;
  --locks;
  if (primary && locks == 0) Show();
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetColorKey(DWORD flags, const DDCOLORKEY* key) {
  if (!(flags & DDCKEY_SRCBLT)) return DDERR_INVALIDPARAMS;
  if (!key) {
    hasColorKey = false;
    colorKey = DDCOLORKEY{};
    return DD_OK;
  }
  hasColorKey = true;
  colorKey = *key;
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetPalette(IDirectDrawPalette* p) {
  if (p) p->AddRef();
  if (palette) palette->Release();
  palette = p;
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetClipper(IDirectDrawClipper* c) {
  if (c) c->AddRef();
  if (clipper) clipper->Release();
  clipper = c;
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC* desc) {
  if (!desc) return DDERR_INVALIDPARAMS;
  SyncPrimary(this);
  desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  desc->dwWidth = static_cast<DWORD>(width);
  desc->dwHeight = static_cast<DWORD>(height);
  desc->lPitch = pitch * static_cast<LONG>(sizeof(uint32_t));
  desc->lpSurface = nullptr;
  FillFormat(&desc->ddpfPixelFormat);
  desc->ddsCaps.dwCaps = primary ? DDSCAPS_PRIMARYSURFACE : DDSCAPS_OFFSCREENPLAIN;
  return DD_OK;
}

// --- Display object ------------------------------------------------------------------------------

HRESULT IDirectDraw::SetCooperativeLevel(HWND w, DWORD flags) {
  if ((flags & DDSCL_FULLSCREEN) && !(flags & DDSCL_EXCLUSIVE)) return DDERR_INVALIDPARAMS;
  if ((flags & DDSCL_FULLSCREEN) && !w) return DDERR_INVALIDPARAMS;
  window = w;
  cooperativeLevel = flags;
  return DD_OK;
}

HRESULT IDirectDraw::SetDisplayMode(DWORD w, DWORD h, DWORD bits) {
  if (w == 0 || h == 0 || w > MaxSurfaceSide || h > MaxSurfaceSide) return DDERR_INVALIDPARAMS;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPARAMS;
  // The emulated display is always 32 bits per pixel, whatever depth is asked for.
  displayWidth = static_cast<int>(w);
  displayHeight = static_cast<int>(h);
  return DD_OK;
}

HRESULT IDirectDraw::CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void*) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!desc) return DDERR_INVALIDPARAMS;
  const bool isPrimary =
      (desc->dwFlags & DDSD_CAPS) && (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
  if (isPrimary) {
    auto* s = new IDirectDrawSurface;
    s->primary = true;
    s->window = window;
    s->fullScreen = (cooperativeLevel & DDSCL_FULLSCREEN) != 0;
    s->displayWidth = displayWidth;
    s->displayHeight = displayHeight;
    SyncPrimary(s);
    *out = s;
    return DD_OK;
  }
  if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
    return DDERR_INVALIDPARAMS;
  if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > MaxSurfaceSide ||
      desc->dwHeight > MaxSurfaceSide)
    return DDERR_INVALIDPARAMS;
  auto* s = new IDirectDrawSurface;
  s->width = static_cast<int>(desc->dwWidth);
  s->height = static_cast<int>(desc->dwHeight);
  s->pitch = s->width;
  s->pixels.assign(static_cast<size_t>(s->width) * static_cast<size_t>(s->height), 0u);
  *out = s;
  return DD_OK;
}

HRESULT IDirectDraw::CreateClipper(DWORD, IDirectDrawClipper** out, void*) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = new IDirectDrawClipper;
  return DD_OK;
}

HRESULT IDirectDraw::CreatePalette(DWORD flags, const PALETTEENTRY* entries,
                                   IDirectDrawPalette** out, void*) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!(flags & DDPCAPS_8BIT) || !entries) return DDERR_INVALIDPARAMS;
  auto* p = new IDirectDrawPalette;
  std::copy(entries, entries + 256, p->entries);
  *out = p;
  return DD_OK;
}

HRESULT IDirectDraw::QueryInterface(REFIID iid, void** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!(iid == IID_IDirect3D)) return E_NOINTERFACE;
  IDirect3D* d3d = CreateDirect3D(this);
  if (!d3d) return E_NOINTERFACE;
  *out = d3d;
  return DD_OK;
}

HRESULT DirectDrawCreate(GUID*, IDirectDraw** out, void*) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!HeadlessControl::Enabled() && !ActiveWindow()) return DDERR_GENERIC;
  *out = new IDirectDraw;
  return DD_OK;
}
