// The life bars at the top of each half of the screen, drawn at screen resolution, and under a bar
// who flies that craft when a player does not.
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
    if (PilotLabel[p] != nullptr)
      Overlay.DrawSmallText(left, 8 + barHeight + ScreenHeight / 60, PilotLabel[p],
                            ScreenHeight / 24, 0xC0C0C0);
  }
}
