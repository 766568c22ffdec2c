// 2-D drawing on the Renderer's surfaces: texts on the 320 x 240 overlay surface that is laid over
// the 3-D picture with magenta transparent, rectangles and lines on the back buffer, and plain
// texts straight onto the screen.
#pragma once

#include "platform/ddraw.h"
#include "platform/win.h"

constexpr COLORREF KeyColor = 0xFF00FF;
constexpr int OverlayWidth = 320, OverlayHeight = 240;

struct Overlay {
  IDirectDrawSurface* primarySurface;
  IDirectDrawSurface* backSurface;
  IDirectDrawSurface* overlaySurface;

  void Init();
  void Clear();
  int DrawStyledText(int x, int y, int centreX, int centreY, const char* text, int height,
                     int width, int weight, int shadowOffset, COLORREF colour, int italic,
                     const char* faceName, int charset, int escapement);
  // The width in pixels that DrawStyledText would give the text in this font.
  int MeasureStyledText(const char* text, int height, int width, int weight, int italic,
                        const char* faceName, int charset);
  void DrawPlainText(int x, int y, const char* text);
  // A short text on the back buffer at screen resolution (the HUD's), `height` pixels high, with a
  // black shadow one pixel down and right.
  void DrawSmallText(int x, int y, const char* text, int height, COLORREF colour);
  void FillRect(int x, int y, int width, int height, COLORREF colour);
  void DrawLine(int x, int y, int dx, int dy, int penWidth, COLORREF colour);
  void DrawFrameRect(int x, int y, int width, int height, int penWidth, COLORREF colour);
};

extern struct Overlay Overlay;

// The face every styled text asks for; a comparable face stands in where it is not installed.
extern const char StyledFace[];

void PresentOverlay();
DWORD MatchSurfaceColor(IDirectDrawSurface* surface, COLORREF colour);
HRESULT ApplyColorKey(IDirectDrawSurface* surface, COLORREF colour);
