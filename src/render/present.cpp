// Rendering a frame into the back buffer and copying it to the screen.
#include "render/renderer.h"

bool SkipViewDrawing = false;

// The views' colour is not cleared: the back buffer's fill right after covers every pixel of
// them, so only their depth is reset.
void Renderer::RenderPlayerViews() {
  if (ready == 0 || SkipViewDrawing) return;
  // After a teardown the fields are gone even though ready stays set.
  if (viewLeft == nullptr || viewRight == nullptr || device == nullptr || scene == nullptr) return;
  viewLeft->Clear(D3DRMCLEAR_ZBUFFER);
  viewRight->Clear(D3DRMCLEAR_ZBUFFER);
  ClearBackBuffer();
  viewLeft->Render(scene);
  viewRight->Render(scene);
  device->Update();
}

void Renderer::RenderFullView() {
  if (ready == 0 || SkipViewDrawing) return;
  if (viewFull == nullptr || device == nullptr || scene == nullptr) return;
  viewFull->Clear(D3DRMCLEAR_ZBUFFER);
  ClearBackBuffer();
  viewFull->Render(scene);
  device->Update();
}

void Renderer::ClearBackBuffer() {
  if (backSurface == nullptr) return;
  DDBLTFX fx;
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0;
  backSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
}

void Renderer::Present(int x, int y) {
  if (primarySurface == nullptr || backSurface == nullptr) return;
  RECT destination{x, y, x + width, y + height};
  RECT source{0, 0, width, height};
  primarySurface->Blt(&destination, backSurface, &source, DDBLT_WAIT, nullptr);
}
