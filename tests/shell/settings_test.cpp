// The settings: reading option.dat and bringing hand edits into range, replacing it safely or
// ending with exit code 1 and the old file intact, and where it lives (beside the game or in the
// user's configuration directory); then the whole program on damaged and unwritable files.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <optional>

#include "build_info.h"
#include "support/headless.h"

namespace fs = std::filesystem;

namespace {

using game::FileBytes;
using game::WriteFile;

std::string B(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}
std::string Loaded() {
  return std::string(reinterpret_cast<const char*>(Options), 4);
}
std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class SettingsTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    HeadlessTest::TearDown();
  }
  game::WorkDirectory work;
  fs::path dir = work.Path();

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(SettingsTest, LoadingTakesFourBytesAndBringsHandEditsIntoRange) {
  const struct {
    std::optional<std::string> file;
    std::string loaded;
  } cases[] = {
      {std::nullopt, B({0, 0, 0, 0})},
      {B({0, 1}), B({0, 1, 0, 0})},
      {B({0, 0, 1, 3}), B({0, 0, 1, 3})},
      {B({0, 1, 1, 2, 1, 0, 3}), B({0, 1, 1, 2})},  // bytes past the fourth ignored
      {B({7, 5, 2, 9}), B({7, 1, 0, 0})},           // the reserved byte is kept
      {B({-1, -1, -1, -1}), B({-1, 1, 0, 0})},
      {B({0, 2, 127, 4}), B({0, 1, 0, 0})},
  };
  for (const auto& c : cases) {
    game::ResetGlobals();
    fs::remove("option.dat");
    if (c.file)
      WriteFile("option.dat", *c.file);
    else
      Options[3] = 2;  // nothing read: everything is reset
    LoadOptions();
    EXPECT_EQ(Loaded(), c.loaded);
    EXPECT_EQ(FullScreen, c.loaded[1]);
    EXPECT_EQ(ScreenWidth, c.loaded[2] == 1 ? 640 : 320);
    EXPECT_EQ(ScreenHeight, c.loaded[2] == 1 ? 480 : 240);
  }
  // What is saved afterwards is the repaired settings, four bytes, the file's permissions kept.
  fs::permissions("option.dat", fs::perms::owner_read | fs::perms::owner_write);
  SaveOptions();
  EXPECT_EQ(FileBytes("option.dat"), B({0, 1, 0, 0}));
  EXPECT_EQ(fs::status("option.dat").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{"data", "option.dat", "pal.bmp"}));
}

// A save that cannot be made ends the process with exit code 1, and leaves the old file as it was
// and nothing else behind.
TEST_F(SettingsTest, AFailedSaveEndsTheProcessAndLeavesTheOldFile) {
  enum Fault { ReadOnlyDirectory, ReadOnlyFile, NoSpace, DirectoryInPlace };
  for (Fault fault : {ReadOnlyDirectory, ReadOnlyFile, NoSpace, DirectoryInPlace}) {
    SCOPED_TRACE(fault);
    fs::permissions(dir, fs::perms::all);
    fs::remove_all("option.dat");
    if (fault == DirectoryInPlace) {
      fs::create_directory("option.dat");
      WriteFile("option.dat/keep", "kept");
    } else {
      WriteFile("option.dat", B({0, 0, 1, 2}));
    }
    const std::vector<std::string> before = Entries(dir);
    if (fault == ReadOnlyDirectory) {
      // The file itself may be written: only the directory stands in the way of a safe save.
      fs::permissions("option.dat", fs::perms::owner_write | fs::perms::others_write,
                      fs::perm_options::add);
      fs::permissions(dir,
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
    }
    if (fault == ReadOnlyFile)
      fs::permissions("option.dat", fs::perms::owner_read | fs::perms::others_read);
    Options[3] = 1;
    rlimit old, none;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    none = old;
    none.rlim_cur = 0;  // no file may grow
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    std::optional<int> code;
    {
      std::optional<game::Unprivileged> user;
      if (fault == ReadOnlyDirectory || fault == ReadOnlyFile) user.emplace();
      ASSERT_TRUE(!user || user->Ok());
      if (fault == NoSpace) setrlimit(RLIMIT_FSIZE, &none);
      code = ExitCodeOf(SaveOptions);
      setrlimit(RLIMIT_FSIZE, &old);
    }
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(FileBytes(fault == DirectoryInPlace ? "option.dat/keep" : "option.dat"),
              fault == DirectoryInPlace ? "kept" : B({0, 0, 1, 2}));
    EXPECT_EQ(Entries(dir), before);
  }
}

// Temporary files that saves killed midway left beside option.dat before this run are removed;
// a fresh one (another copy of the game saving now), a directory and lookalikes are not.
TEST_F(SettingsTest, SavingRemovesOnlyOurStaleTemporaryFiles) {
  const auto make = [](const std::string& name, time_t age) {
    WriteFile(name, "x");
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - age, 0}};
    utimensat(AT_FDCWD, name.c_str(), times, 0);
  };
  fs::create_directory("option.dat.Dir123");
  for (const char* name : {"option.dat.Ab3xYz", "option.dat.000000", "option.dat.Ab3xY",
                           "option.dat.Ab3xYz9", "option.dat.Ab-xYz", "option.datxAb3xYz",
                           "xoption.dat.Ab3xYz", "data.Ab3xYz", "option.dat.Dir123"})
    make(name, 3600);
  make("option.dat.Fr3shX", -1);
  SaveOptions();
  EXPECT_EQ(Entries(dir),
            (std::vector<std::string>{"data", "data.Ab3xYz", "option.dat", "option.dat.Ab-xYz",
                                      "option.dat.Ab3xY", "option.dat.Ab3xYz9", "option.dat.Dir123",
                                      "option.dat.Fr3shX", "option.datxAb3xYz", "pal.bmp",
                                      "xoption.dat.Ab3xYz"}));
}

