// Device contexts on pixel buffers, the objects they draw with (fonts, brushes, pens) and the
// drawing itself: text, filled rectangles, lines and pixels.
#include "platform/gdi.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/fonts.h"

namespace {

using fonts::DefaultCellHeight;
using fonts::FontSpec;
using fonts::MaxFontPixels;

uint32_t PixelOf(COLORREF c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
COLORREF ColourOf(uint32_t p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

}  // namespace

// --- Objects and contexts ------------------------------------------------------------------------

struct GdiObject {
  enum class Kind : uint8_t { Free, Font, Brush, Pen };
  Kind kind = Kind::Free;
  bool stock = false;
  bool deletePending = false;
  int selections = 0;  // device contexts that have it selected
  COLORREF colour = 0;
  int penWidth = 1;
  FontSpec font;
  GdiObject* nextFree = nullptr;
};

struct DeviceContext {
  uint32_t* pixels = nullptr;
  int width = 0, height = 0, pitch = 0;
  POINT origin;
  GdiObject* font = nullptr;
  GdiObject* brush = nullptr;
  GdiObject* pen = nullptr;
  COLORREF textColour = 0, backColour = 0xFFFFFF;
  int backMode = OPAQUE;
  POINT position;
  bool live = false;
  DeviceContext* nextFree = nullptr;
};

namespace {

// Objects and contexts come from pools that only grow: creating and deleting a brush or taking a
// device context for every drawing call allocates nothing once the pools are warm.
struct Pools {
  std::vector<std::unique_ptr<GdiObject[]>> objectChunks;
  GdiObject* freeObjects = nullptr;
  std::vector<std::unique_ptr<DeviceContext[]>> contextChunks;
  DeviceContext* freeContexts = nullptr;
  GdiObject defaultFont, whiteBrush, blackPen;
  bool defaultFontReady = false;
};
constexpr int ChunkSize = 32;

Pools& ThePools() {
  static Pools* pools = [] {
    auto* p = new Pools;
    p->defaultFont.kind = GdiObject::Kind::Font;
    p->whiteBrush.kind = GdiObject::Kind::Brush;
    p->whiteBrush.colour = 0xFFFFFF;
    p->blackPen.kind = GdiObject::Kind::Pen;
    p->blackPen.colour = 0;
    for (GdiObject* o : {&p->defaultFont, &p->whiteBrush, &p->blackPen}) o->stock = true;
    return p;
  }();
  return *pools;
}

GdiObject* DefaultFont() {
  Pools& p = ThePools();
  if (!p.defaultFontReady) {
    p.defaultFont.font = fonts::MakeSpec(fonts::Resolve(nullptr, false, false), DefaultCellHeight,
                                         0, FW_NORMAL, false);
    p.defaultFontReady = true;
  }
  return &p.defaultFont;
}

GdiObject* NewObject(GdiObject::Kind kind) {
  Pools& p = ThePools();
  if (!p.freeObjects) {
    p.objectChunks.push_back(std::make_unique<GdiObject[]>(ChunkSize));
    GdiObject* chunk = p.objectChunks.back().get();
    for (int i = 0; i < ChunkSize; ++i) {
      chunk[i].nextFree = p.freeObjects;
      p.freeObjects = &chunk[i];
    }
  }
  GdiObject* o = p.freeObjects;
  p.freeObjects = o->nextFree;
  *o = GdiObject{};
  o->kind = kind;
  return o;
}

void FreeObject(GdiObject* o) {
  Pools& p = ThePools();
  o->kind = GdiObject::Kind::Free;
  o->nextFree = p.freeObjects;
  p.freeObjects = o;
}

bool Live(const GdiObject* o) {
  return o && o->kind != GdiObject::Kind::Free;
}
bool Live(const DeviceContext* dc) {
  return dc && dc->live;
}

void Deselect(GdiObject* o) {
  if (!o || o->stock) return;
  if (--o->selections == 0 && o->deletePending) FreeObject(o);
}

GdiObject*& SlotOf(DeviceContext* dc, GdiObject::Kind kind) {
  switch (kind) {
    case GdiObject::Kind::Font:
      return dc->font;
    case GdiObject::Kind::Brush:
      return dc->brush;
    default:
      return dc->pen;
  }
}

// Fills the rectangle [x0, x1) x [y0, y1) of the context's coordinates, clipped to the buffer.
void FillBox(DeviceContext* dc, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t pixel) {
  x0 = std::max<int64_t>(x0 - dc->origin.x, 0);
  x1 = std::min<int64_t>(x1 - dc->origin.x, dc->width);
  y0 = std::max<int64_t>(y0 - dc->origin.y, 0);
  y1 = std::min<int64_t>(y1 - dc->origin.y, dc->height);
  if (x0 >= x1 || y0 >= y1) return;
  for (int64_t y = y0; y < y1; ++y) {
    uint32_t* row = dc->pixels + y * dc->pitch;
    std::fill(row + x0, row + x1, pixel);
  }
}

const FontSpec& SpecOf(DeviceContext* dc) {
  if (!dc->font) dc->font = DefaultFont();
  return dc->font->font;
}

int64_t MeasureText(const FontSpec& sizing, const char* text, int length) {
  if (!sizing.face) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* end = p + length;
  int64_t width = 0;
  while (p < end) width += fonts::GlyphOf(sizing, fonts::NextCodepoint(p, end)).advance;
  return width;
}

}  // namespace

HDC CreateBufferDC(uint32_t* pixels, int width, int height, int pitch, POINT origin) {
  Pools& p = ThePools();
  if (!p.freeContexts) {
    p.contextChunks.push_back(std::make_unique<DeviceContext[]>(ChunkSize));
    DeviceContext* chunk = p.contextChunks.back().get();
    for (int i = 0; i < ChunkSize; ++i) {
      chunk[i].nextFree = p.freeContexts;
      p.freeContexts = &chunk[i];
    }
  }
  DeviceContext* dc = p.freeContexts;
  p.freeContexts = dc->nextFree;
  *dc = DeviceContext{};
  const bool usable = pixels && width > 0 && height > 0 && pitch >= width;
  dc->pixels = usable ? pixels : nullptr;
  dc->width = usable ? width : 0;
  dc->height = usable ? height : 0;
  dc->pitch = usable ? pitch : 0;
  dc->origin = origin;
  dc->font = DefaultFont();
  dc->brush = &p.whiteBrush;
  dc->pen = &p.blackPen;
  dc->live = true;
  return dc;
}

void DeleteBufferDC(HDC dc) {
  if (!Live(dc)) return;
  Deselect(dc->font);
  Deselect(dc->brush);
  Deselect(dc->pen);
  dc->live = false;
  Pools& p = ThePools();
  dc->nextFree = p.freeContexts;
  p.freeContexts = dc;
}

HDC GetDC(HWND) {
  return CreateBufferDC(nullptr, 0, 0, 0, POINT{});
}

int ReleaseDC(HWND, HDC dc) {
  if (!Live(dc)) return 0;
  DeleteBufferDC(dc);
  return 1;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!Live(dc)) return 0;
  constexpr int Planes = 14;
  if (index == BITSPIXEL) return 32;
  if (index == Planes) return 1;
  return 0;
}

HFONT CreateFontA(int height, int width, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD,
                  DWORD, DWORD, DWORD, DWORD, const char* faceName) {
  const bool bold = weight >= FW_BOLD;
  // An empty name asks for the default face; anything else goes through the fallbacks.
  fonts::Face* face = fonts::Resolve(faceName, bold, italic != 0);
  GdiObject* font = NewObject(GdiObject::Kind::Font);
  font->font = fonts::MakeSpec(face, height, width, weight, italic != 0);
  return font;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  GdiObject* brush = NewObject(GdiObject::Kind::Brush);
  brush->colour = colour & 0xFFFFFFu;
  return brush;
}

HPEN CreatePen(int style, int width, COLORREF colour) {
  if (style != PS_SOLID) return nullptr;
  GdiObject* pen = NewObject(GdiObject::Kind::Pen);
  pen->colour = colour & 0xFFFFFFu;
  pen->penWidth = std::clamp(width, 1, MaxFontPixels);
  return pen;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!Live(dc) || !Live(object)) return nullptr;
  GdiObject*& slot = SlotOf(dc, object->kind);
  GdiObject* previous = slot;
  if (previous == object) return previous;
  if (!object->stock) ++object->selections;
  slot = object;
  Deselect(previous);
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!Live(object) || object->stock || object->deletePending) return FALSE;
  // An object still selected somewhere goes when the last context lets it go.
  if (object->selections > 0) {
    object->deletePending = true;
    return TRUE;
  }
  FreeObject(object);
  return TRUE;
}

