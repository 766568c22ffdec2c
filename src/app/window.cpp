// The window procedure: keys into KeyState, Ctrl into WaitEnabled, and the ways out.
#include "app/app.h"
#include "audio/sound.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"

LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow = window;
  switch (message) {
    case WM_KEYDOWN:
      // Pause ends the program at the next pump; its key is still recorded like any other.
      if (wParam == VK_PAUSE) DestroyWindow(window);
      // M switches the sound on and off; a held M repeats its key-down but switches once.
      if (wParam == 'M' && KeyState['M'] == 0) Sound::ToggleMute();
      if (wParam < static_cast<WPARAM>(KeyCount)) KeyState[wParam] = 1;
      if (wParam == VK_CONTROL) WaitEnabled = 0;
      return 1;
    case WM_KEYUP:
      if (wParam < static_cast<WPARAM>(KeyCount)) KeyState[wParam] = 0;
      if (wParam == VK_CONTROL) WaitEnabled = 1;
      return 1;
    case WM_RBUTTONDOWN:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
