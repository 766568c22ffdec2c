// The display palette read from a bitmap file of any content. Whatever the file holds, the palette
// is made, and each of its entries is either the file's colour for that index or the colour used
// where the file gives none, the file's colours forming an unbroken run from index 0; a
// well-formed 8-bit bitmap gives all 256 of its colours.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "platform/ddraw.h"
#include "platform/win.h"
#include "render/renderer.h"

namespace {

constexpr size_t TableOffset = 14 + 40;

struct Context {
  IDirectDraw* directDraw = nullptr;
  std::string path;
  PALETTEENTRY fallback[256];
  long liveObjects = 0;
};

bool Same(const PALETTEENTRY& a, const PALETTEENTRY& b) {
  return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue &&
         a.peFlags == b.peFlags;
}

// Colour `index` of the file's table, when the file is long enough to hold it.
bool FileColour(const uint8_t* data, size_t size, size_t index, PALETTEENTRY& out) {
  const size_t at = TableOffset + index * 4;
  if (size < at + 4) return false;
  out = {data[at + 2], data[at + 1], data[at], data[at + 3]};
  return true;
}

uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

Context& TheContext() {
  static Context* context = [] {
    auto* c = new Context;
    HeadlessControl::Enable();
    FUZZ_CHECK(DirectDrawCreate(nullptr, &c->directDraw, nullptr) == DD_OK);
    c->path = fuzz::ScratchDirectory() + "/pal.bmp";
    // The colours used where there is no file at all.
    IDirectDrawPalette* palette = LoadPalette(c->directDraw, (c->path + ".missing").c_str());
    FUZZ_CHECK(palette != nullptr);
    FUZZ_CHECK(palette->GetEntries(0, 0, 256, c->fallback) == DD_OK);
    palette->Release();
    c->liveObjects = RefCounted::LiveObjectCount();
    return c;
  }();
  return *context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Context& c = TheContext();
  fuzz::WriteFile(c.path, data, size);
  IDirectDrawPalette* palette = LoadPalette(c.directDraw, c.path.c_str());
  FUZZ_CHECK(palette != nullptr);
  PALETTEENTRY entries[256];
  FUZZ_CHECK(palette->GetEntries(0, 0, 256, entries) == DD_OK);
  palette->Release();
  FUZZ_CHECK(RefCounted::LiveObjectCount() == c.liveObjects);

  // The file's colours run from index 0 up to some index; the rest are the fallback colours.
  size_t fromFile = 0;
  PALETTEENTRY colour;
  while (fromFile < 256 && FileColour(data, size, fromFile, colour) &&
         Same(entries[fromFile], colour))
    ++fromFile;
  for (size_t i = fromFile; i < 256; ++i) FUZZ_CHECK(Same(entries[i], c.fallback[i]));

  // A well-formed 8-bit bitmap ("BM", a 40-byte information header, 8 bits per pixel, all 256
  // colours used, the count given as 0 or 256) with its whole colour table.
  if (size >= TableOffset + 1024 && data[0] == 'B' && data[1] == 'M' && Get32(data + 14) == 40 &&
      data[28] == 8 && data[29] == 0 && (Get32(data + 46) == 0 || Get32(data + 46) == 256))
    FUZZ_CHECK(fromFile == 256);
  return 0;
}
