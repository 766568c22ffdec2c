// Windows, the message queue, virtual-key codes, the millisecond clock and the process exit: the
// small part of a desktop windowing system that the game needs, on SDL2. Everything also runs
// headless, with messages from a script and a clock that tests advance (see HeadlessControl).
#pragma once

#include <cstdint>
#include <functional>

using BOOL = int;
using UINT = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using LONG = int32_t;
using ATOM = uint16_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using COLORREF = uint32_t;  // 0x00BBGGRR

struct Window;
using HWND = Window*;
using HINSTANCE = void*;
using HICON = void*;
using HCURSOR = void*;
using HMENU = void*;
struct GdiObject;
using HBRUSH = GdiObject*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct RECT {
  LONG left = 0, top = 0, right = 0, bottom = 0;
};
struct POINT {
  LONG x = 0, y = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
};

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_RBUTTONDOWN = 0x0204;

// Virtual-key codes.
constexpr UINT VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
               VK_MENU = 0x12, VK_PAUSE = 0x13, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_LEFT = 0x25,
               VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_NUMPAD0 = 0x60, VK_NUMPAD4 = 0x64,
               VK_NUMPAD5 = 0x65, VK_NUMPAD6 = 0x66, VK_NUMPAD8 = 0x68, VK_NUMPAD9 = 0x69,
               VK_F1 = 0x70, VK_F12 = 0x7B;

// Window class and window styles.
constexpr UINT CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_CAPTION = 0x00C00000, WS_SYSMENU = 0x00080000, WS_MINIMIZEBOX = 0x00020000,
                WS_POPUP = 0x80000000, WS_BORDER = 0x00800000;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);
constexpr int SW_SHOWNORMAL = 1;
constexpr UINT PM_NOREMOVE = 0, PM_REMOVE = 1;

// System metrics. The layer's window frame is consistent with them: the drawing area of a window
// lies at (left + SM_CXBORDER + 2, top + SM_CYCAPTION + SM_CYBORDER + 2) of its window rectangle,
// and the window rectangle is the drawing area plus 2 x SM_CXBORDER + 4 across and
// 2 x SM_CYBORDER + SM_CYCAPTION + 4 down.
constexpr int SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CYCAPTION = 4;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  const char* lpszMenuName = nullptr;
  const char* lpszClassName = nullptr;
};

// Resources: the icon "GRK" is read from data/grk.bmp below the working directory.
HICON LoadIconA(HINSTANCE instance, const char* name);
extern const char* const IDC_ARROW;  // the standard arrow
HCURSOR LoadCursorA(HINSTANCE instance, const char* name);

ATOM RegisterClassA(const WNDCLASSA* windowClass);
// Opens the window: style WS_POPUP gives a full-screen one. A windowed one opens with a drawing
// area of the size asked for and may be enlarged by the player (not made smaller): the drawing
// area keeps its size for the program and is shown scaled, as PresentPixels says, and a right
// click anywhere in the window (the black border too) reports the drawing area's pixel under it,
// outside 0..width-1 or 0..height-1 on the border. The window procedure receives
// WM_CREATE before this returns. Without a display (and not headless) it returns null, and
// LastWindowError tells why.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* caption, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param);
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);
// Sends WM_DESTROY to the window procedure at once and closes the window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL GetWindowRect(HWND window, RECT* rect);
// The drawing area in its own coordinates: (0, 0) to its width and height.
BOOL GetClientRect(HWND window, RECT* rect);
// Screen position of the top-left pixel of the window's drawing area ((0, 0) in full screen).
POINT ClientOriginOf(HWND window);
int GetSystemMetrics(int index);
// Headless windows have their window rectangle's top-left corner here, so that the drawing area
// lies at a position other than (0, 0).
constexpr int HeadlessWindowLeft = 100, HeadlessWindowTop = 80;

// Makes the queue report WM_QUIT once, ahead of any input still waiting.
void PostQuitMessage(int exitCode);
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Takes the next message, waiting for one. Returns 0 for WM_QUIT.
BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
// Input from a program beside the game (a computer player, say), delivered like the keyboard's to
// the open window, behind what is already waiting.
void PostInput(UINT message, WPARAM wParam, LPARAM lParam = 0);
// Default handling: WM_CLOSE destroys the window; everything else returns 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Blocks until a message is waiting or the given number of milliseconds has passed (headless: the
// clock moves on to the next scheduled message or by the whole time).
void WaitMessageTimeout(DWORD milliseconds);

// The multimedia clock: milliseconds, wrapping at 2^32.
DWORD timeGetTime();

// The one way the process ends. Tests may intercept it (SetExitHandler); without a handler, or if
// the handler returns, the standard library's exit runs.
[[noreturn]] void ExitProcess(int exitCode);
void SetExitHandler(std::function<void(int)> handler);

