// The display palette from the colour table of "pal.bmp".
#include <cstdio>

#include "platform/files.h"
#include "render/renderer.h"

namespace {

constexpr size_t FileHeaderSize = 14, InfoHeaderSize = 40, ColourTableSize = 1024;

uint32_t Read32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Read16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The palette used where the file gives no colour: a 6 x 6 x 6 colour cube from black, then 40
// greys up to white.
void DefaultPalette(PALETTEENTRY* entries) {
  int i = 0;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        entries[i++] = {static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51),
                        static_cast<BYTE>(b * 51), 0};
  for (int k = 0; i < 256; ++i, ++k) {
    const auto v = static_cast<BYTE>((k + 1) * 255 / 40);
    entries[i] = {v, v, v, 0};
  }
}

}  // namespace

IDirectDrawPalette* LoadPalette(IDirectDraw* directDraw, const char* fileName) {
  PALETTEENTRY entries[256];
  DefaultPalette(entries);

  // Only what the file really holds is used: a missing, short or malformed file leaves the
  // default colours in every entry it does not give, and one line on stderr says what was wrong.
  unsigned char fileHeader[FileHeaderSize], info[InfoHeaderSize], table[ColourTableSize];
  size_t tableBytes = 0;
  bool haveInfo = false;
  const char* why = nullptr;
  if (std::FILE* file = fileName != nullptr ? OpenRegularFileStream(fileName, &why) : nullptr) {
    if (std::fread(fileHeader, 1, FileHeaderSize, file) == FileHeaderSize &&
        std::fread(info, 1, InfoHeaderSize, file) == InfoHeaderSize) {
      haveInfo = true;
      tableBytes = std::fread(table, 1, ColourTableSize, file);
    } else {
      why = "shorter than a bitmap's headers";
    }
    std::fclose(file);
  }
  if (haveInfo && !(Read32(info + 0) == InfoHeaderSize && Read16(info + 14) <= 8))
    why = "not a bitmap with a colour table (of 8 bits or fewer a pixel)";
  char cutShort[64];
  if (haveInfo && why == nullptr) {
    const uint32_t bits = Read16(info + 14);
    uint32_t count = Read32(info + 32);
    if (count == 0) count = 1u << bits;
    if (count > 256) count = 256;
    const uint32_t available = static_cast<uint32_t>(tableBytes / 4);
    if (count > available) {
      std::snprintf(cutShort, sizeof cutShort, "colour table cut short after %u of %u colours",
                    available, count);
      why = cutShort;
      count = available;
    }
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned char* e = table + i * 4;
      // Blue, green, red, reserved becomes red, green, blue, flags.
      entries[i] = {e[2], e[1], e[0], e[3]};
    }
  }
  if (why != nullptr) std::fprintf(stderr, "gronka: %s: %s\n", fileName, why);

  if (directDraw == nullptr) return nullptr;
  IDirectDrawPalette* palette = nullptr;
  if (FAILED(directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr))) return nullptr;
  return palette;
}
