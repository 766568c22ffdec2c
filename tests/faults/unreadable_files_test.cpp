// Files the game reads that are named pipes or cannot be read: the program starts all the same, as
// if the file were missing, and says on stderr which model or palette failed and why. Each start
// runs in a child process under an alarm, so a start that blocks on a pipe fails instead of
// hanging the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/game.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* Pipe = nullptr;  // the file is replaced by a named pipe

struct Case {
  const char* file;
  const char* content;  // Pipe, or what the file holds
  const char* stderrText;
  bool (*atMenu)();
};

// Entry 217 of the default palette is the grey 12; ours has 13 there.
bool DefaultGrey() {
  IDirectDrawPalette* palette = Renderer.primarySurface->palette;
  return palette != nullptr && palette->entries[217].peRed == 12;
}
bool NoCraftOnly() {
  return Match.craftModel == nullptr && Match.groundModel != nullptr &&
         Match.debrisModel != nullptr;
}

// Starts the program in a child process, at most `seconds` long, with stderr going to a file;
// the child succeeds when the program reached the title menu, `atMenu` held there and QUIT
// ended it.
::testing::AssertionResult StartsAndQuits(bool (*atMenu)(), std::string& errors) {
  const fs::path log = fs::current_path() / "stderr.txt";
  const pid_t child = fork();
  if (child == 0) {
    alarm(20);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0) _exit(3);
    bool held = false;
    const int code =
        game::Run(game::MenuPlayer(game::MenuPlayer::Quit(), [&] { held = atMenu(); }));
    _exit(code == 1 && held ? 0 : 4);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child)
    return ::testing::AssertionFailure() << "no child";
  errors = game::FileBytes(log);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    return ::testing::AssertionFailure() << "the start blocked";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return ::testing::AssertionFailure() << "status " << status;
  return ::testing::AssertionSuccess();
}

TEST(UnreadableFilesTest, TheGameStartsWithoutThemAndNamesTheModelsAndPaletteThatFailed) {
  game::WorkDirectory work(true);
  const Case cases[] = {
      {"data/my.x", Pipe, "gronka: data/my.x: not a regular file\n", NoCraftOnly},
      {"data/grk.bmp", Pipe, "", [] { return LoadIconA(nullptr, "GRK") == nullptr; }},
      {"pal.bmp", Pipe, "gronka: pal.bmp: not a regular file\n", DefaultGrey},
      {"option.dat", Pipe, "", [] { return Options[3] == 0 && ScreenWidth == 320; }},
      {"data/my.x", "xof 0302txt 0032\nMesh {\n 3;\n 0.0;0.0;0.0;,\n 1.0;x;\n",
       "gronka: data/my.x: line 5: unexpected name 'x' where a number of a vertex was expected\n",
       NoCraftOnly},
      {"pal.bmp", "BM\x36\x04", "gronka: pal.bmp: shorter than a bitmap's headers\n", DefaultGrey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.content == Pipe ? " as a pipe" : " damaged"));
    const bool existed = fs::exists(c.file);
    const std::string original = existed ? game::FileBytes(c.file) : "";
    fs::remove(c.file);
    if (c.content == Pipe)
      ASSERT_EQ(mkfifo(c.file, 0600), 0);
    else
      game::WriteFile(c.file, c.content);
    std::string errors;
    EXPECT_TRUE(StartsAndQuits(c.atMenu, errors));
    EXPECT_EQ(errors, c.stderrText);
    fs::remove(c.file);
    if (existed) game::WriteFile(c.file, original);
  }
}

}  // namespace
