// The keyboard tables.
#include "shell/keyboard.h"

uint8_t KeyState[KeyCount];

// "TGFHZXChedf%'(": each character's code is the virtual-key code. Player 0: T, G, F, H, Z, X, C;
// player 1: keypad 8, 5, 4, 6, then the left, right and down arrows.
const uint8_t KeyMap[2 * KeysPerPlayer] = {'T', 'G', 'F', 'H', 'Z', 'X',  'C',
                                           'h', 'e', 'd', 'f', '%', '\'', '('};

int32_t WaitEnabled = 1;
