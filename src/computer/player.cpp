// The computer at the keys: key messages from the opponent's choices, F1 and F2, the demo's way
// past the result screen.
#include "computer/player.h"

#include "match/match.h"
#include "shell/keyboard.h"

namespace computer {

namespace {

struct Seat {
  bool on = false;
  Level level = Level::Normal;
  uint32_t seed = 0;
  Opponent mind;
  Keys held;
};

Seat Seats[2];
bool ResultShown = false;  // two computers wait to leave the result screen
DWORD ResultSince = 0;
bool FireToRelease = false;

constexpr LPARAM DownBits = 1;
constexpr LPARAM UpBits = static_cast<LPARAM>(0xC0000001u);

void Press(int player, int role, bool down) {
  PostInput(down ? WM_KEYDOWN : WM_KEYUP, PlayerKey(player, role), down ? DownBits : UpBits);
}

void Hold(int player, const Keys& keys) {
  Keys& held = Seats[player].held;
  const bool want[] = {keys.dive, keys.climb, keys.left, keys.right, keys.fire};
  bool* have[] = {&held.dive, &held.climb, &held.left, &held.right, &held.fire};
  const int roles[] = {RoleUp, RoleDown, RoleLeft, RoleRight, RoleFire};
  for (int i = 0; i < 5; ++i) {
    if (want[i] == *have[i]) continue;
    Press(player, roles[i], want[i]);
    *have[i] = want[i];
  }
}

}  // namespace

const char* LabelOf(Level level) {
  switch (level) {
    case Level::Easy:
      return "CPU EASY";
    case Level::Normal:
      return "CPU NORMAL";
    case Level::Hard:
      return "CPU HARD";
    default:
      return "CPU";
  }
}

void SetPlayer(int player, bool on, Level level, uint32_t seed) {
  Seat& seat = Seats[player];
  Hold(player, Keys{});
  seat.on = on;
  seat.level = level;
  seat.seed = seed;
  seat.mind = Opponent(player, level, seed * 2654435761u + static_cast<uint32_t>(player) + 1);
  PilotLabel[player] = on ? LabelOf(level) : nullptr;
}

bool Plays(int player) {
  return Seats[player].on;
}

Level LevelOf(int player) {
  return Seats[player].level;
}

void Reset() {
  for (int p = 0; p < 2; ++p) SetPlayer(p, false, Level::Normal, 0);
  ResultShown = false;
  FireToRelease = false;
}

void OnFramePlayed() {
  for (int p = 0; p < 2; ++p)
    if (Seats[p].on) Hold(p, Seats[p].mind.Think(ViewOf(Match, p)));
}

void OnRoundOver() {
  for (int p = 0; p < 2; ++p) {
    Hold(p, Keys{});
    Seats[p].mind.NewRound();
  }
  ResultShown = Seats[0].on && Seats[1].on;
  ResultSince = timeGetTime();
}

void OnWait() {
  if (FireToRelease) {
    Press(0, RoleFire, false);
    FireToRelease = false;
  }
  if (ResultShown && timeGetTime() - ResultSince >= ResultWait) {
    Press(0, RoleFire, true);
    ResultShown = false;
    FireToRelease = true;
  }
}

void OnMessage(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return;
  const bool repeat = (static_cast<uint32_t>(msg.lParam) & (1u << 30)) != 0;
  if (msg.wParam == VK_F1 + 0 || msg.wParam == VK_F1 + 1) {
    if (repeat) return;
    // Off, easy, normal, hard, off.
    const int p = static_cast<int>(msg.wParam - VK_F1);
    const Seat& seat = Seats[p];
    const bool on = !seat.on || seat.level == Level::Easy || seat.level == Level::Normal;
    const Level next = !seat.on                      ? Level::Easy
                       : seat.level == Level::Easy   ? Level::Normal
                       : seat.level == Level::Normal ? Level::Hard
                                                     : seat.level;
    SetPlayer(p, on, next, seat.seed + 1);
  } else if (msg.wParam == VK_ESCAPE) {
    // Leaving the match: nothing may stay pressed into the title menu.
    for (int p = 0; p < 2; ++p) Hold(p, Keys{});
  }
}

}  // namespace computer
