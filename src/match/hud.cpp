// The life bars at the top of each half of the screen, drawn at screen resolution.
#include "match/match.h"
#include "overlay/overlay.h"
#include "shell/options.h"

void Match::DrawHud() {
  const int halfWidth = ScreenWidth / 2;
  const int segment = (halfWidth - 16) / 10;
  const int barHeight = ScreenHeight / 20;
  for (int p = 0; p < 2; ++p) {
    const int left = halfWidth * p + 8;
    Overlay.FillRect(left, 8, life[p] * segment, barHeight, 0x0000FF);
    Overlay.DrawFrameRect(left, 8, segment * 10, barHeight, 1, 0xFFFFFF);
  }
}
