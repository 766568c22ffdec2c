// The settings file: reading, bringing hand-edited values into range, and replacing it safely.
#include "shell/options.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/headless.h"

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

// Without the privileges of root for as long as it lives (root may write anywhere).
class Unprivileged {
 public:
  Unprivileged() : wasRoot_(geteuid() == 0) {
    if (wasRoot_) {
      EXPECT_EQ(seteuid(65534), 0);
    }
  }
  ~Unprivileged() {
    if (wasRoot_) {
      EXPECT_EQ(seteuid(0), 0);
    }
  }

 private:
  bool wasRoot_;
};

TEST_F(OptionsTest, NoFileGivesAWindowOf320By240InFlatQuality) {
  Options[3] = 2;
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(FullScreen, 0);
  EXPECT_EQ(ScreenWidth, 320);
  EXPECT_EQ(ScreenHeight, 240);
}

TEST_F(OptionsTest, AShortFileFillsOnlyItsBytes) {
  Write({0, 1});
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0, 1, 0, 0}));
  EXPECT_EQ(FullScreen, 1);
  EXPECT_EQ(ScreenWidth, 320);
  EXPECT_EQ(ScreenHeight, 240);
}

TEST_F(OptionsTest, LargeScreenInGouraudAndBytesPastTheFourthIgnored) {
  Write({0, 0, 1, 3});
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0, 0, 1, 3}));
  EXPECT_EQ(FullScreen, 0);
  EXPECT_EQ(ScreenWidth, 640);
  EXPECT_EQ(ScreenHeight, 480);

  ResetShellState();
  Write({0, 1, 1, 2, 1, 0, 3});
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0, 1, 1, 2}));
  EXPECT_EQ(FullScreen, 1);
  EXPECT_EQ(ScreenWidth, 640);
}

TEST_F(OptionsTest, HandEditedValuesAreBroughtIntoRangeAndTheReservedByteKept) {
  Write({7, 5, 2, 9});
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{7, 1, 0, 0}));
  EXPECT_EQ(FullScreen, 1);
  EXPECT_EQ(ScreenWidth, 320);

  ResetShellState();
  Write({0xFF, 0xFF, 0xFF, 0xFF});
  LoadOptions();
  EXPECT_EQ(Loaded(), (Bytes{0xFF, 1, 0, 0}));
  EXPECT_EQ(FullScreen, 1);
  EXPECT_EQ(ScreenHeight, 240);

  // And what is saved afterwards is the repaired settings.
  SaveOptions();
  EXPECT_EQ(Read(), (Bytes{0xFF, 1, 0, 0}));
}

TEST_F(OptionsTest, SaveWritesTheFourBytesAndKeepsTheFilesPermissions) {
  Write({9, 9, 9, 9, 9, 9});
  fs::permissions("option.dat",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Options[0] = 0;
  Options[1] = 1;
  Options[2] = 0;
  Options[3] = 3;
  SaveOptions();
  EXPECT_EQ(Read(), (Bytes{0, 1, 0, 3}));
  EXPECT_EQ(fs::status("option.dat").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Entries(), std::vector<std::string>{"option.dat"});

  // Saved again unchanged, it stays the same four bytes.
  SaveOptions();
  EXPECT_EQ(Read(), (Bytes{0, 1, 0, 3}));
}

TEST_F(OptionsTest, AnUnwritableDirectoryEndsTheProcessAndLeavesTheOldFile) {
  Write({0, 0, 1, 2});
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                           fs::perms::others_exec);
  Options[3] = 1;
  std::optional<int> code;
  {
    Unprivileged user;
    code = ExitCodeOf(SaveOptions);
  }
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Read(), (Bytes{0, 0, 1, 2}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"option.dat"});
}

TEST_F(OptionsTest, AReadOnlyFileIsNotReplaced) {
  Write({0, 0, 0, 1});
  fs::permissions("option.dat", fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(dir, fs::perms::all);  // the directory itself may be written by anyone
  Options[3] = 2;
  std::optional<int> code;
  {
    Unprivileged user;
    code = ExitCodeOf(SaveOptions);
  }
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Read(), (Bytes{0, 0, 0, 1}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"option.dat"});
}

TEST_F(OptionsTest, AFailedWriteEndsTheProcessAndLeavesTheOldFile) {
  Write({0, 1, 1, 3});
  Options[1] = 0;
  // No file may grow beyond 0 bytes: the write itself fails.
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit none = old;
  none.rlim_cur = 0;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  std::optional<int> code = ExitCodeOf(SaveOptions);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Read(), (Bytes{0, 1, 1, 3}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"option.dat"});
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
