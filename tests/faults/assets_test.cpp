// The whole program without its models, with damaged models, and without its palette: it starts,
// the models that cannot be read stay empty, matches run without them and the palette falls back to
// the default colours.
#include <gtest/gtest.h>

#include "soak/soak.h"

namespace fs = std::filesystem;

namespace {

using game::FileBytes;
using game::WriteFile;

// Plays the program with the soak driver's keys, every frame of play checked.
soak::Report Play(long frames) {
  soak::Settings settings;
  settings.seed = 7;
  settings.frames = frames;
  settings.escape = 1.0 / 400;
  settings.config = 0.3;
  soak::Report report = soak::Run(settings);
  soak::Print(report, stdout);
  EXPECT_EQ(report.problems.count, 0);
  EXPECT_EQ(report.framesOfPlay, frames);
  return report;
}

// The palette the program shows, read once the title menu is up.
std::vector<PALETTEENTRY> Palette() {
  std::vector<PALETTEENTRY> entries;
  game::MenuPlayer player(game::MenuPlayer::Quit(), [&] {
    IDirectDrawPalette* palette = Renderer.primarySurface->palette;
    if (palette != nullptr) entries.assign(palette->entries, palette->entries + 256);
  });
  EXPECT_EQ(game::Run(std::ref(player)), 1);
  game::Release();
  return entries;
}

int Differing(const std::vector<PALETTEENTRY>& a, const std::vector<PALETTEENTRY>& b, int from) {
  int n = 0;
  for (size_t i = from; i < a.size() && i < b.size(); ++i)
    n += a[i].peRed != b[i].peRed || a[i].peGreen != b[i].peGreen || a[i].peBlue != b[i].peBlue;
  return n + int(a.size() != b.size());
}

TEST(AssetFaults, DamagedOrMissingModelsStayEmptyAndTheGameGoesOn) {
  game::WorkDirectory work(true);
  const std::string craft = FileBytes("data/my.x");
  WriteFile("data/my.x", craft.substr(0, craft.size() / 2));              // cut in the middle
  WriteFile("data/beam.x", "");                                           // empty
  WriteFile("data/die.x", "xof 0302txt 0032\nMesh {\n 3;\n 0.0;0.0;\n");  // cut in a vertex
  std::string noise;
  for (int i = 0; i < 3000; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
  WriteFile("data/items.x", "xof 0302txt 0032\n" + noise);
  fs::remove("data/speed.x");
  soak::Report report = Play(2000);
  // One bit per model in the order of loading: my.x, zimen.x, beam.x, shadow.x, ts.x, speed.x,
  // power.x, grip.x, items.x, die.x.
  EXPECT_EQ(report.missingModels, 1u << 0 | 1u << 2 | 1u << 5 | 1u << 8 | 1u << 9);
  EXPECT_GE(report.destroyed, 1) << "no craft fell to pieces without the debris model";

  fs::remove_all("data");
  report = Play(1000);
  EXPECT_EQ(report.missingModels, (1u << 10) - 1);
  EXPECT_TRUE(fs::exists("pal.bmp")) << "the working directory is where it was";
}

// The loader's treatment of damaged bitmaps is the palette test's; here the program shows the
// file's colours, and the default ones where there is none.
TEST(AssetFaults, AMissingPaletteFallsBackToTheDefaultColours) {
  game::WorkDirectory work(true);
  const std::vector<PALETTEENTRY> ours = Palette();
  fs::remove("pal.bmp");
  const std::vector<PALETTEENTRY> fallback = Palette();
  ASSERT_EQ(ours.size(), 256u);
  EXPECT_GT(Differing(ours, fallback, 0), 10) << "the default colours are those of our palette";
  Play(500);  // and a match runs under the default colours
}

}  // namespace
