// The arena: the whole game, headless and undrawn, with the computer at both players' keys, for N
// rounds between two levels; prints wins, draws and round lengths.
//
//   gronka-arena [--rounds N] [--seed S] [--record FILE] [--min-win PERCENT] [--max-frames F]
//                PILOT_A PILOT_B
//
// Pilots: the computer's levels (easy, normal, hard), random (keys changed at random), idle (a
// craft nobody flies) and chaser:LAG:TOL, a scripted pursuer: it steers towards where the other
// craft was LAG frames ago until its nose points there within TOL degrees, climbs and dives
// towards that height and holds its fire key down, as a beginner would.
//
// Half the rounds are played with A as player 1, half with A as player 2, each half a session of
// its own seed. --record writes the first session as a recording (for gronka --replay). Exits 1
// when A won less than --min-win percent of the decided rounds or a round lasted more than
// --max-frames frames of play (the session stops at such a round, and what was played is
// reported), 2 on a bad command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/support/game.h"
#include "computer/player.h"
#include "replay/session.h"

namespace {

// Thrown from the match's hook when the session has played its rounds.
struct Enough {};
// Thrown from the pump when a round has gone on past the frame limit.
struct TooLong {};

int RoundsWanted = 0;
long FrameLimit = 0;

void CountRound(const replay::RoundResult&);

enum class Kind { Computer, Idle, Chaser };

struct Pilot {
  Kind kind = Kind::Computer;
  computer::Level level = computer::Level::Normal;
  int lag = 0;           // chaser: frames between what it sees and what it does
  double tolerance = 0;  // chaser: degrees off that it lets be
};

bool ParseNumber(const std::string& text, long lo, long hi, long* value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *value = std::atol(text.c_str());
  return *value >= lo && *value <= hi;
}

bool ParsePilot(const std::string& name, Pilot* pilot) {
  *pilot = Pilot{};
  if (name == "easy")
    pilot->level = computer::Level::Easy;
  else if (name == "normal")
    pilot->level = computer::Level::Normal;
  else if (name == "hard")
    pilot->level = computer::Level::Hard;
  else if (name == "random")
    pilot->level = computer::Level::RandomKeys;
  else if (name == "idle")
    pilot->kind = Kind::Idle;
  else if (name.rfind("chaser:", 0) == 0) {
    const size_t colon = name.find(':', 7);
    long lag = 0, tolerance = 0;
    if (colon == std::string::npos || !ParseNumber(name.substr(7, colon - 7), 0, 63, &lag) ||
        !ParseNumber(name.substr(colon + 1), 0, 180, &tolerance))
      return false;
    pilot->kind = Kind::Chaser;
    pilot->lag = static_cast<int>(lag);
    pilot->tolerance = static_cast<double>(tolerance);
  } else
    return false;
  return true;
}

// The scripted pursuer at one player's keys.
struct Chaser {
  static constexpr int Memory = 64;
  bool on = false;
  Pilot pilot;
  float seenX[Memory] = {}, seenY[Memory] = {}, seenZ[Memory] = {};
  int frames = 0;  // of this round
  bool held[5] = {};
};
Chaser Chasers[2];
void (*GameFramePlayed)() = nullptr;

// Left, right, climb (the nose up: the down key), dive, fire.
constexpr int ChaserRoles[] = {RoleLeft, RoleRight, RoleDown, RoleUp, RoleFire};

void ChaserHold(int player, const bool (&want)[5]) {
  for (int i = 0; i < 5; ++i) {
    if (Chasers[player].held[i] == want[i]) continue;
    Chasers[player].held[i] = want[i];
    PostInput(want[i] ? WM_KEYDOWN : WM_KEYUP, PlayerKey(player, ChaserRoles[i]),
              want[i] ? 1 : static_cast<LPARAM>(0xC0000001u));
  }
}

void ChaserThink(int self) {
  Chaser& c = Chasers[self];
  const int other = 1 - self;
  const int slot = c.frames % Chaser::Memory;
  c.seenX[slot] = Match.x[other];
  c.seenY[slot] = Match.y[other];
  c.seenZ[slot] = Match.z[other];
  const int back = std::min(c.frames, c.pilot.lag);
  const int then = (c.frames - back) % Chaser::Memory;
  ++c.frames;
  bool want[5] = {};
  if (Match.life[self] != 0) {
    const double dx = c.seenX[then] - Match.x[self], dz = c.seenZ[then] - Match.z[self];
    const double wanted = std::atan2(dx, dz) * 180.0 / 3.1415926535;
    double error = std::fmod(wanted - (Match.yaw[self] + Match.bank[self]), 360.0);
    if (error > 180) error -= 360;
    if (error < -180) error += 360;
    want[0] = error < -c.pilot.tolerance;
    want[1] = error > c.pilot.tolerance;
    const double rise = c.seenY[then] - Match.y[self];
    want[2] = rise > 0.5;   // climb
    want[3] = rise < -0.5;  // dive
    want[4] = true;
  }
  ChaserHold(self, want);
}

void FramePlayed() {
  if (GameFramePlayed) GameFramePlayed();
  for (int p = 0; p < 2; ++p)
    if (Chasers[p].on) ChaserThink(p);
}

// Waits since a round ended, while a pilot that is not the computer waits on the result screen.
int ResultWaits = -1;

void CountRound(const replay::RoundResult&) {
  if (!computer::Plays(0) || !computer::Plays(1)) ResultWaits = 0;
  for (int p = 0; p < 2; ++p) {
    if (!Chasers[p].on) continue;
    const bool none[5] = {};
    ChaserHold(p, none);
    Chasers[p].frames = 0;
  }
  if (static_cast<int>(replay::SessionTally().rounds.size()) >= RoundsWanted) throw Enough{};
}

void Seat(int player, const Pilot& pilot, uint32_t seed) {
  Chasers[player] = Chaser{};
  if (pilot.kind == Kind::Computer) computer::SetPlayer(player, true, pilot.level, seed);
  if (pilot.kind == Kind::Chaser) {
    Chasers[player].on = true;
    Chasers[player].pilot = pilot;
  }
}

struct Session {
  std::vector<replay::RoundResult> rounds;
  bool tooLong = false;
};

// One session: `rounds` rounds with the given pilots for players 0 and 1.
Session PlaySession(const Pilot& pilot0, const Pilot& pilot1, int rounds, uint32_t seed,
                    const std::string& record) {
  RoundsWanted = rounds;
  replay::RoundResultHook = CountRound;
  replay::BeginSession();
  GameFramePlayed = FramePlayedHook;
  FramePlayedHook = FramePlayed;
  SkipViewDrawing = true;
  SessionSeed = seed;
  computer::Reset();
  Seat(0, pilot0, seed);
  Seat(1, pilot1, seed ^ 0x5bd1e995u);
  std::string why;
  if (!record.empty() && !replay::StartRecording(record, &why)) {
    std::fprintf(stderr, "gronka-arena: the recording %s cannot be written: %s\n", record.c_str(),
                 why.c_str());
    std::exit(2);
  }
  // The title menu comes after the opening scene's 100 frames: select START there.
  uint64_t pressed = 0;
  auto pump = [&pressed] {
    if (WaitCount > pressed && (WaitCount == 102 || WaitCount == 104)) {
      pressed = WaitCount;
      HeadlessControl::Post(WaitCount == 102 ? WM_KEYDOWN : WM_KEYUP, PlayerKey(0, RoleFire));
    }
    if (replay::SessionTally().roundFrames > FrameLimit) throw TooLong{};
    // Unless two computers play (they leave it themselves), the result screen is left with a
    // fire key a few waits later.
    if (ResultWaits >= 0 && WaitCount > pressed) {
      pressed = WaitCount;
      ++ResultWaits;
      if (ResultWaits == 3) HeadlessControl::Post(WM_KEYDOWN, PlayerKey(0, RoleFire));
      if (ResultWaits == 5) {
        HeadlessControl::Post(WM_KEYUP, PlayerKey(0, RoleFire));
        ResultWaits = -1;
      }
    }
  };
  Session session;
  try {
    game::Run(pump);
  } catch (const Enough&) {
  } catch (const TooLong&) {
    session.tooLong = true;
  }
  if (!record.empty() && !replay::FinishRecording()) std::exit(2);
  game::Release();
  computer::Reset();
  Chasers[0] = Chasers[1] = Chaser{};
  ResultWaits = -1;
  session.rounds = replay::SessionTally().rounds;
  return session;
}

constexpr const char* Usage =
    "usage: gronka-arena [--rounds N] [--seed S] [--record FILE] [--min-win PERCENT] "
    "[--max-frames F] PILOT_A PILOT_B\n"
    "Plays N rounds (200) between two pilots, headless, and prints wins, draws and round lengths.\n"
    "  pilots: easy, normal, hard (the computer), random (random keys), idle (nobody flies),\n"
    "          chaser:LAG:TOL (steers towards where the other craft was LAG frames ago, within\n"
    "          TOL degrees, and holds fire)\n"
    "  --seed S          the sessions' seeds (1)\n"
    "  --record FILE     record the first session (for gronka --replay)\n"
    "  --min-win P       exit 1 when PILOT_A won less than P % of the decided rounds\n"
    "  --max-frames F    exit 1 when a round lasts longer than F frames of play (3600); the\n"
    "                    session stops there\n"
    "  --help            show this and leave\n";

}  // namespace

