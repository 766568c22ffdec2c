#include "app/assets.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "shell/options.h"
#include "shell/pacing.h"

const char LoadingNotice[] = "しばらくお待ち下さいな。";

namespace {

constexpr const char* ModelDirectory = "data";

}  // namespace

void FormatLoadingLine(char (&line)[LoadingLineSize], const char* fileName) {
  std::snprintf(line, sizeof line, "[%13s]を読み込み中", fileName ? fileName : "");
}

void LoadModelWithNotice(ModelHandle* slot, const char* fileName) {
  // The drawing area's top-left corner on the screen.
  int x0 = 0, y0 = 0;
  if (!FullScreen) {
    RECT rect;
    if (GetWindowRect(MainWindow, &rect)) {
      x0 = rect.left + GetSystemMetrics(SM_CXBORDER);
      y0 = rect.top + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER);
    }
  }
  char line[LoadingLineSize];
  FormatLoadingLine(line, fileName);
  Overlay.DrawPlainText(x0 + 2, y0 + 2, LoadingNotice);
  Overlay.DrawPlainText(x0 + 2, y0 + 18, line);
  // A model that cannot be read leaves its slot empty; the player learns which file and why.
  std::string why;
  if (!Renderer.LoadModel(slot, fileName, &why))
    std::fprintf(stderr, "gronka: %s/%s\n", ModelDirectory, why.c_str());
}

void LoadAllModels() {
  // The start-up directory is remembered and made current again afterwards. Going back with ".."
  // would land in the wrong place when "data" is missing (no change happened) or is a link.
  const int startDirectory = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool inData = chdir(ModelDirectory) == 0;

  LoadModelWithNotice(&Match.craftModel, "my.x");
  LoadModelWithNotice(&Match.groundModel, "zimen.x");
  LoadModelWithNotice(&Match.bulletModel, "beam.x");
  LoadModelWithNotice(&Match.shadowModel, "shadow.x");
  LoadModelWithNotice(&TitleScene.model, "ts.x");
  LoadModelWithNotice(&Match.itemModels[ItemSpeed], "speed.x");
  LoadModelWithNotice(&Match.itemModels[ItemPower], "power.x");
  LoadModelWithNotice(&Match.itemModels[ItemGrip], "grip.x");
  LoadModelWithNotice(&Match.itemShadowModel, "items.x");
  LoadModelWithNotice(&Match.debrisModel, "die.x");

  if (inData) {
    const bool back = startDirectory >= 0 && fchdir(startDirectory) == 0;
    if (!back && chdir("..") != 0) {
      // Nowhere else to go; the loads are done either way.
    }
  }
  if (startDirectory >= 0) close(startDirectory);
}
