#include "platform/gdi.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include "platform/files.h"

namespace {

// Cell heights and widths beyond this are clamped: nothing on a 640 x 480 display needs more,
// and a glyph of absurd size would only waste memory.
constexpr int MaxFontPixels = 1024;
constexpr int DefaultCellHeight = 16;
// Rendered glyphs kept at most; the cache is emptied when it is full.
constexpr size_t MaxCachedGlyphs = 4096;

uint32_t PixelOf(COLORREF c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
COLORREF ColourOf(uint32_t p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

// --- Faces ---------------------------------------------------------------------------------------

// One opened font file, shared by every font object that uses it.
struct Face {
  std::string file;
  std::string family;
  FT_Face face = nullptr;
  int unitsPerEm = 0;
  int ascent = 0, descent = 0;  // design units, the cell above and below the baseline
  int averageWidth = 0;         // design units; 0 when the face does not say
  bool bold = false, italic = false;
  // The size the FreeType face is set to now.
  int sizeX = 0, sizeY = 0;
};

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Glyph {
  int left = 0, top = 0, width = 0, rows = 0, advance = 0;
  std::vector<uint8_t> mask;  // width x rows, 1 where the glyph covers the pixel
};

struct GlyphKey {
  const Face* face;
  int sizeX, sizeY;
  uint32_t style;
  uint32_t codepoint;
  bool operator==(const GlyphKey&) const = default;
};
struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const {
    size_t h = std::hash<const void*>{}(k.face);
    for (uint64_t v :
         {uint64_t(k.sizeX), uint64_t(k.sizeY), uint64_t(k.style), uint64_t(k.codepoint)})
      h = h * 1000003u ^ std::hash<uint64_t>{}(v);
    return h;
  }
};

constexpr uint32_t StyleBold = 1, StyleItalic = 2;

struct FontSystem {
  bool fontconfigReady = false;
  FT_Library library = nullptr;
  // Opened files by "path\n index".
  std::unordered_map<std::string, std::unique_ptr<Face>, StringHash, std::equal_to<>> files;
  // Resolved requests by "name\n bold italic"; a null entry remembers that nothing was found.
  std::unordered_map<std::string, Face*, StringHash, std::equal_to<>> lookups;
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs;
  Glyph empty;
  std::string lookupKey;  // reused to build lookup keys
};

// Never destroyed: surfaces owned by objects of static storage may still hand back device
// contexts while the process exits.
FontSystem& Fonts() {
  static FontSystem* system = [] {
    auto* s = new FontSystem;
    s->fontconfigReady = FcInit() == FcTrue;
    // Fontconfig keeps parts of its configuration where leak checkers cannot see them; letting
    // it go at exit keeps those checkers quiet. Nothing here holds fontconfig objects past a
    // lookup, and a lookup after this would simply load the configuration again.
    if (s->fontconfigReady) std::atexit(FcFini);
    if (FT_Init_FreeType(&s->library) != 0) s->library = nullptr;
    return s;
  }();
  return *system;
}

Face* OpenFace(const char* file, int index) {
  FontSystem& fs = Fonts();
  if (!fs.library || !file || !*file) return nullptr;
  std::string key = std::string(file) + "\n" + std::to_string(index);
  auto found = fs.files.find(key);
  if (found != fs.files.end()) return found->second.get();
  auto face = std::make_unique<Face>();
  // FreeType opens the file itself, with a blocking open(): a font path that names a pipe or a
  // device is turned away first.
  const int probe = OpenRegularFile(file);
  if (probe < 0 || FT_New_Face(fs.library, file, index, &face->face) != 0) face->face = nullptr;
  if (probe >= 0) close(probe);
  if (face->face && !(face->face->face_flags & FT_FACE_FLAG_SCALABLE)) {
    FT_Done_Face(face->face);
    face->face = nullptr;
  }
  Face* result = nullptr;
  if (face->face) {
    FT_Face f = face->face;
    face->file = file;
    face->family = f->family_name ? f->family_name : "";
    face->unitsPerEm = f->units_per_EM > 0 ? f->units_per_EM : 1000;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      face->ascent = os2->usWinAscent;
      face->descent = os2->usWinDescent;
      face->averageWidth = std::max<int>(0, os2->xAvgCharWidth);
    } else if (f->ascender - f->descender > 0) {
      face->ascent = f->ascender;
      face->descent = -f->descender;
    } else {
      face->ascent = face->unitsPerEm * 4 / 5;
      face->descent = face->unitsPerEm - face->ascent;
    }
    face->bold = (f->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    face->italic = (f->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    result = face.get();
  }
  // Files that cannot be opened are remembered too, as null faces.
  fs.files.emplace(std::move(key), result ? std::move(face) : nullptr);
  return result;
}

bool HasFamily(FcPattern* font, const char* family) {
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i)
    if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0) return true;
  return false;
}

bool HasLanguage(FcPattern* font, const char* lang) {
  FcLangSet* langs = nullptr;
  if (FcPatternGetLangSet(font, FC_LANG, 0, &langs) != FcResultMatch || !langs) return false;
  FcLangResult r = FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>(lang));
  return r == FcLangEqual || r == FcLangDifferentTerritory;
}

