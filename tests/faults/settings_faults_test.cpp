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

TEST_F(SettingsFaultTest, AShortFileGivesItsBytesAndTheRestAreZero) {
  Write("option.dat", B({0, 1}));
  Started started;
  MenuPlayer player(Quit(), [&] { started = Now(); });
  EXPECT_EQ(RunProgram(std::ref(player)), 1);
  EXPECT_EQ(started.options, B({0, 1, 0, 0}));
  EXPECT_EQ(started.fullScreen, 1);
  EXPECT_TRUE(started.fullScreenWindow);
  EXPECT_EQ(started.width, 320);
  EXPECT_EQ(started.quality, RenderQuality[0]);
  // Only the config screen writes the file.
  EXPECT_EQ(Read("option.dat"), B({0, 1}));

  MenuPlayer saver(ChangeQuality() + Quit());
  EXPECT_EQ(RunProgram(std::ref(saver)), 1);
  EXPECT_EQ(saver.Taken(), 8);
  EXPECT_EQ(Read("option.dat"), B({0, 1, 0, 1}));
}

TEST_F(SettingsFaultTest, ALongFileGivesItsFirstFourBytesAndIsWrittenBackAsFour) {
  Write("option.dat", B({0, 0, 1, 2, 9, 9, 9, 9, 9}));
  Started started;
  MenuPlayer player(ChangeQuality() + Quit(), [&] { started = Now(); });
  EXPECT_EQ(RunProgram(std::ref(player)), 1);
  EXPECT_EQ(player.Taken(), 8);
  EXPECT_EQ(started.options, B({0, 0, 1, 2}));
  EXPECT_EQ(started.fullScreen, 0);
  EXPECT_EQ(started.width, 640);
  EXPECT_EQ(started.height, 480);
  EXPECT_EQ(started.quality, RenderQuality[2]);
  EXPECT_EQ(Read("option.dat"), B({0, 0, 1, 3}));
}

// Values outside their ranges are brought into them before anything uses them; the reserved byte
// is kept as it is. Leaving the config screen then counts as no change of the display (the program
// goes on) and writes the repaired settings.
TEST_F(SettingsFaultTest, ValuesOutOfRangeAreRepairedAndSavedRepaired) {
  for (const Bytes& file : {B({7, 5, 2, 9}), B({-128, -1, -1, -1}), B({0, 2, 127, 4})}) {
    SCOPED_TRACE(testing::PrintToString(std::vector<int>(file.begin(), file.end())));
    Write("option.dat", file);
    Started started;
    MenuPlayer player(ChangeQuality() + Quit(), [&] { started = Now(); });
    EXPECT_EQ(RunProgram(std::ref(player)), 1);
    EXPECT_EQ(player.Taken(), 8);
    EXPECT_EQ(started.options, Bytes({file[0], 1, 0, 0}));
    EXPECT_EQ(started.fullScreen, 1);
    EXPECT_EQ(started.width, 320);
    EXPECT_EQ(started.quality, RenderQuality[0]);
    EXPECT_EQ(Read("option.dat"), Bytes({file[0], 1, 0, 1}));
  }
}

// The file cannot be replaced: the program ends with exit code 1 right when the config screen is
// left, and the old file (or whatever stands in its place) is untouched, with nothing left beside
// it.
class UnwritableSettingsTest : public FaultTest {
 protected:
  void ExpectSaveFails(const Bytes& before, bool unprivileged) {
    const std::vector<std::string> entries = Entries();
    MenuPlayer player(ChangeQuality() + Quit());
    int code = 0;
    {
      std::optional<Unprivileged> user;
      if (unprivileged) {
        user.emplace();
        ASSERT_TRUE(user->Ok()) << "cannot give up the privileges of root";
      }
      code = RunProgram(std::ref(player));
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(player.Taken(), 5) << "the program did not end when the config screen was left";
    if (!before.empty()) {
      EXPECT_EQ(Read("option.dat"), before);
    }
    EXPECT_EQ(Entries(), entries);
  }
};

// Root may write anywhere, but not a file over a directory.
TEST_F(UnwritableSettingsTest, ADirectoryInPlaceOfTheFile) {
  fs::create_directory("option.dat");
  Write("option.dat/keep", "kept");
  ExpectSaveFails({}, false);
  EXPECT_TRUE(fs::is_directory("option.dat"));
  EXPECT_EQ(Read("option.dat/keep"), "kept");
}

TEST_F(UnwritableSettingsTest, AReadOnlyDirectory) {
  Write("option.dat", B({0, 0, 0, 2}));
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  ExpectSaveFails(B({0, 0, 0, 2}), true);
}

TEST_F(UnwritableSettingsTest, AReadOnlyFileInAWritableDirectory) {
  Write("option.dat", B({0, 0, 0, 2}));
  fs::permissions("option.dat",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir, fs::perms::all);
  ExpectSaveFails(B({0, 0, 0, 2}), true);
}

}  // namespace
