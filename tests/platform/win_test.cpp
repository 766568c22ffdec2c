// The window layer in headless operation: windows and their frame, the message queue, the
// virtual clock, the key table and the process exit.
#include "platform/win.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
};
std::vector<Received> received;
bool onDestroyDestroyAgain = false;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back({window, message, wParam});
  if (message == WM_DESTROY && onDestroyDestroyAgain) {
    EXPECT_TRUE(IsWindow(window));  // still valid while it is told
    EXPECT_FALSE(DestroyWindow(window));
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class WinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessControl::Enable(1000);
    received.clear();
    onDestroyDestroyAgain = false;
    WNDCLASSA windowClass;
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "TestWnd";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
  }
  void TearDown() override {
    SetExitHandler(nullptr);
    HeadlessControl::Enable(0);
  }
  static HWND Open(int width, int height, DWORD style = WS_CAPTION | WS_SYSMENU) {
    return CreateWindowExA(
        WS_EX_APPWINDOW, "TestWnd", "Test", style, CW_USEDEFAULT, CW_USEDEFAULT,
        width + 2 * GetSystemMetrics(SM_CXBORDER) + 4,
        height + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4, nullptr,
        nullptr, nullptr, nullptr);
  }
  // Takes every waiting message and dispatches it, as the game's pump does.
  static bool Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!GetMessageA(&msg, nullptr, 0, 0)) return false;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return true;
  }
};

// By position, whatever the layout; player 1's arrows and keypad keys as the game names them.
TEST(WinKeys, ScancodesGiveVirtualKeysByPosition) {
  const SDL_Scancode scancodes[] = {
      SDL_SCANCODE_A,      SDL_SCANCODE_Z,       SDL_SCANCODE_0,          SDL_SCANCODE_1,
      SDL_SCANCODE_9,      SDL_SCANCODE_KP_0,    SDL_SCANCODE_KP_9,       SDL_SCANCODE_KP_8,
      SDL_SCANCODE_KP_5,   SDL_SCANCODE_LEFT,    SDL_SCANCODE_RIGHT,      SDL_SCANCODE_DOWN,
      SDL_SCANCODE_UP,     SDL_SCANCODE_LCTRL,   SDL_SCANCODE_RCTRL,      SDL_SCANCODE_RSHIFT,
      SDL_SCANCODE_ESCAPE, SDL_SCANCODE_PAUSE,   SDL_SCANCODE_RETURN,     SDL_SCANCODE_SPACE,
      SDL_SCANCODE_F12,    SDL_SCANCODE_UNKNOWN, SDL_SCANCODE_APPLICATION};
  const UINT keys[] = {'A',        'Z',        '0',        '1',      '9',       VK_NUMPAD0,
                       VK_NUMPAD9, 'h',        'e',        '%',      '\'',      '(',
                       VK_UP,      VK_CONTROL, VK_CONTROL, VK_SHIFT, VK_ESCAPE, VK_PAUSE,
                       VK_RETURN,  VK_SPACE,   VK_F12,     0,        0};
  static_assert(std::size(scancodes) == std::size(keys));
  for (size_t i = 0; i < std::size(keys); ++i)
    EXPECT_EQ(VirtualKeyOfScancode(scancodes[i]), keys[i]) << scancodes[i];
  // A code the game's table cannot hold.
  EXPECT_GE(VirtualKeyOfScancode(SDL_SCANCODE_LEFTBRACKET), 200u);
}

TEST_F(WinTest, KeyAliasesChangeWhatTheKeyboardsKeysArriveAs) {
  SetKeyAlias('I', VK_NUMPAD8);
  SetKeyAlias('K', 0);    // silenced
  SetKeyAlias(300, 'Q');  // no such code: ignored
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_I), VK_NUMPAD8);
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_K), 0u);
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_J), UINT{'J'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_I), UINT{'I'});  // the table itself stays

  // What the keyboard delivers through SDL is the extra controls test's; the repeat bit is the
  // gamepad test's.
  HeadlessControl::Enable(0);  // forgets every alias
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_K), UINT{'K'});
}

TEST_F(WinTest, CreationAndDestructionAreToldToTheWindowProcedureAtOnce) {
  HWND window = Open(320, 240);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].message, WM_CREATE);
  EXPECT_EQ(received[0].window, window);

  onDestroyDestroyAgain = true;
  EXPECT_TRUE(DestroyWindow(window));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].message, WM_DESTROY);
  EXPECT_EQ(ActiveWindow(), nullptr);
  // A handle kept after the window closed is refused everywhere.
  RECT rect;
  EXPECT_FALSE(GetWindowRect(window, &rect));
  const uint32_t pixel = 0;
  PresentPixels(window, &pixel, 1, 1, 1);
  EXPECT_EQ(HeadlessControl::PresentCount(), 0);
  // A full-screen window's drawing area starts at the screen's corner.
  HWND screen = Open(320, 240, WS_POPUP);
  EXPECT_EQ(std::make_pair(ClientOriginOf(screen).x, ClientOriginOf(screen).y),
            std::make_pair(0, 0));
  DestroyWindow(screen);
  // A drawing area of one pixel is a window; none is refused with a reason.
  for (const auto& [width, height, made] : {std::tuple{1, 1, true}, {0, 1, false}, {1, 0, false}}) {
    HWND small = Open(width, height);
    EXPECT_EQ(small != nullptr, made) << width << "x" << height;
    if (small) DestroyWindow(small);
    EXPECT_STREQ(made ? "" : LastWindowError(), made ? "" : "the window is too small");
  }
}

