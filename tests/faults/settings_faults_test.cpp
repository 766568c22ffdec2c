// The whole program with a settings file that is missing, short, long, out of range or cannot be
// replaced: it starts with what the file gives (or the defaults), and leaving the config screen
// either writes exactly four bytes or ends the program with exit code 1 and leaves the old file as
// it was.
#include <optional>

#include "faults/fault_fixture.h"

namespace {

using SettingsFaultTest = FaultTest;

// What the program runs with once the title menu is shown.
struct Started {
  int32_t fullScreen = -1, width = 0, height = 0;
  Bytes options;
  D3DRMRENDERQUALITY quality = 0;
  bool fullScreenWindow = false;
};

Started Now() {
  Started s;
  s.fullScreen = FullScreen;
  s.width = ScreenWidth;
  s.height = ScreenHeight;
  s.options = Bytes(reinterpret_cast<const char*>(Options), 4);
  s.quality = Renderer.device != nullptr ? Renderer.device->quality : 0;
  s.fullScreenWindow = Renderer.primarySurface != nullptr && Renderer.primarySurface->fullScreen;
  return s;
}

Bytes B(std::initializer_list<int> values) {
  Bytes bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST_F(SettingsFaultTest, NoFileStartsWindowedSmallAndFlatAndTheConfigScreenCreatesIt) {
  Started started;
  MenuPlayer player(ChangeQuality() + Quit(), [&] { started = Now(); });
  EXPECT_EQ(RunProgram(std::ref(player)), 1);
  EXPECT_EQ(player.Taken(), 8);  // "QUIT" ended it
  EXPECT_EQ(started.fullScreen, 0);
  EXPECT_FALSE(started.fullScreenWindow);
  EXPECT_EQ(started.width, 320);
  EXPECT_EQ(started.height, 240);
  EXPECT_EQ(started.options, B({0, 0, 0, 0}));
  EXPECT_EQ(started.quality, RenderQuality[0]);
  EXPECT_EQ(Read("option.dat"), B({0, 0, 0, 1}));
}

// Short, long and out-of-range files start with the first four bytes, zeros for what is missing and
// values brought into their ranges (the reserved byte kept); only the config screen writes the
// file, and leaving it writes the repaired four bytes without counting as a change of the display.
TEST_F(SettingsFaultTest, DamagedFilesStartRepairedAndAreSavedAsFourBytes) {
  Write("option.dat", B({0, 1}));
  MenuPlayer quitter(Quit());
  EXPECT_EQ(RunProgram(std::ref(quitter)), 1);
  EXPECT_EQ(Read("option.dat"), B({0, 1}));

  const struct {
    Bytes file, started;
  } cases[] = {
      {B({0, 1}), B({0, 1, 0, 0})},         {B({0, 0, 1, 2, 9, 9, 9, 9, 9}), B({0, 0, 1, 2})},
      {B({7, 5, 2, 9}), B({7, 1, 0, 0})},   {B({-128, -1, -1, -1}), B({-128, 1, 0, 0})},
      {B({0, 2, 127, 4}), B({0, 1, 0, 0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<int>(c.file.begin(), c.file.end())));
    Write("option.dat", c.file);
    Started started;
    MenuPlayer player(ChangeQuality() + Quit(), [&] { started = Now(); });
    EXPECT_EQ(RunProgram(std::ref(player)), 1);
    EXPECT_EQ(player.Taken(), 8);
    EXPECT_EQ(started.options, c.started);
    EXPECT_EQ(started.fullScreen, c.started[1]);
    EXPECT_EQ(started.fullScreenWindow, c.started[1] == 1);
    EXPECT_EQ(started.width, c.started[2] == 1 ? 640 : 320);
    EXPECT_EQ(started.height, c.started[2] == 1 ? 480 : 240);
    EXPECT_EQ(started.quality, RenderQuality[static_cast<int>(c.started[3])]);
    Bytes saved = c.started;
    saved[3] = static_cast<char>((saved[3] + 1) % 4);
    EXPECT_EQ(Read("option.dat"), saved);
  }
}

// Where option.dat (00 00 00 02) cannot be replaced, the program ends with exit code 1 right when
// the config screen is left, and the old file stays as it was, with nothing left beside it.
class UnwritableSettingsTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    Write("option.dat", B({0, 0, 0, 2}));
  }
  void ExpectSaveFails(bool unprivileged = true) {
    const std::vector<std::string> entries = Entries();
    MenuPlayer player(ChangeQuality() + Quit());
    int code = 0;
    {
      std::optional<Unprivileged> user;
      if (unprivileged) user.emplace();
      ASSERT_TRUE(!user || user->Ok()) << "cannot give up the privileges of root";
      code = RunProgram(std::ref(player));
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(player.Taken(), 5) << "the program did not end when the config screen was left";
    if (fs::is_regular_file("option.dat")) {
      EXPECT_EQ(Read("option.dat"), B({0, 0, 0, 2}));
    }
    EXPECT_EQ(Entries(), entries);
  }
};

// Root may write anywhere, but not a file over a directory: the temporary file written beside it
// must not be left there.
TEST_F(UnwritableSettingsTest, ADirectoryInPlaceOfTheFile) {
  fs::remove("option.dat");
  fs::create_directory("option.dat");
  Write("option.dat/keep", "kept");
  ExpectSaveFails(false);
  EXPECT_EQ(Read("option.dat/keep"), "kept");
}

TEST_F(UnwritableSettingsTest, AReadOnlyDirectory) {
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  ExpectSaveFails();
}

TEST_F(UnwritableSettingsTest, AReadOnlyFileInAWritableDirectory) {
  fs::permissions("option.dat",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir, fs::perms::all);
  ExpectSaveFails();
}

}  // namespace
