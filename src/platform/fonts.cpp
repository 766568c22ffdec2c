// Fonts: fontconfig finds the faces, FreeType opens and renders them.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include "platform/files.h"
#include "platform/gdi.h"

namespace fonts {

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

const char* FileOf(const Face* face) {
  return face->file.c_str();
}
const char* FamilyOf(const Face* face) {
  return face->family.c_str();
}

namespace {

// The face the game's texts are drawn in, and the package that brings it.
constexpr const char* PreferredFamily = "IPAPMincho";
constexpr const char* PreferredPackage = "fonts-ipafont-mincho";

// Rendered glyphs kept at most; the cache is emptied when it is full.
constexpr size_t MaxCachedGlyphs = 4096;

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
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

// Faces whose letters are not ordinary text (formula, symbol and picture faces): a stand-in only
// when nothing else is there.
bool IsOddFace(const Face* face) {
  static constexpr const char* odd[] = {"math", "symbol", "emoji", "dingbat", "wingding", "icon"};
  std::string family = face->family;
  for (char& c : family) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : odd)
    if (family.find(word) != std::string::npos) return true;
  return false;
}

// The first face of `names` that is installed.
Face* FirstOf(std::initializer_list<const char*> names, bool bold, bool italic) {
  for (const char* name : names)
    if (Face* face = Match(name, true, nullptr, bold, italic)) return face;
  return nullptr;
}

// The last resort: any scalable font that FreeType can open, an ordinary text face before an odd
// one.
Face* AnyFace() {
  Face* face = Match(nullptr, false, nullptr, false, false);
  if (face && !IsOddFace(face)) return face;
  if (!Fonts().fontconfigReady) return face;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
  FcFontSet* set = (pattern && objects) ? FcFontList(nullptr, pattern, objects) : nullptr;
  Face* odd = face;
  for (int i = 0; set && i < set->nfont; ++i) {
    Face* candidate = FaceOfPattern(set->fonts[i]);
    if (!candidate) continue;
    if (!IsOddFace(candidate)) {
      odd = candidate;
      break;
    }
    if (!odd) odd = candidate;
  }
  if (set) FcFontSetDestroy(set);
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  return odd;
}

// Says once on stderr which face stands in for the game's own, or that no face was found.
void ReportStandIn(const Face* face) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  if (!face)
    std::fprintf(stderr, "%s: no font found: texts will not be shown (install %s)\n",
                 program_invocation_short_name, PreferredPackage);
  else
    std::fprintf(stderr, "%s: the font %s is missing (install %s): %s stands in\n",
                 program_invocation_short_name, PreferredFamily, PreferredPackage,
                 face->family.c_str());
}

}  // namespace

// A requested face: by name, then the proportional Mincho face, then any Japanese serif face, then
// faces of other families that read well, then any face at all. No name asks for the plain sans
// face of a fresh context, which should also be able to show Japanese.
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
    if (!face)
      face = FirstOf({"DejaVu Sans", "Liberation Sans", "Noto Sans", "FreeSans"}, bold, italic);
    if (!face) face = Match("sans-serif", false, nullptr, bold, italic);
    if (face && IsOddFace(face)) face = nullptr;
    if (!face) face = AnyFace();
  } else {
    face = Match(name, true, nullptr, bold, italic);
    if (!face) face = Match(PreferredFamily, true, nullptr, bold, italic);
    if (!face) {
      face = Match("serif", false, "ja", bold, italic);
      if (!face)
        face = FirstOf({"IPAMincho", "IPAexMincho", "Noto Serif CJK JP", "DejaVu Serif",
                        "Liberation Serif", "Noto Serif", "FreeSerif"},
                       bold, italic);
      if (face && IsOddFace(face)) face = nullptr;
      if (!face) face = AnyFace();
      ReportStandIn(face);
    }
  }
  fs.lookups.emplace(key, face);
  return face;
}

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

}  // namespace fonts
