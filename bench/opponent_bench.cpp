// The computer opponent's thinking in one frame of play: reading what its player sees from the
// match and choosing its keys, for one player and for both (a demo), along a moving situation.
#include <benchmark/benchmark.h>

#include <cmath>

#include "computer/opponent.h"
#include "match/match.h"

namespace {

// A match in play: both craft flying in circles, an item up, the frame number `frame`.
void PlaceCraft(int frame) {
  for (int p = 0; p < 2; ++p) {
    const double a = (frame * 3 + p * 150) * 3.1415926535 / 180;
    Match.x[p] = static_cast<float>(20 * std::sin(a) - 5 * p);
    Match.z[p] = static_cast<float>(20 * std::cos(a));
    Match.y[p] = static_cast<float>(5 + 4 * p);
    Match.yaw[p] = frame * 3 + p * 150 + 90;
    Match.bank[p] = 48;
    Match.life[p] = 10;
  }
  Match.itemActive = 1;
  Match.itemX = 12;
  Match.itemY = 7;
  Match.itemZ = -20;
}

void BM_OpponentThinks(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  computer::Opponent minds[2] = {computer::Opponent(0, computer::Level::Hard, 1),
                                 computer::Opponent(1, computer::Level::Easy, 2)};
  int frame = 0;
  for (auto _ : state) {
    PlaceCraft(++frame);  // a few sines: timed too, to keep the clock out of the figure
    for (int p = 0; p < players; ++p) {
      computer::Keys keys = minds[p].Think(computer::ViewOf(Match, p));
      benchmark::DoNotOptimize(keys);
    }
  }
}
BENCHMARK(BM_OpponentThinks)->Arg(1)->Arg(2)->Unit(benchmark::kNanosecond);

}  // namespace