// The window currently shown, for the display (see ddraw.h); null when none is open.
HWND ActiveWindow();
// Fills the window's drawing area from a ScreenWidth x ScreenHeight image of XRGB pixels (pitch
// in pixels) and shows it: integer-scaled and letterboxed in black when the window or screen is
// larger.
void PresentPixels(HWND window, const uint32_t* pixels, int width, int height, int pitch);

// The virtual-key code of an SDL scancode, 0 for keys the layer does not deliver. Positions, not
// layouts: the keypad digits give VK_NUMPAD0 to VK_NUMPAD9 whatever the state of Num Lock.
UINT VirtualKeyOfScancode(int scancode);
// Key aliases: the keyboard's key with the code `key` (as VirtualKeyOfScancode gives it) arrives
// as `deliveredAs` instead, down, up and repeated. SetKeyAlias(key, key) undoes it; an alias to 0
// silences the key. Codes of 256 and more cannot be aliased. Only keyboard input is affected.
void SetKeyAlias(UINT key, UINT deliveredAs);
// The code a key of the keyboard arrives with: its virtual-key code after the aliases.
UINT DeliveredKeyOfScancode(int scancode);

// Gamepads, through SDL's game controller API. The first two pads connected take the places 0
// and 1 in connection order; a pad that comes back after a disconnection gets its old place again
// (pads are told apart by their GUID and serial number) unless another pad has taken it meanwhile;
// further pads wait, and the first of them takes a place when one frees. A pad's controls arrive
// as key messages with the virtual-key codes its place is given: d-pad and left stick (beyond
// 40% of full deflection, let go below 30%) for the four directions, a direction held on both
// giving one key. A direction held down repeats its WM_KEYDOWN after 400 ms, then every 33 ms,
// until it is let go or another control is pressed, like the keyboard's auto-repeat.
// Pads are read whenever SDL's game controller subsystem is running (the layer starts it with
// the display; headless tests may start it themselves); like the keyboard, they press nothing
// while another program's window has the focus.
enum GamepadControl : int {
  PadUp,
  PadDown,
  PadLeft,
  PadRight,
  PadA,
  PadB,
  PadX,
  PadY,
  PadBack,
  PadStart,
  PadControlCount
};
// The virtual-key code each control sends; 0 for a control that sends nothing.
struct GamepadKeyMap {
  UINT keys[PadControlCount] = {};
};
constexpr int GamepadPlaces = 2;
// Sets the keys of place `place` (0 or 1). Controls held at the time are let go with their old
// codes and pressed with their new ones.
void SetGamepadKeys(int place, const GamepadKeyMap& keys);
// The SDL joystick instance of the pad in place `place`, -1 when it has none.
int GamepadInPlace(int place);
constexpr DWORD GamepadRepeatDelay = 400, GamepadRepeatInterval = 33;

// Where a picture of a fixed size is shown in a larger area: scaled by the largest whole factor
// that fits (at least 1) and centred; the rest of the area is black.
struct PicturePlacement {
  int scale = 1;
  int x = 0, y = 0;  // the picture's top-left corner in the area (negative when it is cropped)
  int width = 0, height = 0;
};
PicturePlacement PlacePicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight);
// The picture's pixel under a point of the area (outside the picture when in the black border).
POINT PicturePointOf(const PicturePlacement& placement, int areaX, int areaY);

// Why the last window could not be opened (for one line on stderr); "" when nothing failed.
const char* LastWindowError();

// Headless operation for tests: no display, no SDL video; the clock starts at 0 and moves only
// when a test advances it or when the game waits; messages come from what tests post.
namespace HeadlessControl {
// Switches the layer to headless operation and resets it: empty queue, clock at `startTime`, no
// window, no quit pending, no scheduled input, no key aliases, no gamepad keys; open gamepads are
// closed and every place forgotten (pads still attached come back only when SDL's game controller
// subsystem is started again).
void Enable(DWORD startTime = 0);
bool Enabled();
void SetClock(DWORD now);
void AdvanceClock(DWORD milliseconds);
// Input as the system would deliver it to the open window, now or when the clock reaches `time`.
void Post(UINT message, WPARAM wParam, LPARAM lParam = 0);
void PostAt(DWORD time, UINT message, WPARAM wParam, LPARAM lParam = 0);
inline void KeyDown(UINT vk) {
  Post(WM_KEYDOWN, vk);
}
inline void KeyUp(UINT vk) {
  Post(WM_KEYUP, vk);
}
// Called at the start of every PeekMessageA: lets a test act at exact points of the game's loops.
void SetPumpHook(std::function<void()> hook);
// A wait that would move the clock past this time throws std::runtime_error instead, so that a
// test whose game waits for input that never comes ends instead of running forever.
void SetTimeLimit(DWORD time);
// Frames shown on the window so far, and the last one (XRGB, ScreenWidth x ScreenHeight).
int PresentCount();
const uint32_t* LastPresentedPixels(int* width, int* height);
}  // namespace HeadlessControl
