// The whole program without its models, with damaged models, and with a missing or damaged
// palette: it starts, the models that cannot be read stay empty, matches run without them and the
// palette falls back to the default colours where the file gives none.
#include <cstdio>

#include "faults/fault_fixture.h"
#include "soak/soak.h"

namespace {

class AssetFaultTest : public FaultTest {
 protected:
  // Plays the program for a while with random keys, every frame of play checked.
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
    EXPECT_GE(report.matches, 1);
    return report;
  }

  // The palette the program shows, read once the title menu is up.
  std::vector<PALETTEENTRY> Palette() {
    std::vector<PALETTEENTRY> entries;
    MenuPlayer player(Quit(), [&] {
      IDirectDrawPalette* palette = Renderer.primarySurface->palette;
      if (palette != nullptr) entries.assign(palette->entries, palette->entries + 256);
    });
    EXPECT_EQ(RunProgram(std::ref(player)), 1);
    return entries;
  }
};

bool Same(const PALETTEENTRY& a, const PALETTEENTRY& b) {
  return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

TEST_F(AssetFaultTest, WithoutTheDataDirectoryTheGameRunsWithNoModel) {
  fs::remove_all("data");
  const soak::Report report = Play(1500);
  EXPECT_EQ(report.missingModels, (1u << 10) - 1);
  EXPECT_TRUE(fs::is_directory(dir)) << "the working directory is where it was";
}

TEST_F(AssetFaultTest, DamagedModelsStayEmptyAndTheOthersLoad) {
  const Bytes craft = Read("data/my.x");
  Write("data/my.x", craft.substr(0, craft.size() / 2));              // cut in the middle
  Write("data/beam.x", "");                                           // empty
  Write("data/die.x", "xof 0302txt 0032\nMesh {\n 3;\n 0.0;0.0;\n");  // cut in a vertex
  Bytes noise;
  for (int i = 0; i < 3000; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
  Write("data/items.x", "xof 0302txt 0032\n" + noise);
  fs::remove("data/speed.x");
  const soak::Report report = Play(2000);
  // One bit per model in the order of loading: my.x, zimen.x, beam.x, shadow.x, ts.x, speed.x,
  // power.x, grip.x, items.x, die.x.
  EXPECT_EQ(report.missingModels, 1u << 0 | 1u << 2 | 1u << 5 | 1u << 8 | 1u << 9);
  EXPECT_GE(report.destroyed, 1) << "no craft fell to pieces without the debris model";
}

TEST_F(AssetFaultTest, AMissingOrShortPaletteFallsBackToTheDefaultColours) {
  const std::vector<PALETTEENTRY> ours = Palette();
  fs::remove("pal.bmp");
  const std::vector<PALETTEENTRY> fallback = Palette();
  ASSERT_EQ(ours.size(), 256u);
  ASSERT_EQ(fallback.size(), 256u);
  int differ = 0;
  for (int i = 0; i < 256; ++i) differ += !Same(ours[i], fallback[i]);
  // Ours differs from the default colours in the grey ramp at the end of the table.
  EXPECT_GT(differ, 10) << "the default colours are those of our palette";

  // Only a header; a header with 220 colours of the table and part of one more; not a bitmap at
  // all: the colours the file holds are used, the default ones stand for the rest.
  const Bytes file = Read(SourceData() / "pal.bmp");
  const std::pair<Bytes, int> damaged[] = {{file.substr(0, 30), 0},
                                           {file.substr(0, 14 + 40 + 4 * 220 + 2), 220},
                                           {Bytes(2000, '\xA5'), 0}};
  for (const auto& [bytes, held] : damaged) {
    Write("pal.bmp", bytes);
    const std::vector<PALETTEENTRY> got = Palette();
    ASSERT_EQ(got.size(), 256u);
    int wrong = 0;
    for (int i = 0; i < 256; ++i) wrong += !Same(got[i], i < held ? ours[i] : fallback[i]);
    EXPECT_EQ(wrong, 0) << bytes.size() << " bytes";
  }

  // And a match runs under the default colours.
  fs::remove("pal.bmp");
  Play(500);
}

}  // namespace
