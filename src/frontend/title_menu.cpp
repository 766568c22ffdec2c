// The title menu: a still picture of a craft over a tilted ground, with the title, the credit line
// and the three items drawn over it. The loop that reads the keys lives with the main loop.
#include "audio/sound.h"
#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "render/frames.h"

struct TitleMenu TitleMenu;
void (*TitleMenuHook)() = nullptr;

namespace {
constexpr int ItemCount = 3;
const char* const ItemLabels[ItemCount] = {"START", "CONFIG", "QUIT"};

constexpr COLORREF TitleColour = 0xFFC8C8;
constexpr COLORREF CreditColour = 0xFFC8FF;
constexpr COLORREF HighlightColour = 0xC8C8FF;
constexpr COLORREF PlainColour = 0xFFFFFF;

int DrawStyled(int x, int y, int centreX, const char* text, int height, int width,
               COLORREF colour) {
  return Overlay.DrawStyledText(x, y, centreX, 120, text, height, width, 800, 3, colour, 0,
                                StyledFace, 128, 0);
}

void DrawItem(int index, COLORREF colour) {
  if (index < 0 || index >= ItemCount) return;
  DrawStyled(-1, 110 + 28 * index, 212, ItemLabels[index], 20, 0, colour);
}
}  // namespace

void TitleMenu::Show() {
  cursor = 0;
  Renderer.CreateSceneFrame(&craftFrame);
  Renderer.CreateSceneFrame(&groundFrame);
  ShowModel(craftFrame, Match.craftModel);
  ShowModel(groundFrame, Match.groundModel);
  // The craft stays at the origin; the ground is tilted towards the camera, below it.
  Renderer.SetOrientationAngles(groundFrame, 45, 0, 0);
  PlaceFrame(groundFrame, 0.0, -2.0, 0.0);
  // Looking 50 degrees down and 20 to the left, from behind, above and right of the craft.
  Renderer.SetCameraAngles(0, 50, -20, 0);
  Renderer.SetCameraPosition(0, 1.0, 2.0, -1.0);
  DrawMenu();
}

void TitleMenu::DrawMenu() {
  Renderer.RenderFullView();
  Overlay.Clear();
  DrawStyled(-1, 10, 160, TitleWord, 90, 22, TitleColour);
  DrawStyled(-1, 210, 212, CreditLine, 22, 8, CreditColour);
  for (int i = 0; i < ItemCount; ++i) DrawItem(i, i == 0 ? HighlightColour : PlainColour);
  PresentOverlay();
}

void TitleMenu::MoveCursor(int delta) {
  // Only the two items change: the overlay keeps everything else, and the back buffer still holds
  // the last picture, which the new overlay covers at the same places.
  Sound::Play(SoundMenuMove);
  DrawItem(cursor, PlainColour);
  cursor = cursor + delta;
  if (cursor < 0) cursor = 2;
  cursor = cursor % ItemCount;
  DrawItem(cursor, HighlightColour);
  PresentOverlay();
}

void TitleMenu::ReleaseFrames() {
  Renderer.RemoveFromScene(craftFrame);
  Renderer.RemoveFromScene(groundFrame);
  DropReference(craftFrame);
  DropReference(groundFrame);
}