int SetBkMode(HDC dc, int mode) {
  if (!Live(dc) || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->backMode, mode);
}
int GetBkMode(HDC dc) {
  return Live(dc) ? dc->backMode : 0;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
  if (!Live(dc)) return CLR_INVALID;
  return std::exchange(dc->textColour, colour & 0xFFFFFFu);
}
COLORREF GetTextColor(HDC dc) {
  return Live(dc) ? dc->textColour : CLR_INVALID;
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
  if (!Live(dc)) return CLR_INVALID;
  return std::exchange(dc->backColour, colour & 0xFFFFFFu);
}
COLORREF GetBkColor(HDC dc) {
  return Live(dc) ? dc->backColour : CLR_INVALID;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
  if (!Live(dc)) return nullptr;
  if (type == OBJ_FONT) return dc->font;
  if (type == OBJ_BRUSH) return dc->brush;
  if (type == OBJ_PEN) return dc->pen;
  return nullptr;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  if (!Live(dc) || !metrics) return FALSE;
  const FontSpec& sizing = SpecOf(dc);
  metrics->tmHeight = sizing.cellHeight;
  metrics->tmAscent = sizing.ascent;
  metrics->tmDescent = sizing.cellHeight - sizing.ascent;
  metrics->tmAveCharWidth = sizing.averageWidth;
  return TRUE;
}

