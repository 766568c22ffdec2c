// The arena: the whole game, headless and undrawn, with the computer at both players' keys, for N
// rounds between two levels; prints wins, draws and round lengths.
//
//   gronka-arena [--rounds N] [--seed S] [--record FILE] [--min-win PERCENT] [--max-frames F]
//                LEVEL_A LEVEL_B        (levels: easy, normal, hard, random)
//
// Half the rounds are played with A as player 1, half with A as player 2, each half a session of
// its own seed. --record writes the first session as a recording (for gronka --replay). Exits 1
// when A won less than --min-win percent of the decided rounds or a round lasted more than
// --max-frames frames of play, 2 on a bad command line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/support/game.h"
#include "computer/player.h"
#include "replay/session.h"

namespace {

// Thrown from the match's hook when the session has played its rounds.
struct Enough {};

int RoundsWanted = 0;
long FrameLimit = 0;

void CountRound(const replay::RoundResult&) {
  if (static_cast<int>(replay::SessionTally().rounds.size()) >= RoundsWanted) throw Enough{};
}

bool ParseLevel(const std::string& name, computer::Level* level) {
  if (name == "easy")
    *level = computer::Level::Easy;
  else if (name == "normal")
    *level = computer::Level::Normal;
  else if (name == "hard")
    *level = computer::Level::Hard;
  else if (name == "random")
    *level = computer::Level::RandomKeys;
  else
    return false;
  return true;
}

// One session: `rounds` rounds with the given levels for players 0 and 1.
std::vector<replay::RoundResult> PlaySession(computer::Level level0, computer::Level level1,
                                             int rounds, uint32_t seed, const std::string& record) {
  RoundsWanted = rounds;
  replay::RoundResultHook = CountRound;
  replay::BeginSession();
  SkipViewDrawing = true;
  SessionSeed = seed;
  computer::Reset();
  computer::SetPlayer(0, true, level0, seed);
  computer::SetPlayer(1, true, level1, seed ^ 0x5bd1e995u);
  if (!record.empty()) replay::StartRecording(record);
  // The title menu comes after the opening scene's 100 frames: select START there.
  uint64_t pressed = 0;
  auto pump = [&pressed] {
    if (WaitCount > pressed && (WaitCount == 102 || WaitCount == 104)) {
      pressed = WaitCount;
      HeadlessControl::Post(WaitCount == 102 ? WM_KEYDOWN : WM_KEYUP, PlayerKey(0, RoleFire));
    }
    if (replay::SessionTally().roundFrames > FrameLimit * 4)
      throw std::runtime_error("a round that does not end");
  };
  try {
    game::Run(pump);
  } catch (const Enough&) {
  }
  if (!record.empty() && !replay::FinishRecording()) std::exit(2);
  game::Release();
  computer::Reset();
  return replay::SessionTally().rounds;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 200;
  uint32_t seed = 1;
  double minWin = 0;
  std::string record;
  FrameLimit = 3600;
  std::vector<std::string> levels;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--rounds" && hasValue)
      rounds = std::atoi(argv[++i]);
    else if (arg == "--seed" && hasValue)
      seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (arg == "--record" && hasValue)
      record = argv[++i];
    else if (arg == "--min-win" && hasValue)
      minWin = std::atof(argv[++i]);
    else if (arg == "--max-frames" && hasValue)
      FrameLimit = std::atol(argv[++i]);
    else if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "gronka-arena: unknown option '%s'\n", arg.c_str());
      return 2;
    } else
      levels.push_back(arg);
  }
  computer::Level a, b;
  if (levels.size() != 2 || !ParseLevel(levels[0], &a) || !ParseLevel(levels[1], &b) ||
      rounds < 1 || FrameLimit < 1) {
    std::fprintf(stderr,
                 "usage: gronka-arena [--rounds N] [--seed S] [--record FILE] "
                 "[--min-win PERCENT] [--max-frames F] LEVEL_A LEVEL_B\n");
    return 2;
  }
  EnterGameDirectory();
  const int first = (rounds + 1) / 2;
  int winsA = 0, winsB = 0, draws = 0;
  std::vector<uint32_t> lengths;
  for (int half = 0; half < 2; ++half) {
    const int n = half == 0 ? first : rounds - first;
    if (n == 0) continue;
    const int sideA = half;  // A plays player 1 first, then player 2
    auto results = PlaySession(half == 0 ? a : b, half == 0 ? b : a, n, seed * 2 + half,
                               half == 0 ? record : "");
    for (const auto& r : results) {
      lengths.push_back(r.frames);
      if (r.winner == 2)
        ++draws;
      else if (r.winner == sideA)
        ++winsA;
      else
        ++winsB;
    }
  }
  std::sort(lengths.begin(), lengths.end());
  const uint32_t median = lengths[lengths.size() / 2], longest = lengths.back();
  const int decided = winsA + winsB;
  const double share = decided ? 100.0 * winsA / decided : 0;
  std::printf(
      "%s vs %s: %zu rounds: %s %d, %s %d, draws %d; %s won %.1f%% of decided rounds; "
      "median round %u frames, longest %u\n",
      levels[0].c_str(), levels[1].c_str(), lengths.size(), levels[0].c_str(), winsA,
      levels[1].c_str(), winsB, draws, levels[0].c_str(), share, median, longest);
  return share < minWin || longest > FrameLimit ? 1 : 0;
}
