// The config screen "OPTION": full screen, screen size and render quality, stored in option.dat
// when the screen is left.
#include "audio/sound.h"
#include "frontend/title.h"
#include "overlay/overlay.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "shell/pacing.h"

namespace {
constexpr int RowCount = 4;

struct ConfigRow {
  const char* label;
  int valueCount;
  const char* values[4];
};

// Row r shows and changes byte r of the settings; "EXIT" has no value.
const ConfigRow Rows[RowCount] = {
    {"EXIT", 0, {}},
    {"FULL SCREEN", 2, {"OFF", "ON"}},
    {"SCREEN", 2, {"320x240", "640x480"}},
    {"QUALITY", 4, {"FLAT", "WIREFRAME", "UNLIGHT FLAT", "GOURAUD"}},
};

constexpr COLORREF HeadingColour = 0xFFC8C8;
constexpr COLORREF HighlightColour = 0xC8C8FF;
constexpr COLORREF PlainColour = 0xFFFFFF;

// The value index of a row. The settings are brought into range when they are read; a value that
// is out of range anyway counts as the row's first value rather than reading past its labels.
int ValueIndex(int row) {
  int v = Options[row];
  return v >= 0 && v < Rows[row].valueCount ? v : 0;
}

void DrawStyled(int x, int y, const char* text, int height, int width, COLORREF colour) {
  Overlay.DrawStyledText(x, y, 160, 120, text, height, width, 800, 3, colour, 0, StyledFace, 128,
                         0);
}

// Values stand in the column at x = 180. The stand-in face is wider than the face the layout was
// drawn for, so a value that would run off the right edge (with its shadow) moves left just enough
// to stay whole; every other value keeps the column.
void DrawValue(int y, const char* text, COLORREF colour) {
  constexpr int column = 180, shadow = 3;
  const int width = Overlay.MeasureStyledText(text, 20, 8, 800, 0, StyledFace, 128);
  const int x = column + width + shadow > OverlayWidth ? OverlayWidth - shadow - width : column;
  DrawStyled(x, y, text, 20, 8, colour);
}

bool ConsumeKey(int player, int role) {
  uint8_t& key = KeyState[PlayerKey(player, role)];
  if (key == 0) return false;
  key = 0;
  return true;
}
}  // namespace

void TitleMenu::DrawConfig(int row) {
  Overlay.Clear();
  DrawStyled(-1, 10, "OPTION", 90, 22, HeadingColour);
  for (int r = 0; r < RowCount; ++r) {
    COLORREF colour = r == row ? HighlightColour : PlainColour;
    int y = 100 + 32 * r;
    DrawStyled(32, y, Rows[r].label, 20, 8, colour);
    if (Rows[r].valueCount > 0) DrawValue(y, Rows[r].values[ValueIndex(r)], colour);
  }
  Renderer.RenderFullView();
  PresentOverlay();
}

void TitleMenu::MoveConfigCursor(int delta, int& row) {
  Sound::Play(SoundMenuMove);
  row = row + delta;
  if (row < 0) row = 3;
  row = row % RowCount;
  DrawConfig(row);
}

void TitleMenu::RunConfig() {
  const int8_t fullScreenOnEntry = Options[OptionFullScreen];
  const int8_t screenSizeOnEntry = Options[OptionScreenSize];
  int row = 0;
  bool leave = false;
  DrawConfig(0);
  for (;;) {
    for (int player = 0; player < 2; ++player) {
      if (ConsumeKey(player, RoleUp)) MoveConfigCursor(-1, row);
      if (ConsumeKey(player, RoleDown)) MoveConfigCursor(+1, row);
      if (ConsumeKey(player, RoleFire)) {
        Sound::Play(row == 0 ? SoundMenuLeave : SoundMenuSelect);
        if (row == 0) {
          leave = true;
        } else {
          Options[row] = static_cast<int8_t>((ValueIndex(row) + 1) % Rows[row].valueCount);
          DrawConfig(row);
        }
      }
    }
    if (leave) break;
    WaitFrame(0);
  }
  // Ends the process with exit code 1 when the file cannot be written.
  SaveOptions();
  if (Options[OptionFullScreen] != fullScreenOnEntry ||
      Options[OptionScreenSize] != screenSizeOnEntry) {
    // The display settings apply at the next start: let go of everything first.
    ReleaseAll();
    ExitProcess(1);
  }
  Renderer.SetQuality(RenderQuality[ValueIndex(OptionQuality)]);
  DrawMenu();
}

void TitleMenu::ReleaseAll() {
  ReleaseFrames();
  Renderer.Teardown();
  Renderer.Reset();
  ReleaseModels();
}
