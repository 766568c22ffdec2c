// Keyboard positions to virtual-key codes. The table goes by scancode, not by the character a key
// produces, so the game's keys sit at the same places on every layout and the keypad digits stay
// digits with Num Lock off.
#include <SDL_scancode.h>

#include "platform/win.h"

namespace {

// Codes without a name in win.h.
constexpr UINT kPrior = 0x21, kNext = 0x22, kEnd = 0x23, kHome = 0x24, kSnapshot = 0x2C,
               kInsert = 0x2D, kDelete = 0x2E, kCapital = 0x14, kMultiply = 0x6A, kAdd = 0x6B,
               kSubtract = 0x6D, kDecimal = 0x6E, kDivide = 0x6F, kNumLock = 0x90, kScroll = 0x91,
               kOem1 = 0xBA, kOemPlus = 0xBB, kOemComma = 0xBC, kOemMinus = 0xBD, kOemPeriod = 0xBE,
               kOem2 = 0xBF, kOem3 = 0xC0, kOem4 = 0xDB, kOem5 = 0xDC, kOem6 = 0xDD, kOem7 = 0xDE,
               kOem102 = 0xE2;

}  // namespace

UINT VirtualKeyOfScancode(int scancode) {
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
    return 'A' + static_cast<UINT>(scancode - SDL_SCANCODE_A);
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
    return '1' + static_cast<UINT>(scancode - SDL_SCANCODE_1);
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
    return VK_F1 + static_cast<UINT>(scancode - SDL_SCANCODE_F1);
  if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
    return VK_NUMPAD0 + 1 + static_cast<UINT>(scancode - SDL_SCANCODE_KP_1);
  switch (scancode) {
    case SDL_SCANCODE_0:
      return '0';
    case SDL_SCANCODE_KP_0:
      return VK_NUMPAD0;
    case SDL_SCANCODE_RETURN:
      return VK_RETURN;
    case SDL_SCANCODE_KP_ENTER:
      return VK_RETURN;
    case SDL_SCANCODE_ESCAPE:
      return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
      return VK_BACK;
    case SDL_SCANCODE_TAB:
      return VK_TAB;
    case SDL_SCANCODE_SPACE:
      return VK_SPACE;
    case SDL_SCANCODE_PAUSE:
      return VK_PAUSE;
    case SDL_SCANCODE_LEFT:
      return VK_LEFT;
    case SDL_SCANCODE_RIGHT:
      return VK_RIGHT;
    case SDL_SCANCODE_UP:
      return VK_UP;
    case SDL_SCANCODE_DOWN:
      return VK_DOWN;
    case SDL_SCANCODE_LCTRL:
      return VK_CONTROL;
    case SDL_SCANCODE_RCTRL:
      return VK_CONTROL;
    case SDL_SCANCODE_LSHIFT:
      return VK_SHIFT;
    case SDL_SCANCODE_RSHIFT:
      return VK_SHIFT;
    case SDL_SCANCODE_LALT:
      return VK_MENU;
    case SDL_SCANCODE_RALT:
      return VK_MENU;
    case SDL_SCANCODE_INSERT:
      return kInsert;
    case SDL_SCANCODE_DELETE:
      return kDelete;
    case SDL_SCANCODE_HOME:
      return kHome;
    case SDL_SCANCODE_END:
      return kEnd;
    case SDL_SCANCODE_PAGEUP:
      return kPrior;
    case SDL_SCANCODE_PAGEDOWN:
      return kNext;
    case SDL_SCANCODE_PRINTSCREEN:
      return kSnapshot;
    case SDL_SCANCODE_CAPSLOCK:
      return kCapital;
    case SDL_SCANCODE_NUMLOCKCLEAR:
      return kNumLock;
    case SDL_SCANCODE_SCROLLLOCK:
      return kScroll;
    case SDL_SCANCODE_KP_DIVIDE:
      return kDivide;
    case SDL_SCANCODE_KP_MULTIPLY:
      return kMultiply;
    case SDL_SCANCODE_KP_MINUS:
      return kSubtract;
    case SDL_SCANCODE_KP_PLUS:
      return kAdd;
    case SDL_SCANCODE_KP_PERIOD:
      return kDecimal;
    case SDL_SCANCODE_SEMICOLON:
      return kOem1;
    case SDL_SCANCODE_EQUALS:
      return kOemPlus;
    case SDL_SCANCODE_COMMA:
      return kOemComma;
    case SDL_SCANCODE_MINUS:
      return kOemMinus;
    case SDL_SCANCODE_PERIOD:
      return kOemPeriod;
    case SDL_SCANCODE_SLASH:
      return kOem2;
    case SDL_SCANCODE_GRAVE:
      return kOem3;
    case SDL_SCANCODE_LEFTBRACKET:
      return kOem4;
    case SDL_SCANCODE_BACKSLASH:
      return kOem5;
    case SDL_SCANCODE_RIGHTBRACKET:
      return kOem6;
    case SDL_SCANCODE_APOSTROPHE:
      return kOem7;
    case SDL_SCANCODE_NONUSBACKSLASH:
      return kOem102;
    default:
      return 0;
  }
}