Face* FaceOfPattern(FcPattern* font) {
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return nullptr;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  return OpenFace(reinterpret_cast<const char*>(file), index);
}

// Asks fontconfig for its best match. With `family` set and `exact`, the match must carry that
// family name (fontconfig otherwise answers every request with something); with `lang` set, it
// must cover that language.
Face* Match(const char* family, bool exact, const char* lang, bool bold, bool italic) {
  if (!Fonts().fontconfigReady) return nullptr;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  if (family && *family)
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  if (lang) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* font = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  Face* face = nullptr;
  if (font) {
    bool ok = true;
    if (exact && family && !HasFamily(font, family)) ok = false;
    if (lang && !HasLanguage(font, lang)) ok = false;
    if (ok) face = FaceOfPattern(font);
    FcPatternDestroy(font);
  }
  return face;
}

// The last resort: any scalable font that FreeType can open.
Face* AnyFace() {
  if (Face* face = Match(nullptr, false, nullptr, false, false)) return face;
  if (!Fonts().fontconfigReady) return nullptr;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
  FcFontSet* set = (pattern && objects) ? FcFontList(nullptr, pattern, objects) : nullptr;
  Face* face = nullptr;
  for (int i = 0; set && i < set->nfont && !face; ++i) face = FaceOfPattern(set->fonts[i]);
  if (set) FcFontSetDestroy(set);
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  return face;
}

// A requested face: by name, then the proportional Mincho face, then any Japanese serif face, then
// any face at all. No name asks for the plain sans face of a fresh context, which should also be
// able to show Japanese.
Face* Resolve(const char* name, bool bold, bool italic) {
  FontSystem& fs = Fonts();
  std::string& key = fs.lookupKey;
  key.assign(name ? name : "");
  key += '\n';
  key += bold ? 'b' : '-';
  key += italic ? 'i' : '-';
  auto found = fs.lookups.find(std::string_view(key));
  if (found != fs.lookups.end()) return found->second;

  Face* face = nullptr;
  if (!name || !*name) {
    // Showing the text matters more than the sans style: any Japanese face before a sans face
    // that cannot show the loading notice.
    face = Match("sans-serif", false, "ja", bold, italic);
    if (!face) face = Match("serif", false, "ja", bold, italic);
    if (!face) face = Match("sans-serif", false, nullptr, bold, italic);
  } else {
    face = Match(name, true, nullptr, bold, italic);
    if (!face) face = Match("IPAPMincho", true, nullptr, bold, italic);
    if (!face) face = Match("serif", false, "ja", bold, italic);
  }
  if (!face) face = AnyFace();
  fs.lookups.emplace(key, face);
  return face;
}

// --- Glyphs --------------------------------------------------------------------------------------

// What a font object draws with: a face at one size and style.
struct FontSpec {
  Face* face = nullptr;
  int cellHeight = DefaultCellHeight;
  int ascent = DefaultCellHeight;
  int sizeX = 0, sizeY = 0;  // pixels per em across and down
  int averageWidth = 0;
  uint32_t style = 0;  // synthetic bold and italic
};

FontSpec MakeSpec(Face* face, int height, int width, int weight, bool italic) {
  FontSpec sizing;
  sizing.face = face;
  height = std::clamp(height, -MaxFontPixels, MaxFontPixels);
  width = std::min(std::abs(std::clamp(width, -MaxFontPixels, MaxFontPixels)), MaxFontPixels);
  if (!face) {
    sizing.cellHeight = height == 0 ? DefaultCellHeight : std::abs(height);
    sizing.ascent = sizing.cellHeight;
    return sizing;
  }
  const double upem = face->unitsPerEm;
  const double cellUnits = face->ascent + face->descent;
  double em;
  if (height > 0) {
    sizing.cellHeight = height;
    em = height * upem / cellUnits;
  } else if (height < 0) {
    em = -height;
    sizing.cellHeight = std::max(1, static_cast<int>(std::lround(em * cellUnits / upem)));
  } else {
    sizing.cellHeight = DefaultCellHeight;
    em = DefaultCellHeight * upem / cellUnits;
  }
  sizing.sizeY = std::clamp(static_cast<int>(std::lround(em)), 1, MaxFontPixels);
  if (width > 0) {
    // The face's average character width at this size becomes `width`.
    const double average = face->averageWidth > 0 ? face->averageWidth : upem / 2;
    sizing.sizeX =
        std::clamp(static_cast<int>(std::lround(width * upem / average)), 1, 4 * MaxFontPixels);
    sizing.averageWidth = width;
  } else {
    sizing.sizeX = sizing.sizeY;
    const double average = face->averageWidth > 0 ? face->averageWidth : upem / 2;
    sizing.averageWidth = static_cast<int>(std::lround(average * sizing.sizeX / upem));
  }
  sizing.ascent = std::clamp(static_cast<int>(std::lround(face->ascent * sizing.sizeY / upem)), 0,
                             sizing.cellHeight);
  if (weight >= FW_BOLD && !face->bold) sizing.style |= StyleBold;
  if (italic && !face->italic) sizing.style |= StyleItalic;
  return sizing;
}

