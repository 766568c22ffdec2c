// The message pump and frame pacing: every loop of the game pumps the window's messages through
// WaitFrame, once per pass.
#pragma once

#include "platform/win.h"

struct ClientOriginPoint {
  int32_t x = 0, y = 0;
};

// The game's one window, kept by its window procedure; the drawing area's position is its.
extern HWND MainWindow;
extern DWORD FrameStartTime;
extern ClientOriginPoint ClientOrigin;

// What runs beside the game's loops (recording, replays, the computer opponent) watches the pump:
// WaitHook is called at the start of every WaitFrame with its number, counted from start-up (the
// game's loops pump once per pass, through WaitFrame); MessageHook sees every message taken from
// the queue before it is dispatched, and drops it by returning false.
extern uint64_t WaitCount;
extern void (*WaitHook)(uint64_t wait);
extern bool (*MessageHook)(const MSG& msg);

bool PumpMessages();
void BeginFrame();
void WaitFrame(DWORD milliseconds);
void UpdateClientOrigin();
// The screen position of the window's drawing area as PresentFrame and UpdateClientOrigin compute
// it: (0, 0) in full screen, else from the window rectangle and the frame's system metrics.
POINT DrawingAreaPosition();
