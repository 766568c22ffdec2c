// The message pump and frame pacing: every loop of the game pumps the window's messages through
// WaitFrame, once per pass.
#pragma once

#include "platform/win.h"

struct ClientOriginPoint {
  int32_t x = 0, y = 0;
};

extern DWORD FrameStartTime;
extern ClientOriginPoint ClientOrigin;

bool PumpMessages();
void BeginFrame();
void WaitFrame(DWORD milliseconds);
void PresentFrame();
void UpdateClientOrigin();
// The screen position of the window's drawing area as PresentFrame and UpdateClientOrigin compute
// it: (0, 0) in full screen, else from the window rectangle and the frame's system metrics.
POINT DrawingAreaPosition();