const char* FontFileOf(HFONT font) {
  if (!Live(font) || font->kind != GdiObject::Kind::Font) return "";
  if (font == &ThePools().defaultFont) DefaultFont();
  return font->font.face ? fonts::FileOf(font->font.face) : "";
}

const char* FontFamilyOf(HFONT font) {
  if (!Live(font) || font->kind != GdiObject::Kind::Font) return "";
  if (font == &ThePools().defaultFont) DefaultFont();
  return font->font.face ? fonts::FamilyOf(font->font.face) : "";
}

BOOL TextOutA(HDC dc, int x, int y, const char* text, int length) {
  if (!Live(dc) || length < 0 || (!text && length > 0)) return FALSE;
  const FontSpec& sizing = SpecOf(dc);
  if (dc->backMode == OPAQUE) {
    const int64_t width = MeasureText(sizing, text, length);
    FillBox(dc, x, y, x + width, int64_t{y} + sizing.cellHeight, PixelOf(dc->backColour));
  }
  if (!sizing.face || !dc->pixels) return TRUE;
  const uint32_t pixel = PixelOf(dc->textColour);
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* end = p + length;
  // Pen position and baseline in buffer coordinates.
  int64_t pen = int64_t{x} - dc->origin.x;
  const int64_t baseline = int64_t{y} - dc->origin.y + sizing.ascent;
  while (p < end) {
    const fonts::Glyph& g = fonts::GlyphOf(sizing, fonts::NextCodepoint(p, end));
    const int64_t left = pen + g.left, top = baseline - g.top;
    const int64_t x0 = std::max<int64_t>(0, -left),
                  x1 = std::min<int64_t>(g.width, dc->width - left);
    const int64_t y0 = std::max<int64_t>(0, -top), y1 = std::min<int64_t>(g.rows, dc->height - top);
    for (int64_t gy = y0; gy < y1; ++gy) {
      const uint8_t* maskRow = g.mask.data() + gy * g.width;
      uint32_t* row = dc->pixels + (top + gy) * dc->pitch + left;
      for (int64_t gx = x0; gx < x1; ++gx)
        if (maskRow[gx]) row[gx] = pixel;
    }
    pen += g.advance;
  }
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size) {
  if (!Live(dc) || !size || length < 0 || (!text && length > 0)) return FALSE;
  const FontSpec& sizing = SpecOf(dc);
  const int64_t width = MeasureText(sizing, text, length);
  size->cx = static_cast<LONG>(std::min<int64_t>(width, INT32_MAX));
  size->cy = sizing.cellHeight;
  return TRUE;
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (!Live(dc) || rop != PATCOPY) return FALSE;
  int64_t x0 = x, y0 = y, x1 = int64_t{x} + width, y1 = int64_t{y} + height;
  if (x1 < x0) std::swap(x0, x1);
  if (y1 < y0) std::swap(y0, y1);
  FillBox(dc, x0, y0, x1, y1, PixelOf(dc->brush->colour));
  return TRUE;
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  if (!Live(dc)) return FALSE;
  if (previous) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  if (!Live(dc)) return FALSE;
  const POINT from = dc->position;
  dc->position = POINT{x, y};
  const int64_t dx = int64_t{x} - from.x, dy = int64_t{y} - from.y;
  const int64_t steps = std::max(std::abs(dx), std::abs(dy));
  if (steps == 0 || !dc->pixels) return TRUE;
  const uint32_t pixel = PixelOf(dc->pen->colour);
  const int width = dc->pen->penWidth;
  // A wide pen draws a width x width square centred on every point of the thin line.
  const int64_t before = width / 2, after = width - 1 - width / 2;
  const bool xMajor = std::abs(dx) >= std::abs(dy);
  const int64_t majorStart = (xMajor ? from.x - dc->origin.x : from.y - dc->origin.y);
  const int64_t minorStart = (xMajor ? from.y - dc->origin.y : from.x - dc->origin.x);
  const int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t majorLimit = xMajor ? dc->width : dc->height;
  const int64_t minorLimit = xMajor ? dc->height : dc->width;
  // Only the steps whose square can touch the buffer along the major axis are walked, so a line
  // from far outside costs no more than one across the buffer.
  int64_t first = 0, last = steps - 1;
  if (majorStep > 0) {
    first = std::max<int64_t>(first, -after - majorStart);
    last = std::min<int64_t>(last, majorLimit - 1 + before - majorStart);
  } else {
    first = std::max<int64_t>(first, majorStart - (majorLimit - 1) - before);
    last = std::min<int64_t>(last, majorStart + after);
  }
  const __int128 twiceSteps = 2 * static_cast<__int128>(steps);
  for (int64_t i = first; i <= last; ++i) {
    const int64_t major = majorStart + majorStep * i;
    // The minor coordinate rounded to the nearest pixel, exactly.
    const __int128 scaled = 2 * static_cast<__int128>(i) * std::abs(minorDelta) + steps;
    const int64_t offset = static_cast<int64_t>(scaled / twiceSteps);
    const int64_t minor = minorStart + (minorDelta < 0 ? -offset : offset);
    const int64_t majorLo = std::max<int64_t>(major - before, 0);
    const int64_t majorHi = std::min<int64_t>(major + after, majorLimit - 1);
    const int64_t minorLo = std::max<int64_t>(minor - before, 0);
    const int64_t minorHi = std::min<int64_t>(minor + after, minorLimit - 1);
    for (int64_t a = majorLo; a <= majorHi; ++a)
      for (int64_t b = minorLo; b <= minorHi; ++b) {
        const int64_t px = xMajor ? a : b, py = xMajor ? b : a;
        dc->pixels[py * dc->pitch + px] = pixel;
      }
  }
  return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  if (!Live(dc)) return CLR_INVALID;
  const int64_t bx = int64_t{x} - dc->origin.x, by = int64_t{y} - dc->origin.y;
  if (bx < 0 || by < 0 || bx >= dc->width || by >= dc->height) return CLR_INVALID;
  return ColourOf(dc->pixels[by * dc->pitch + bx]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
  if (!Live(dc)) return CLR_INVALID;
  const int64_t bx = int64_t{x} - dc->origin.x, by = int64_t{y} - dc->origin.y;
  if (bx < 0 || by < 0 || bx >= dc->width || by >= dc->height) return CLR_INVALID;
  dc->pixels[by * dc->pitch + bx] = PixelOf(colour);
  return colour & 0xFFFFFFu;
}
