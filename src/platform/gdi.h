// Drawing on pixel buffers through device contexts: fonts (fontconfig and FreeType, glyphs
// rendered one bit per pixel with no anti-aliasing), text, solid brushes, pens and lines, single
// pixels. Texts are UTF-8. Colours are COLORREF values, 0x00BBGGRR; the pixels they write are
// XRGB 8888, 0x00RRGGBB.
#pragma once

#include "platform/ddraw.h"
#include "platform/win.h"

struct GdiObject;
using HGDIOBJ = GdiObject*;
using HFONT = GdiObject*;
using HPEN = GdiObject*;

struct SIZE {
  LONG cx = 0, cy = 0;
};

constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr int PS_SOLID = 0;
constexpr int FW_NORMAL = 400, FW_BOLD = 700;
constexpr DWORD DEFAULT_CHARSET = 1, SHIFTJIS_CHARSET = 128;
constexpr DWORD OUT_DEFAULT_PRECIS = 0, CLIP_DEFAULT_PRECIS = 0, DEFAULT_QUALITY = 0,
                DEFAULT_PITCH = 0, FF_DONTCARE = 0;
constexpr int BITSPIXEL = 12;

// A device context drawing into a pixel buffer whose pixel (0, 0) lies at `origin` in the
// context's coordinates (the screen position of a primary surface, else (0, 0)). A fresh context
// has the default font (a plain sans face of about 16 pixels cell height), black text, a white
// background in opaque mode, a white brush and a black one-pixel pen, and the position (0, 0).
HDC CreateBufferDC(uint32_t* pixels, int width, int height, int pitch, POINT origin);
void DeleteBufferDC(HDC dc);

// The window's own context, for GetDeviceCaps.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
int GetDeviceCaps(HDC dc, int index);

// A positive height is the cell height in pixels, a width the average character width (0 keeps the
// face's proportions); weight 700 and more is bold. The face is looked up by name, then
// "IPAPMincho", then any Japanese serif face, then serif faces that read well (DejaVu Serif and
// the like), then any text face at all, a formula or symbol face last; a stand-in for
// "IPAPMincho" is named once on stderr. When no font can be found at all the font draws nothing
// (and measures 0 across), which stderr says once too. An empty or null name asks for the default
// face. Escapement, orientation, underline, strike-out, character set and the precision, quality
// and pitch arguments are accepted and not used: texts are drawn level, in the face's own glyphs.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charset, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, const char* faceName);
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
// Returns the object of the same kind selected before.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);

int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF colour);
COLORREF GetBkColor(HDC dc);

// The object of a kind currently selected into the context.
constexpr UINT OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_FONT = 6;
HGDIOBJ GetCurrentObject(HDC dc, UINT type);

// Metrics of the selected font, in pixels: tmHeight is the cell height, tmAscent the part above
// the baseline, tmAveCharWidth the face's average character width at this size.
struct TEXTMETRICA {
  LONG tmHeight = 0, tmAscent = 0, tmDescent = 0, tmAveCharWidth = 0;
};
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);

// The font file and family a font draws with, after the fallbacks; empty strings when no font
// could be found at all.
const char* FontFileOf(HFONT font);
const char* FontFamilyOf(HFONT font);

// Draws `length` bytes of UTF-8 text with the top-left of its cell at (x, y).
BOOL TextOutA(HDC dc, int x, int y, const char* text, int length);
// Width: the sum of the advances; height: the cell height.
BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size);
// Fills the rectangle with the selected brush.
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
// Draws with the selected pen from the current position up to, not including, (x, y).
BOOL LineTo(HDC dc, int x, int y);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
