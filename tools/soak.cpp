// The long soak run: the whole game, headless, played by seeded random key presses for N frames of
// play, every frame checked.
//
//   soak [FRAMES [SEED]]     (1000000 frames and seed 1 by default)
//
// Prints the frames per second and every violation found; exits with status 1 when there was one.
// The game's data directory is looked for in the working directory, in $GRONKA_SOURCE_DIR and
// beside the program; option.dat is written in a temporary directory, never the game's own.
#include "../tests/soak/soak.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

fs::path FindData() {
  std::vector<fs::path> candidates = {"data"};
  if (const char* root = std::getenv("GRONKA_SOURCE_DIR"))
    candidates.push_back(fs::path(root) / "data");
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error).parent_path();
  if (!error) {
    candidates.push_back(program / "data");
    candidates.push_back(program.parent_path() / "data");
  }
  for (const fs::path& dir : candidates)
    if (fs::exists(dir / "my.x")) return fs::absolute(dir);
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  soak::Settings settings;
  settings.frames = 1000000;
  if (argc > 1) settings.frames = std::strtol(argv[1], nullptr, 10);
  if (argc > 2) settings.seed = std::strtoull(argv[2], nullptr, 10);
  if (argc > 3 || settings.frames <= 0) {
    std::fprintf(stderr, "usage: soak [FRAMES [SEED]]\n");
    return 2;
  }
  const fs::path data = FindData();
  if (data.empty()) {
    std::fprintf(stderr, "soak: the game's data directory was not found\n");
    return 2;
  }
  const auto began = std::chrono::steady_clock::now();
  settings.progressEvery = settings.frames >= 200000 ? 100000 : 0;
  settings.progress = [&began](long frames) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("  %ld frames of play, %.0f per second\n", frames, frames / seconds);
    std::fflush(stdout);
  };
  std::printf("soak: %ld frames of play, seed %llu, data from %s\n", settings.frames,
              static_cast<unsigned long long>(settings.seed), data.c_str());
  std::fflush(stdout);
  soak::Report report;
  {
    game::WorkDirectory work(false, nullptr, data);
    report = soak::Run(settings);
  }
  soak::Print(report, stdout);
  return report.problems.count == 0 ? 0 : 1;
}
