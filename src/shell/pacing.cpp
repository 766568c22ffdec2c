// The message pump and the frame clock.
#include "shell/pacing.h"

#include "shell/keyboard.h"
#include "shell/options.h"

HWND MainWindow = nullptr;
DWORD FrameStartTime = 0;
ClientOriginPoint ClientOrigin;
uint64_t WaitCount = 0;
void (*WaitHook)(uint64_t wait) = nullptr;
bool (*MessageHook)(const MSG& msg) = nullptr;

namespace {

// How long a screen that only waits for keys sleeps at most when no message comes.
constexpr DWORD IdleWait = 10;

}  // namespace

bool PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (!GetMessageA(&msg, nullptr, 0, 0)) return false;
    if (MessageHook && !MessageHook(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void BeginFrame() {
  FrameStartTime = timeGetTime();
}

void WaitFrame(DWORD milliseconds) {
  if (WaitHook) WaitHook(WaitCount);
  ++WaitCount;
  if (!PumpMessages()) ExitProcess(1);
  // Screens that only wait for keys sleep until a message comes, for a short while at most, so
  // that they do not hold a processor while nobody presses anything.
  if (milliseconds == 0) WaitMessageTimeout(IdleWait);
  for (;;) {
    if (!PumpMessages()) ExitProcess(1);
    DWORD now = timeGetTime();
    DWORD deadline = FrameStartTime + milliseconds;  // wraps with the clock
    // The plain comparison ends the wait early when the deadline has wrapped. The elapsed time
    // also ends it once the clock itself has wrapped past a deadline it never saw, which would
    // otherwise be waited for until the clock came round again.
    if (now >= deadline || now - FrameStartTime >= milliseconds || WaitEnabled == 0) return;
    WaitMessageTimeout(deadline - now);
  }
}

POINT DrawingAreaPosition() {
  POINT position;
  if (FullScreen != 0) return position;
  RECT rect;
  GetWindowRect(MainWindow, &rect);
  position.x = rect.left + GetSystemMetrics(SM_CXBORDER) + 2;
  position.y = rect.top + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER) + 2;
  return position;
}

void UpdateClientOrigin() {
  POINT position = DrawingAreaPosition();
  ClientOrigin.x = position.x;
  ClientOrigin.y = position.y;
}
