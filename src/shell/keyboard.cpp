// The keyboard tables.
#include "shell/keyboard.h"

#include "platform/win.h"

uint8_t KeyState[KeyCount];

// "TGFHZXChedf%'(": each character's code is the virtual-key code. Player 0: T, G, F, H, Z, X, C;
// player 1: keypad 8, 5, 4, 6, then the left, right and down arrows.
const uint8_t KeyMap[2 * KeysPerPlayer] = {'T', 'G', 'F', 'H', 'Z', 'X',  'C',
                                           'h', 'e', 'd', 'f', '%', '\'', '('};

int32_t WaitEnabled = 1;

void ConfigureExtraControls() {
  for (int player = 0; player < 2; ++player) {
    GamepadKeyMap pad;
    pad.keys[PadUp] = PlayerKey(player, RoleUp);
    pad.keys[PadDown] = PlayerKey(player, RoleDown);
    pad.keys[PadLeft] = PlayerKey(player, RoleLeft);
    pad.keys[PadRight] = PlayerKey(player, RoleRight);
    pad.keys[PadA] = PlayerKey(player, RoleFire);
    pad.keys[PadB] = PlayerKey(player, RoleSpare);
    pad.keys[PadY] = PlayerKey(player, RoleCamera);
    pad.keys[PadStart] = VK_ESCAPE;
    SetGamepadKeys(player, pad);
  }
  // Player 1's keypad, where there is none: I, K, J, L sit like 8, 5, 4, 6 and no player uses them.
  SetKeyAlias('I', PlayerKey(1, RoleUp));
  SetKeyAlias('K', PlayerKey(1, RoleDown));
  SetKeyAlias('J', PlayerKey(1, RoleLeft));
  SetKeyAlias('L', PlayerKey(1, RoleRight));
}
