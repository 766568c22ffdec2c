// Where the game works and keeps its settings: beside itself, or installed with its data in
// share/gronka and its settings in the user's configuration directory.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "shell/options.h"
#include "support/headless.h"
#include "support/unprivileged.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

void Write(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

Bytes Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Loaded() {
  return Bytes(reinterpret_cast<const uint8_t*>(Options),
               reinterpret_cast<const uint8_t*>(Options) + 4);
}

TEST(OptionsFilesFor, TheFileIsBesideTheGameUnlessItsDirectoryIsUnwritable) {
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

// Each test works in a directory tree of its own, which it may lay out like an installed game.
class GameLocationTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    home = fs::current_path();
    char pattern[] = "/tmp/gronka-location-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    fs::permissions(root, fs::perms::all);
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    OptionsFile = OptionsFiles{};
    for (auto& [name, value] : saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    fs::current_path(home);
    for (auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::owner_all);
    fs::remove_all(root);
    HeadlessTest::TearDown();
  }
  // A game directory holding data/ and an old option.dat, which the game may read but not write.
  fs::path ReadOnlyGame(const Bytes& old) {
    fs::path game = root / "share" / "gronka";
    fs::create_directories(game / "data");
    Write(game / "option.dat", old);
    fs::permissions(game, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    return game;
  }
  fs::path home, root;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(GameLocationTest, TheGameDirectoryIsTheCurrentOneTheProgramsOrItsShareDirectory) {
  fs::path program = root / "usr" / "bin" / "gronka";
  fs::create_directories(program.parent_path());
  fs::current_path(root);
  EXPECT_EQ(GameDirectoryFor(program), "") << "nothing anywhere: stays";

  // Installed: the data under ../share/gronka.
  fs::create_directories(root / "usr" / "share" / "gronka" / "data");
  const std::string installed = GameDirectoryFor(program);
  EXPECT_EQ(fs::canonical(installed), root / "usr" / "share" / "gronka");

  // Data beside the program comes first, as in a build directory.
  fs::create_directory(root / "usr" / "bin" / "data");
  EXPECT_EQ(GameDirectoryFor(program), (root / "usr" / "bin").string());

  // And data in the current directory before both.
  fs::create_directory(root / "data");
  EXPECT_EQ(GameDirectoryFor(program), "");

  // A file named data is not the game's data.
  fs::remove(root / "data");
  fs::remove(root / "usr" / "bin" / "data");
  Write(root / "usr" / "bin" / "data", {1});
  EXPECT_EQ(GameDirectoryFor(program), installed);
}

TEST_F(GameLocationTest, AnUnwritableGameKeepsItsSettingsInTheConfigDirectoryFromTheOldFileOn) {
  fs::path game = ReadOnlyGame({0, 0, 1, 2});
  fs::path config = root / "config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  fs::current_path(game);
  {
    Unprivileged user;
    EXPECT_TRUE(user.Ok());
    EnterGameDirectory();
  }
  EXPECT_EQ(fs::current_path(), game);
  EXPECT_EQ(OptionsFile.path, (config / "gronka" / "option.dat").string());

  // The old file is read while the new one does not exist.
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0, 0, 1, 2}));
  EXPECT_EQ(ScreenWidth, 640);

  // Saving creates the configuration directories, private to the user, and leaves the old file.
  Options[3] = 3;
  std::optional<int> code;
  {
    Unprivileged user;
    EXPECT_TRUE(user.Ok());
    code = ExitCodeOf(SaveOptions);
  }
  EXPECT_EQ(code, std::nullopt);
  EXPECT_EQ(Read(config / "gronka" / "option.dat"), (Bytes{0, 0, 1, 3}));
  EXPECT_EQ(Read(game / "option.dat"), (Bytes{0, 0, 1, 2}));
  EXPECT_EQ(fs::status(config).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(config / "gronka").permissions(), fs::perms::owner_all);

  // From then on the new file is the one read, even when it holds less than four bytes.
  Write(config / "gronka" / "option.dat", {0});
  ResetShellState();
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(ScreenWidth, 320);
}

TEST_F(GameLocationTest, AConfigDirectoryThatCannotBeMadeEndsTheProcessOnSave) {
  fs::path game = ReadOnlyGame({0, 0, 0, 1});
  fs::path locked = root / "locked";
  fs::create_directory(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  setenv("XDG_CONFIG_HOME", (locked / "config").c_str(), 1);
  fs::current_path(game);
  std::optional<int> code;
  {
    Unprivileged user;
    EXPECT_TRUE(user.Ok());
    EnterGameDirectory();
    LoadOptions();
    code = ExitCodeOf(SaveOptions);
  }
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(fs::is_empty(locked));
  EXPECT_EQ(Read(game / "option.dat"), (Bytes{0, 0, 0, 1}));
}

}  // namespace
