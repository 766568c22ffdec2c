// The keyboard tables shared by every screen: which keys are down, each player's seven keys, and
// the fast-forward flag that follows Ctrl.
#pragma once

#include <cstdint>

constexpr int KeyCount = 200;
constexpr int KeysPerPlayer = 7;

// Key roles within a player's seven keys.
enum KeyRole : int {
  RoleUp = 0,      // menus: cursor up; match: dive
  RoleDown = 1,    // menus: cursor down; match: climb
  RoleLeft = 2,    // turn left
  RoleRight = 3,   // turn right
  RoleFire = 4,    // menus: select; match: fire; result: leave
  RoleSpare = 5,   // read by no screen
  RoleCamera = 6,  // match: next camera mode
};

// 1 while a key is down and not yet consumed, indexed by virtual-key code.
extern uint8_t KeyState[KeyCount];
// Player p's key of role r is KeyMap[7 * p + r].
extern const uint8_t KeyMap[2 * KeysPerPlayer];
// 0 while Ctrl is held: frame pacing stops waiting.
extern int32_t WaitEnabled;

inline uint8_t PlayerKey(int player, int role) {
  return KeyMap[KeysPerPlayer * player + role];
}

// Gives the platform the other ways of pressing the players' keys: gamepad p presses player p's
// keys (d-pad and left stick the four directions, A fire, B the spare key, Y the camera key, Start
// Esc), and I, K, J, L press player 1's keypad 8, 5, 4, 6 on keyboards that have no keypad.
void ConfigureExtraControls();