// An unwritable game keeps its settings below $HOME when that is absolute, else below the
// account's home directory.
TEST_F(SettingsTest, ARelativeOrMissingHomeFallsBackToTheAccountsHomeDirectory) {
  fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
  unsetenv("XDG_CONFIG_HOME");
  const std::string accounts =
      std::string(getpwuid(getuid())->pw_dir) + "/.config/gronka/option.dat";
  const std::pair<const char*, std::string> cases[] = {
      {"/srv/player", "/srv/player/.config/gronka/option.dat"},
      {"player", accounts},
      {"", accounts},
      {nullptr, accounts}};
  for (const auto& [home, expected] : cases) {
    home ? setenv("HOME", home, 1) : unsetenv("HOME");
    {
      game::Unprivileged user;
      ASSERT_TRUE(user.Ok());
      EnterGameDirectory();
    }
    EXPECT_EQ(OptionsFile.path, expected) << (home ? home : "unset");
    EXPECT_EQ(OptionsFile.previous, "option.dat");
  }
}

TEST(SettingsPlace, TheFileIsBesideTheGameUnlessItsDirectoryIsUnwritable) {
  const struct {
    bool writable;
    const char *config, *home, *path, *previous;
  } cases[] = {
      {true, "/home/a/.cfg", "/home/a", "option.dat", ""},
      {false, "/home/a/.cfg/", "/home/a", "/home/a/.cfg/gronka/option.dat", "option.dat"},
      {false, "/", "/home/a", "/gronka/option.dat", "option.dat"},
      // Unset, empty or relative: the configuration directory is ~/.config.
      {false, nullptr, "/home/a/", "/home/a/.config/gronka/option.dat", "option.dat"},
      {false, "", "/home/a", "/home/a/.config/gronka/option.dat", "option.dat"},
      {false, "./x", "/home/a", "/home/a/.config/gronka/option.dat", "option.dat"},
      // No configuration directory known at all.
      {false, nullptr, nullptr, "option.dat", ""},
      {false, nullptr, "home", "option.dat", ""},
  };
  for (const auto& c : cases) {
    OptionsFiles files = OptionsFilesFor(c.writable, c.config, c.home);
    EXPECT_EQ(files.path, c.path);
    EXPECT_EQ(files.previous, c.previous);
  }
}

// A program in a build tree works in the current directory when that has a "data" directory,
// else in its own; an installed one always in its own share directory.
TEST_F(SettingsTest, TheGameDirectoryIsTheInstalledOneElseTheCurrentOneElseTheProgramsOwn) {
  fs::remove("data");
  fs::path program = dir / "usr" / "bin" / "gronka";
  fs::create_directories(program.parent_path());
  bool installed = true;
  EXPECT_EQ(GameDirectoryFor(program, &installed), "") << "nothing anywhere: stays";
  EXPECT_FALSE(installed);
  fs::create_directory(dir / "usr" / "bin" / "data");  // as in a build directory
  EXPECT_EQ(GameDirectoryFor(program), (dir / "usr" / "bin").string());
  fs::create_directory(dir / "data");
  EXPECT_EQ(GameDirectoryFor(program), "") << "run from its build or source tree";
  // Installed: a "data" directory where the program was started from is not the game's.
  fs::create_directories(program.parent_path() / InstalledGameDirectory / "data");
  const std::string share = GameDirectoryFor(program, &installed);
  EXPECT_TRUE(installed);
  EXPECT_EQ(fs::canonical(share), fs::canonical(program.parent_path() / InstalledGameDirectory));
  // A file named data is not the game's data.
  fs::remove_all(program.parent_path() / InstalledGameDirectory / "data");
  WriteFile(program.parent_path() / InstalledGameDirectory / "data", "1");
  fs::remove(dir / "data");
  EXPECT_EQ(GameDirectoryFor(program, &installed), (dir / "usr" / "bin").string());
  EXPECT_FALSE(installed);
}

