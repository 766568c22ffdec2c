// Golden trajectories: the whole program played by the soak driver's seeded keys, every frame shown
// (a hash of its pixels) and the match's state after every frame of play compared, line by line,
// with a recording checked in beside this file. One run covers the opening scene, the menus, the
// config screen in every quality and both sizes, and rounds with volleys, hits, items, destroyed
// craft and results, so a change anywhere in what the game computes or draws shows here.
//
// A deliberate change of behaviour records the files anew, in the same commit:
//   GRONKA_RECORD_GOLDEN=1 ctest -R Golden     (then look at the diff and say why)
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "soak/soak.h"

namespace {

struct Session {
  const char* name;
  uint64_t seed;
  char large;  // the screen size and quality option.dat starts with
  char quality;
};

void PrintTo(const Session& session, std::ostream* out) {
  *out << session.name;
}

class GoldenTest : public ::testing::TestWithParam<Session> {};

TEST_P(GoldenTest, RunMatchesItsRecording) {
  const Session& session = GetParam();
  soak::Settings settings;
  settings.seed = session.seed;
  settings.frames = 700;
  settings.escape = 1.0 / 700;
  settings.config = 0.3;
  settings.quit = 0.05;
  settings.closeWindow = 0;
  std::vector<std::string> lines;
  settings.trace = [&lines](const std::string& line) { lines.push_back(line); };
  soak::Report report;
  {
    const char options[4] = {0, 0, session.large, session.quality};
    game::WorkDirectory work(false, options);
    report = soak::Run(settings);
  }
  soak::Print(report, stdout);
  EXPECT_EQ(report.problems.count, 0);

  const std::string path = game::SourceDir() + "/tests/golden/" + session.name + ".trace";
  if (std::getenv("GRONKA_RECORD_GOLDEN") != nullptr) {
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << '\n';
    GTEST_SKIP() << "recorded " << lines.size() << " lines in " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << "no recording " << path;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  size_t i = 0;
  while (i < lines.size() && i < expected.size() && lines[i] == expected[i]) ++i;
  if (i < lines.size() || i < expected.size()) {
    const std::string actual = "/tmp/" + std::string(session.name) + ".actual.trace";
    std::ofstream out(actual);
    for (const std::string& line : lines) out << line << '\n';
    FAIL() << "the run leaves its recording at line " << i + 1 << " of " << expected.size()
           << "\n  recorded: " << (i < expected.size() ? expected[i] : "(the end)")
           << "\n  now:      " << (i < lines.size() ? lines[i] : "(the end)") << "\n(whole run in "
           << actual << ")";
  }
}

// Seeds chosen for what they go through (the report printed above says it).
INSTANTIATE_TEST_SUITE_P(Sessions, GoldenTest,
                         ::testing::Values(Session{"small_flat", 22, 0, 0},
                                           Session{"small_wireframe", 27, 0, 1},
                                           Session{"large_gouraud", 6, 1, 3},
                                           Session{"small_unlit", 29, 0, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
