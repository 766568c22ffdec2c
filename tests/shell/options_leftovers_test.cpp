// Saving the settings removes the temporary files that earlier saves, killed midway, left beside
// option.dat, and nothing else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/options.h"

namespace fs = std::filesystem;

namespace {

TEST(OptionsLeftoversTest, SavingRemovesOnlyOurStaleTemporaryFiles) {
  char pattern[] = "/tmp/gronka-leftovers-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = fs::path(pattern) / "gronka";
  fs::create_directory(dir);
  // Modification times: an hour before this run, or a second after its start (another copy of
  // the game saving right now).
  const auto make = [&](const std::string& name, time_t age) {
    std::ofstream(dir / name) << "x";
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - age, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / name).c_str(), times, 0), 0);
  };
  make("option.dat.Ab3xYz", 3600);
  make("option.dat.000000", 3600);
  make("option.dat.Fr3shX", -1);
  for (const char* lookalike : {"option.dat.Ab3xY", "option.dat.Ab3xYz9", "option.dat.Ab-xYz",
                                "option.datxAb3xYz", "xoption.dat.Ab3xYz", "pal.bmp.Ab3xYz"})
    make(lookalike, 3600);
  fs::create_directory(dir / "option.dat.Dir123");
  const timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
  utimensat(AT_FDCWD, (dir / "option.dat.Dir123").c_str(), old, 0);

  OptionsFile = {(dir / "option.dat").string(), ""};
  SaveOptions();
  OptionsFile = {};

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"option.dat", "option.dat.Ab-xYz", "option.dat.Ab3xY",
                                             "option.dat.Ab3xYz9", "option.dat.Dir123",
                                             "option.dat.Fr3shX", "option.datxAb3xYz",
                                             "pal.bmp.Ab3xYz", "xoption.dat.Ab3xYz"}));
  fs::remove_all(pattern);
}

}  // namespace