TEST_F(SettingsTest, AnUnwritableGameKeepsItsSettingsInTheConfigDirectoryFromTheOldFileOn) {
  fs::path gameDir = dir / "share" / "gronka";
  fs::create_directories(gameDir / "data");
  WriteFile(gameDir / "option.dat", B({0, 0, 1, 2}));
  fs::permissions(gameDir,
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::permissions(dir, fs::perms::all);  // the user may make the configuration directory here
  fs::path config = dir / "config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  fs::current_path(gameDir);
  std::optional<int> code;
  {
    game::Unprivileged user;
    ASSERT_TRUE(user.Ok());
    EnterGameDirectory();
    LoadOptions();  // the old file, while the new one does not exist
    EXPECT_EQ(Loaded(), B({0, 0, 1, 2}));
    Options[3] = 3;
    code = ExitCodeOf(SaveOptions);
  }
  EXPECT_EQ(OptionsFile.path, (config / "gronka" / "option.dat").string());
  EXPECT_EQ(code, std::nullopt);
  EXPECT_EQ(FileBytes(config / "gronka" / "option.dat"), B({0, 0, 1, 3}));
  EXPECT_EQ(FileBytes(gameDir / "option.dat"), B({0, 0, 1, 2}));
  EXPECT_EQ(fs::status(config).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(config / "gronka").permissions(), fs::perms::owner_all);
  // From then on the new file is the one read, even when it holds less than four bytes.
  WriteFile(config / "gronka" / "option.dat", B({0}));
  LoadOptions();
  EXPECT_EQ(Loaded(), B({0, 0, 0, 0}));

  // A configuration directory that cannot be made ends the process on saving.
  setenv("XDG_CONFIG_HOME", (gameDir / "config").c_str(), 1);
  {
    game::Unprivileged user;
    EnterGameDirectory();
    code = ExitCodeOf(SaveOptions);
  }
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(fs::exists(gameDir / "config"));
  OptionsFile = {};
}

// The whole program: what option.dat gives is what it starts with (the defaults without one),
// and leaving the config screen writes the four bytes with the quality changed, or ends the
// program with exit code 1 where the file cannot be replaced.
TEST_F(SettingsTest, TheProgramStartsWithTheRepairedSettingsAndSavesThem) {
  const struct {
    std::optional<std::string> file;
    std::string started;
  } cases[] = {
      {std::nullopt, B({0, 0, 0, 0})},
      {B({0, 1}), B({0, 1, 0, 0})},
      {B({0, 0, 1, 2, 9}), B({0, 0, 1, 2})},
      {B({-128, -1, -1, -1}), B({-128, 1, 0, 0})},
  };
  for (const auto& c : cases) {
    fs::remove("option.dat");
    if (c.file) WriteFile("option.dat", *c.file);
    std::string started;
    bool fullScreenWindow = false;
    D3DRMRENDERQUALITY quality = 0;
    game::MenuPlayer player(game::MenuPlayer::ChangeQualityThenQuit(), [&] {
      started = Loaded();
      fullScreenWindow = Renderer.primarySurface->fullScreen;
      quality = Renderer.device->quality;
      EXPECT_EQ(ScreenWidth, started[2] == 1 ? 640 : 320);
    });
    EXPECT_EQ(game::Run(std::ref(player)), 1);
    game::Release();
    EXPECT_EQ(player.Taken(), 8);  // "QUIT" ended it
    EXPECT_EQ(started, c.started);
    EXPECT_EQ(fullScreenWindow, c.started[1] == 1);
    EXPECT_EQ(quality, RenderQuality[int(c.started[3])]);
    std::string saved = c.started;
    saved[3] = static_cast<char>(saved[3] + 1);
    EXPECT_EQ(FileBytes("option.dat"), saved);
  }
  // Read-only: the program ends as the config screen is left.
  fs::permissions("option.dat", fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  game::MenuPlayer player(game::MenuPlayer::ChangeQualityThenQuit());
  {
    game::Unprivileged user;
    ASSERT_TRUE(user.Ok());
    EXPECT_EQ(game::Run(std::ref(player)), 1);
  }
  game::Release();
  EXPECT_EQ(player.Taken(), 5);
  EXPECT_EQ(FileBytes("option.dat"), B({-128, 1, 0, 1}));
}

}  // namespace
