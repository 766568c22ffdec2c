// Showing a rendered frame on the window's drawing area.
#include "render/renderer.h"
#include "shell/pacing.h"

void PresentFrame() {
  POINT position = DrawingAreaPosition();
  Renderer.Present(position.x, position.y);
}
