// Golden trajectories: the whole program played by the soak driver's seeded keys, every frame shown
// (a hash of its pixels) and the match's state after every frame of play compared, line by line,
// with a recording checked in beside this file. Each line is labelled with the screen it was made
// on and its number among the frames shown or played, so a failure says where the run left its
// recording. What each run goes through (results, config visits, destroyed craft, items) is
// checked too, so that a new recording cannot quietly cover less.
//
// A deliberate change of behaviour records the files anew, in the same commit (never in CI):
//   GRONKA_RECORD_GOLDEN=1 ctest -R Golden     (then look at the diff and say why)
#include <gtest/gtest.h>

#include <cstdio>
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
  long displayChanges;  // at least so many changes of full screen or size on the config screen
};

void PrintTo(const Session& session, std::ostream* out) {
  *out << session.name;
}

class GoldenTest : public ::testing::TestWithParam<Session> {};

const char* ScreenName(soak::Screen screen) {
  static constexpr const char* names[] = {"opening", "intro", "play", "result", "menu", "config"};
  return names[static_cast<int>(screen)];
}

TEST_P(GoldenTest, RunMatchesItsRecording) {
  const Session& session = GetParam();
  soak::Settings settings;
  settings.seed = session.seed;
  settings.frames = 700;
  settings.escape = 1.0 / 700;
  settings.config = 0.3;
  settings.quit = 0.05;
  settings.closeWindow = 0;
  // A line is traced before the screen it belongs to is observed in the same pump: the lines not
  // yet labelled take the next screen observed.
  std::vector<std::string> lines;
  size_t labelled = 0;
  long shown = 0, played = 0;
  auto label = [&](const char* screen) {
    for (; labelled < lines.size(); ++labelled) {
      std::string& line = lines[labelled];
      const bool play = line[0] == 'P';
      line = std::string(screen) + (play ? " frame " : " shown ") +
             std::to_string(play ? ++played : ++shown) + ": " + line;
    }
  };
  settings.trace = [&lines](const std::string& line) { lines.push_back(line); };
  settings.observe = [&label](soak::Screen screen) { label(ScreenName(screen)); };
  soak::Report report;
  {
    const char options[4] = {0, 0, session.large, session.quality};
    game::WorkDirectory work(false, options);
    report = soak::Run(settings);
  }
  label("end");
  soak::Print(report, stdout);
  EXPECT_EQ(report.problems.count, 0);
  // What every session is there to cover.
  EXPECT_GE(report.results, 1) << "no result screen reached";
  EXPECT_GE(report.configVisits, 1) << "the config screen never visited";
  EXPECT_GE(report.destroyed, 2) << "fewer than two craft destroyed";
  EXPECT_GE(report.collected, 1) << "no item collected";
  EXPECT_GE(report.matches, 2) << "no second match after Esc";
  EXPECT_GE(report.displayChanges, session.displayChanges) << "the display was not changed";

  const std::string path = game::SourceDir() + "/tests/golden/" + session.name + ".trace";
  if (std::getenv("GRONKA_RECORD_GOLDEN") != nullptr) {
    ASSERT_EQ(std::getenv("CI"), nullptr) << "the goldens are never recorded in CI";
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << '\n';
    std::printf("recorded %zu lines in %s\n", lines.size(), path.c_str());
    return;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << "no recording " << path;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  size_t i = 0;
  while (i < lines.size() && i < expected.size() && lines[i] == expected[i]) ++i;
  if (i < lines.size() || i < expected.size()) {
    std::string before;
    for (size_t k = i >= 3 ? i - 3 : 0; k < i; ++k) before += "\n  same:     " + lines[k];
    FAIL() << "the run leaves its recording at line " << i + 1 << " of " << expected.size()
           << before << "\n  recorded: " << (i < expected.size() ? expected[i] : "(the end)")
           << "\n  now:      " << (i < lines.size() ? lines[i] : "(the end)")
           << "\n(record anew with GRONKA_RECORD_GOLDEN=1 and look at the whole change with git "
              "diff)";
  }
}

// Seeds chosen for what they go through (the report printed above says it).
INSTANTIATE_TEST_SUITE_P(Sessions, GoldenTest,
                         ::testing::Values(Session{"small_flat", 16, 0, 0, 4},
                                           Session{"small_wireframe", 12, 0, 1, 0},
                                           Session{"large_gouraud", 38, 1, 3, 1},
                                           Session{"small_unlit", 7, 0, 2, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