int main(int argc, char** argv) {
  int rounds = 200;
  uint32_t seed = 1;
  double minWin = 0;
  std::string record;
  FrameLimit = 3600;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help") {
      std::fputs(Usage, stdout);
      return 0;
    } else if (arg == "--rounds" && hasValue)
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
      names.push_back(arg);
  }
  Pilot a, b;
  if (names.size() != 2 || !ParsePilot(names[0], &a) || !ParsePilot(names[1], &b) || rounds < 1 ||
      FrameLimit < 1) {
    std::fputs(Usage, stderr);
    return 2;
  }
  EnterGameDirectory();
  const int first = (rounds + 1) / 2;
  int winsA = 0, winsB = 0, draws = 0;
  bool tooLong = false;
  std::vector<uint32_t> lengths;
  for (int half = 0; half < 2 && !tooLong; ++half) {
    const int n = half == 0 ? first : rounds - first;
    if (n == 0) continue;
    const int sideA = half;  // A plays player 1 first, then player 2
    const Session session = PlaySession(half == 0 ? a : b, half == 0 ? b : a, n, seed * 2 + half,
                                        half == 0 ? record : "");
    tooLong = session.tooLong;
    for (const auto& r : session.rounds) {
      lengths.push_back(r.frames);
      if (r.winner == 2)
        ++draws;
      else if (r.winner == sideA)
        ++winsA;
      else
        ++winsB;
    }
  }
  if (tooLong)
    std::printf("%s vs %s: a round went on past %ld frames of play; stopped there\n",
                names[0].c_str(), names[1].c_str(), FrameLimit);
  std::sort(lengths.begin(), lengths.end());
  const uint32_t median = lengths.empty() ? 0 : lengths[lengths.size() / 2];
  const uint32_t longest = lengths.empty() ? 0 : lengths.back();
  const int decided = winsA + winsB;
  const double share = decided ? 100.0 * winsA / decided : 0;
  std::printf(
      "%s vs %s: %zu rounds: %s %d, %s %d, draws %d; %s won %.1f%% of decided rounds; "
      "median round %u frames, longest %u\n",
      names[0].c_str(), names[1].c_str(), lengths.size(), names[0].c_str(), winsA, names[1].c_str(),
      winsB, draws, names[0].c_str(), share, median, longest);
  return tooLong || share < minWin || longest > FrameLimit ? 1 : 0;
}
