#include "overlay/overlay.h"

#include <climits>
#include <cstring>

#include "platform/gdi.h"

struct Overlay Overlay;

const char StyledFace[] = "ＭＳ Ｐ明朝";

namespace {

int LengthOf(const char* text) {
  if (!text) return 0;
  const size_t length = std::strlen(text);
  return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

// Takes a surface's device context; null when the surface is missing or cannot give one, and
// every drawing call on a null context does nothing.
HDC TakeDC(IDirectDrawSurface* surface) {
  HDC dc = nullptr;
  if (surface) surface->GetDC(&dc);
  return dc;
}

void GiveBackDC(IDirectDrawSurface* surface, HDC dc) {
  if (surface && dc) surface->ReleaseDC(dc);
}

}  // namespace

void Overlay::Clear() {
  HDC dc = TakeDC(overlaySurface);
  HBRUSH brush = CreateSolidBrush(KeyColor);
  HGDIOBJ previous = SelectObject(dc, brush);
  PatBlt(dc, 0, 0, OverlayWidth, OverlayHeight, PATCOPY);
  SelectObject(dc, previous);
  DeleteObject(brush);
  GiveBackDC(overlaySurface, dc);
}

int Overlay::DrawStyledText(int x, int y, int centreX, int centreY, const char* text, int height,
                            int width, int weight, int shadowOffset, COLORREF colour, int italic,
                            const char* faceName, int charset, int escapement) {
  if (!text) text = "";
  const int length = LengthOf(text);
  HFONT font = CreateFontA(height, width, escapement, 0, weight, static_cast<DWORD>(italic), 0, 0,
                           static_cast<DWORD>(charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, faceName);
  HDC dc = TakeDC(overlaySurface);
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, font);
  SIZE size;
  GetTextExtentPoint32A(dc, text, length, &size);
  // Both halvings truncate toward zero: a text 101 pixels wide centred on 160 starts at 110.
  if (x == -1) x = centreX - size.cx / 2;
  if (y == -1) y = centreY - size.cy / 2;
  if (shadowOffset != 0) {
    const COLORREF previous = SetTextColor(dc, 0);
    TextOutA(dc, x + shadowOffset, y + shadowOffset, text, length);
    SetTextColor(dc, previous);
  }
  SetTextColor(dc, colour);
  TextOutA(dc, x, y, text, length);
  GiveBackDC(overlaySurface, dc);
  DeleteObject(font);
  return size.cy;
}

int Overlay::MeasureStyledText(const char* text, int height, int width, int weight, int italic,
                               const char* faceName, int charset) {
  if (!text) text = "";
  HFONT font = CreateFontA(height, width, 0, 0, weight, static_cast<DWORD>(italic), 0, 0,
                           static_cast<DWORD>(charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, faceName);
  HDC dc = TakeDC(overlaySurface);
  SelectObject(dc, font);
  SIZE size;
  GetTextExtentPoint32A(dc, text, LengthOf(text), &size);
  GiveBackDC(overlaySurface, dc);
  DeleteObject(font);
  return size.cx;
}

void Overlay::DrawPlainText(int x, int y, const char* text) {
  HDC dc = TakeDC(primarySurface);
  TextOutA(dc, x, y, text, LengthOf(text));
  GiveBackDC(primarySurface, dc);
}

void Overlay::DrawSmallText(int x, int y, const char* text, int height, COLORREF colour) {
  HFONT font =
      CreateFontA(height, 0, 0, 0, 700, 0, 0, 0, 128, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, StyledFace);
  HDC dc = TakeDC(backSurface);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ previous = SelectObject(dc, font);
  const int length = LengthOf(text);
  SetTextColor(dc, 0);
  TextOutA(dc, x + 1, y + 1, text, length);
  SetTextColor(dc, colour);
  TextOutA(dc, x, y, text, length);
  SelectObject(dc, previous);
  GiveBackDC(backSurface, dc);
  DeleteObject(font);
}

void Overlay::FillRect(int x, int y, int width, int height, COLORREF colour) {
  HDC dc = TakeDC(backSurface);
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ previous = SelectObject(dc, brush);
  PatBlt(dc, x, y, width, height, PATCOPY);
  SelectObject(dc, previous);
  DeleteObject(brush);
  GiveBackDC(backSurface, dc);
}

void Overlay::DrawLine(int x, int y, int dx, int dy, int penWidth, COLORREF colour) {
  HDC dc = TakeDC(backSurface);
  HPEN pen = CreatePen(PS_SOLID, penWidth, colour);
  HGDIOBJ previous = SelectObject(dc, pen);
  MoveToEx(dc, x, y, nullptr);
  LineTo(dc, x + dx, y + dy);
  SelectObject(dc, previous);
  DeleteObject(pen);
  GiveBackDC(backSurface, dc);
}

void Overlay::DrawFrameRect(int x, int y, int width, int height, int penWidth, COLORREF colour) {
  DrawLine(x, y, 0, height, penWidth, colour);
  DrawLine(x, y + height, width, 0, penWidth, colour);
  DrawLine(x + width, y + height, 0, -height, penWidth, colour);
  DrawLine(x + width, y, -width, 0, penWidth, colour);
}