const Glyph& GlyphOf(const FontSpec& sizing, uint32_t codepoint) {
  FontSystem& fs = Fonts();
  if (!sizing.face) return fs.empty;
  const GlyphKey key{sizing.face, sizing.sizeX, sizing.sizeY, sizing.style, codepoint};
  auto found = fs.glyphs.find(key);
  if (found != fs.glyphs.end()) return found->second;
  if (fs.glyphs.size() >= MaxCachedGlyphs) fs.glyphs.clear();

  Glyph glyph;
  Face& face = *sizing.face;
  FT_Face f = face.face;
  if (face.sizeX != sizing.sizeX || face.sizeY != sizing.sizeY) {
    if (FT_Set_Pixel_Sizes(f, static_cast<FT_UInt>(sizing.sizeX),
                           static_cast<FT_UInt>(sizing.sizeY)) == 0) {
      face.sizeX = sizing.sizeX;
      face.sizeY = sizing.sizeY;
    } else {
      face.sizeX = face.sizeY = 0;
    }
  }
  // One bit per pixel, hinted for it: no edge is ever blended with what lies behind the text.
  if (face.sizeX != 0 && FT_Load_Glyph(f, FT_Get_Char_Index(f, codepoint),
                                       FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) == 0) {
    FT_GlyphSlot slot = f->glyph;
    if (sizing.style & StyleItalic) FT_GlyphSlot_Oblique(slot);
    if (sizing.style & StyleBold) FT_GlyphSlot_Embolden(slot);
    glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0 &&
        slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
      const FT_Bitmap& bm = slot->bitmap;
      glyph.left = slot->bitmap_left;
      glyph.top = slot->bitmap_top;
      glyph.width = static_cast<int>(bm.width);
      glyph.rows = static_cast<int>(bm.rows);
      glyph.mask.assign(static_cast<size_t>(glyph.width) * glyph.rows, 0);
      for (int y = 0; y < glyph.rows; ++y) {
        const unsigned char* row =
            bm.pitch >= 0 ? bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch
                          : bm.buffer + static_cast<ptrdiff_t>(glyph.rows - 1 - y) * -bm.pitch;
        for (int x = 0; x < glyph.width; ++x)
          glyph.mask[static_cast<size_t>(y) * glyph.width + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      }
    }
  }
  return fs.glyphs.emplace(key, std::move(glyph)).first->second;
}

// Next code point of a UTF-8 text; malformed sequences give U+FFFD and move on by one byte.
uint32_t NextCodepoint(const unsigned char*& p, const unsigned char* end) {
  const unsigned char c = *p++;
  if (c < 0x80) return c;
  int extra;
  uint32_t cp, min;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return 0xFFFD;
  }
  if (end - p < extra) return 0xFFFD;
  for (int i = 0; i < extra; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0xFFFD;
  for (int i = 0; i < extra; ++i) cp = (cp << 6) | (p[i] & 0x3F);
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  p += extra;
  return cp;
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
    p.defaultFont.font =
        MakeSpec(Resolve(nullptr, false, false), DefaultCellHeight, 0, FW_NORMAL, false);
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
  while (p < end) width += GlyphOf(sizing, NextCodepoint(p, end)).advance;
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
  Face* face = Resolve(faceName, bold, italic != 0);
  GdiObject* font = NewObject(GdiObject::Kind::Font);
  font->font = MakeSpec(face, height, width, weight, italic != 0);
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
  return font->font.face ? font->font.face->file.c_str() : "";
}

const char* FontFamilyOf(HFONT font) {
  if (!Live(font) || font->kind != GdiObject::Kind::Font) return "";
  if (font == &ThePools().defaultFont) DefaultFont();
  return font->font.face ? font->font.face->family.c_str() : "";
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
    const Glyph& g = GlyphOf(sizing, NextCodepoint(p, end));
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
