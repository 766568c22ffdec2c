#include "overlay/overlay.h"
#include "render/renderer.h"
#include "shell/options.h"
#include "shell/pacing.h"

void Overlay::Init() {
  primarySurface = Renderer.primarySurface;
  backSurface = Renderer.backSurface;
  overlaySurface = Renderer.overlaySurface;
  Clear();
  ApplyColorKey(overlaySurface, KeyColor);
}

void PresentOverlay() {
  if (Overlay.backSurface) {
    RECT source{0, 0, OverlayWidth, OverlayHeight};
    RECT dest{0, 0, ScreenWidth, ScreenHeight};
    Overlay.backSurface->Blt(&dest, Overlay.overlaySurface, &source, DDBLT_KEYSRC | DDBLT_WAIT,
                             nullptr);
  }
  UpdateClientOrigin();
  Renderer.Present(ClientOrigin.x, ClientOrigin.y);
}
