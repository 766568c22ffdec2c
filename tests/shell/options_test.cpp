// The settings file: reading, bringing hand-edited values into range, and replacing it safely.
#include "shell/options.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/headless.h"
#include "support/unprivileged.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// Each test runs in a directory of its own, which becomes the working directory.
class OptionsTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    home = fs::current_path();
    char pattern[] = "/tmp/gronka-options-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(home);
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
    HeadlessTest::TearDown();
  }
  static void Write(const Bytes& bytes) {
    std::ofstream("option.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
  static Bytes Read() {
    std::ifstream in("option.dat", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  Bytes Loaded() const {
    return Bytes(reinterpret_cast<const uint8_t*>(Options),
                 reinterpret_cast<const uint8_t*>(Options) + 4);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
  }
  fs::path home, dir;
};

TEST_F(OptionsTest, LoadingFillsWhatTheFileHoldsAndBringsHandEditsIntoRange) {
  const struct {
    std::optional<Bytes> file;
    Bytes loaded;
    int fullScreen, width;
  } cases[] = {
      {std::nullopt, {0, 0, 0, 0}, 0, 320},
      {Bytes{0, 1}, {0, 1, 0, 0}, 1, 320},
      {Bytes{0, 0, 1, 3}, {0, 0, 1, 3}, 0, 640},
      {Bytes{0, 1, 1, 2, 1, 0, 3}, {0, 1, 1, 2}, 1, 640},  // bytes past the fourth ignored
      {Bytes{7, 5, 2, 9}, {7, 1, 0, 0}, 1, 320},           // the reserved byte is kept
      {Bytes{0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 1, 0, 0}, 1, 320},
  };
  for (const auto& c : cases) {
    ResetShellState();
    fs::remove("option.dat");
    if (c.file)
      Write(*c.file);
    else
      Options[3] = 2;  // nothing read: everything is reset
    LoadOptions();
    EXPECT_EQ(Loaded(), c.loaded);
    EXPECT_EQ(FullScreen, c.fullScreen);
    EXPECT_EQ(ScreenWidth, c.width);
    EXPECT_EQ(ScreenHeight, c.width * 3 / 4);
  }
  // What is saved afterwards is the repaired settings.
  SaveOptions();
  EXPECT_EQ(Read(), (Bytes{0xFF, 1, 0, 0}));
}

TEST_F(OptionsTest, SaveWritesTheFourBytesAndKeepsTheFilesPermissions) {
  Write({9, 9, 9, 9, 9, 9});
  fs::permissions("option.dat",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Options[1] = 1;
  Options[3] = 3;
  SaveOptions();
  EXPECT_EQ(Read(), (Bytes{0, 1, 0, 3}));
  EXPECT_EQ(fs::status("option.dat").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Entries(), std::vector<std::string>{"option.dat"});
}

// A save that cannot be made ends the process with exit code 1, and leaves the old file as it was
// and nothing else behind: an unwritable directory, a write that fails.
TEST_F(OptionsTest, AFailedSaveEndsTheProcessAndLeavesTheOldFile) {
  const auto expectFailedSave = [&](bool asUser, bool noSpace) {
    Write({0, 0, 1, 2});
    Options[3] = 1;
    rlimit old, none;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    none = old;
    none.rlim_cur = 0;  // no file may grow beyond 0 bytes
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    std::optional<Unprivileged> user;
    if (asUser) {
      user.emplace();
      EXPECT_TRUE(user->Ok());
    }
    if (noSpace) setrlimit(RLIMIT_FSIZE, &none);
    std::optional<int> code = ExitCodeOf(SaveOptions);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    user.reset();
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Read(), (Bytes{0, 0, 1, 2}));
    EXPECT_EQ(Entries(), std::vector<std::string>{"option.dat"});
  };
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                           fs::perms::others_exec);
  expectFailedSave(true, false);
  fs::permissions(dir, fs::perms::owner_all);
  expectFailedSave(false, true);
}

TEST_F(OptionsTest, TheProgramsDirectoryBecomesCurrentOnlyWhenTheCurrentOneHasNoData) {
  fs::path program = fs::read_symlink("/proc/self/exe").parent_path();
  bool programHasData = fs::is_directory(program / "data");

  EnterGameDirectory();
  EXPECT_EQ(fs::current_path(), programHasData ? program : dir);

  fs::current_path(dir);
  fs::create_directory(dir / "data");
  EnterGameDirectory();
  EXPECT_EQ(fs::current_path(), dir);
}

}  // namespace