TEST_F(WinTest, PeekingLeavesTheMessageAndTheQuitMessageComesFirstAndOnce) {
  Open(320, 240);
  HeadlessControl::KeyDown('A');
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_KEYDOWN);

  PostQuitMessage(0);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(WinTest, ScheduledInputArrivesInOrderAndWaitsEndAtItOrAtTheTimeout) {
  Open(320, 240);
  HeadlessControl::PostAt(1030, WM_KEYDOWN, 'B');
  HeadlessControl::PostAt(1010, WM_KEYDOWN, 'A');
  HeadlessControl::PostAt(1030, WM_KEYUP, 'B');
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  WaitMessageTimeout(50);
  EXPECT_EQ(timeGetTime(), 1010u);
  WaitMessageTimeout(50);  // a message waits: no time passes
  EXPECT_EQ(timeGetTime(), 1010u);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, WPARAM{'A'});
  EXPECT_EQ(msg.time, 1010u);
  // GetMessageA waits for the next one.
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  EXPECT_EQ(timeGetTime(), 1030u);
}

TEST_F(WinTest, TheClockWrapsAtTwoToTheThirtySecondAndScheduledInputWithIt) {
  HeadlessControl::SetClock(0xFFFFFFF0u);
  HeadlessControl::PostAt(0xFFFFFFF8u, WM_KEYDOWN, 'A');
  HeadlessControl::PostAt(6, WM_KEYDOWN, 'B');
  WaitMessageTimeout(100);
  EXPECT_EQ(timeGetTime(), 0xFFFFFFF8u);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, WPARAM{'B'});
  EXPECT_EQ(timeGetTime(), 6u);
}

TEST_F(WinTest, WaitsBeyondTheTimeLimitOrForInputThatNeverComesThrow) {
  HeadlessControl::SetTimeLimit(1100);
  WaitMessageTimeout(100);
  EXPECT_EQ(timeGetTime(), 1100u);
  EXPECT_THROW(WaitMessageTimeout(1), std::runtime_error);
  EXPECT_EQ(timeGetTime(), 1100u);
  MSG msg;
  EXPECT_THROW(GetMessageA(&msg, nullptr, 0, 0), std::runtime_error);
}

// The picture grows by whole factors, the narrower fit deciding, and is centred; an area too small
// shows the middle unscaled; no picture is no fault. A point of the area maps back to the picture's
// pixel, rounded down in the border too.
TEST(WindowScale, ThePictureGrowsByWholeFactorsAndIsCentred) {
  const struct {
    int areaWidth, areaHeight, width, height, scale, x, y;
  } cases[] = {{1000, 700, 320, 240, 2, 180, 110}, {320, 240, 320, 240, 1, 0, 0},
               {960, 720, 320, 240, 3, 0, 0},      {959, 720, 320, 240, 2, 159, 120},
               {3840, 2160, 320, 240, 9, 480, 0},  {1920, 1080, 640, 480, 2, 320, 60},
               {300, 200, 320, 240, 1, -10, -20},  {0, 0, 320, 240, 1, -160, -120},
               {1000, 700, 0, 240, 1, 0, 0},       {1000, 700, 320, -1, 1, 0, 0},
               {1000, 700, 1, 1, 700, 150, 0}};
  for (const auto& c : cases) {
    const PicturePlacement p = PlacePicture(c.areaWidth, c.areaHeight, c.width, c.height);
    const bool none = c.width < 1 || c.height < 1;
    EXPECT_EQ(std::vector<int>({p.scale, p.x, p.y, p.width, p.height}),
              std::vector<int>(
                  {c.scale, c.x, c.y, none ? 0 : c.width * c.scale, none ? 0 : c.height * c.scale}))
        << c.areaWidth << "x" << c.areaHeight;
  }
  const PicturePlacement p = PlacePicture(1000, 700, 320, 240);
  for (const auto& [x, y, px, py] : {std::array{180, 110, 0, 0},
                                     {181, 111, 0, 0},
                                     {182, 109, 1, -1},
                                     {179, 108, -1, -1},
                                     {819, 589, 319, 239}})
    EXPECT_EQ(std::make_pair(PicturePointOf(p, x, y).x, PicturePointOf(p, x, y).y),
              std::make_pair(px, py));
}

}  // namespace
