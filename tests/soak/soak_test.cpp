// A short soak: the whole program played by seeded random key presses, every frame of play
// checked.
#include "soak/soak.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/keyboard.h"
#include "support/headless.h"

namespace {

// Two runs of the program's whole life cycle, with the menu, the config screen and the ways out of
// the program chosen more often than a player would, so that a short run meets all of them.
TEST(SoakTest, ShortRunsKeepEveryInvariant) {
  soak::Report total;
  for (uint64_t seed : {1, 2}) {
    soak::Settings settings;
    settings.seed = seed;
    settings.frames = 2500;
    settings.escape = 1.0 / 600;
    settings.config = 0.4;
    settings.quit = 0.1;
    settings.closeWindow = 1.0 / 3000;
    soak::Report report;
    {
      game::WorkDirectory work;
      report = soak::Run(settings);
    }
    std::printf("seed %llu:\n", static_cast<unsigned long long>(seed));
    soak::Print(report, stdout);
    EXPECT_EQ(report.problems.count, 0) << "seed " << seed;
    EXPECT_EQ(report.framesOfPlay, settings.frames);
    for (long soak::Report::*count :
         {&soak::Report::runs, &soak::Report::matches, &soak::Report::results,
          &soak::Report::destroyed, &soak::Report::collected, &soak::Report::configVisits,
          &soak::Report::quits})
      total.*count += report.*count;
  }
  // What the runs went through.
  EXPECT_GE(total.runs, 3);
  EXPECT_GE(total.quits, 2);
  EXPECT_GE(total.matches, 4);
  EXPECT_GE(total.results, 1);
  EXPECT_GE(total.destroyed, 1);
  EXPECT_GE(total.collected, 1);
  EXPECT_GE(total.configVisits, 2);
}

}  // namespace
