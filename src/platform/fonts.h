// Fonts for the drawing contexts: faces found through fontconfig and opened with FreeType, their
// sizes, and their glyphs rendered one bit per pixel (no anti-aliasing) and cached.
#pragma once

#include <cstdint>
#include <vector>

namespace fonts {

// Cell heights and widths beyond this are clamped: nothing on a 640 x 480 display needs more,
// and a glyph of absurd size would only waste memory.
constexpr int MaxFontPixels = 1024;
constexpr int DefaultCellHeight = 16;

// One opened font file, shared by every font that uses it.
struct Face;
const char* FileOf(const Face* face);
const char* FamilyOf(const Face* face);

// A requested face: by name, then the proportional Mincho face, then any Japanese serif face, then
// any face at all; null when no font can be found at all. No name asks for the plain sans face.
Face* Resolve(const char* name, bool bold, bool italic);

// What a font object draws with: a face at one size and style.
struct FontSpec {
  Face* face = nullptr;
  int cellHeight = DefaultCellHeight;
  int ascent = DefaultCellHeight;
  int sizeX = 0, sizeY = 0;  // pixels per em across and down
  int averageWidth = 0;
  uint32_t style = 0;  // synthetic bold and italic
};

// A height in the manner of a font request (positive: the cell height; negative: the em; 0: the
// default), a width (0 keeps the face's proportions), a weight (bold from 700) and italic.
FontSpec MakeSpec(Face* face, int height, int width, int weight, bool italic);

struct Glyph {
  int left = 0, top = 0, width = 0, rows = 0, advance = 0;
  std::vector<uint8_t> mask;  // width x rows, 1 where the glyph covers the pixel
};

// The glyph of a code point in that face and size; an empty one when the sizing has no face.
const Glyph& GlyphOf(const FontSpec& sizing, uint32_t codepoint);

// Next code point of a UTF-8 text; malformed sequences give U+FFFD and move on by one byte.
uint32_t NextCodepoint(const unsigned char*& p, const unsigned char* end);

}  // namespace fonts
