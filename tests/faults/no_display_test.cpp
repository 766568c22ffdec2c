// The real program started where no display can be opened: the entry point returns -1, so the
// process ends with status 255, after one line on standard error, and writes nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status = -1;  // the exit status, -1 when the process did not exit by itself
  std::string errors;
  std::string output;
};

// Runs the program in `dir` with exactly the environment given, and collects what it prints.
Outcome Start(const fs::path& program, const fs::path& dir, std::vector<std::string> environment) {
  int err[2], out[2];
  if (pipe(err) != 0 || pipe(out) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(err[1], 2);
    dup2(out[1], 1);
    close(err[0]);
    close(out[0]);
    if (chdir(dir.c_str()) != 0) _exit(120);
    std::vector<char*> env;
    for (std::string& entry : environment) env.push_back(entry.data());
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    execve(program.c_str(), argv, env.data());
    _exit(121);
  }
  close(err[1]);
  close(out[1]);
  Outcome outcome;
  // The program prints little: reading the two pipes one after the other cannot block it.
  char buffer[4096];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) outcome.errors.append(buffer, n);
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) outcome.output.append(buffer, n);
  close(err[0]);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  return outcome;
}

TEST(NoDisplayTest, StartUpFailsWithOneLineOnStandardError) {
  // The tests run in the build directory, where the program is built.
  const fs::path program = fs::absolute("gronka");
  ASSERT_TRUE(fs::exists(program)) << "the program is not built: " << program;
  std::string name = testing::TempDir() + "gronka-nodisplay-XXXXXX";
  ASSERT_NE(mkdtemp(name.data()), nullptr);
  const fs::path dir = name;
  // Under the sanitizers: what the system's message bus library keeps at exit is not ours.
  const std::string suppressions = dir.string() + ".lsan";
  std::ofstream(suppressions) << "leak:libdbus-1.so\n";
  const std::string lsan = "LSAN_OPTIONS=print_suppressions=0:suppressions=" + suppressions;
  const std::string path = std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "");
  const std::vector<std::vector<std::string>> environments = {
      {path, lsan},                         // nothing says where a display would be
      {path, lsan, "SDL_VIDEODRIVER=x11"},  // X asked for, and no DISPLAY
      {path, lsan, "DISPLAY=:4711"},        // a display that is not there
      {path, lsan, "SDL_VIDEODRIVER=x11", "DISPLAY=:4711"},
  };
  for (const auto& environment : environments) {
    SCOPED_TRACE(environment.back());
    const Outcome outcome = Start(program, dir, environment);
    EXPECT_EQ(outcome.status, 255);
    ASSERT_FALSE(outcome.errors.empty());
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << outcome.errors;
    EXPECT_EQ(outcome.errors.rfind("gronka: ", 0), 0u) << outcome.errors;
    EXPECT_EQ(outcome.output, "");
  }
  EXPECT_TRUE(fs::is_empty(dir)) << "the program wrote into its working directory";
  fs::remove_all(dir);
  fs::remove(suppressions);
}

}  // namespace
