// The window layer in headless operation: windows and their frame, the message queue, the
// virtual clock, the key table and the process exit.
#include "platform/win.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
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

TEST(WinKeys, ScancodesGiveVirtualKeysByPosition) {
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_A), UINT{'A'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_Z), UINT{'Z'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_1), UINT{'1'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_9), UINT{'9'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_0), UINT{'0'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_KP_0), VK_NUMPAD0);
  const SDL_Scancode keypad[] = {SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3,
                                 SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6,
                                 SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9};
  for (UINT digit = 1; digit <= 9; ++digit)
    EXPECT_EQ(VirtualKeyOfScancode(keypad[digit - 1]), VK_NUMPAD0 + digit) << digit;
  // Player 1's keys as the game names them.
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_KP_8), UINT{'h'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_KP_5), UINT{'e'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_LEFT), UINT{'%'});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RIGHT), UINT{'\''});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_DOWN), UINT{'('});
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_UP), VK_UP);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_LCTRL), VK_CONTROL);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RCTRL), VK_CONTROL);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_LSHIFT), VK_SHIFT);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RSHIFT), VK_SHIFT);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_ESCAPE), VK_ESCAPE);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_PAUSE), VK_PAUSE);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RETURN), VK_RETURN);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_SPACE), VK_SPACE);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_F1), VK_F1);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_F12), VK_F12);
  // Some keys have codes the game's table cannot hold; some have none at all.
  EXPECT_GE(VirtualKeyOfScancode(SDL_SCANCODE_LEFTBRACKET), 200u);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_UNKNOWN), 0u);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_APPLICATION), 0u);
}

TEST_F(WinTest, KeyAliasesChangeWhatTheKeyboardsKeysArriveAs) {
  HWND window = Open(320, 240);
  SetKeyAlias('I', VK_NUMPAD8);
  SetKeyAlias('K', 0);    // silenced
  SetKeyAlias(300, 'Q');  // no such code: ignored
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_I), VK_NUMPAD8);
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_K), 0u);
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_J), UINT{'J'});
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_KP_8), VK_NUMPAD8);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_I), UINT{'I'});  // the table itself stays

  // Keys from SDL's queue, as the keyboard delivers them: down, repeated and up.
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
  auto push = [](Uint32 type, SDL_Scancode scancode, bool repeat) {
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    e.key.keysym.scancode = scancode;
    e.key.repeat = repeat ? 1 : 0;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
  };
  push(SDL_KEYDOWN, SDL_SCANCODE_I, false);
  push(SDL_KEYDOWN, SDL_SCANCODE_I, true);
  push(SDL_KEYDOWN, SDL_SCANCODE_K, false);
  push(SDL_KEYUP, SDL_SCANCODE_I, false);
  received.clear();
  MSG msg;
  std::vector<LPARAM> lParams;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    lParams.push_back(msg.lParam);
    DispatchMessageA(&msg);
  }
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
  ASSERT_EQ(received.size(), 3u);
  for (const Received& r : received) {
    EXPECT_EQ(r.window, window);
    EXPECT_EQ(r.wParam, WPARAM{VK_NUMPAD8});
  }
  EXPECT_EQ(received[0].message, WM_KEYDOWN);
  EXPECT_EQ(received[1].message, WM_KEYDOWN);
  EXPECT_EQ(received[2].message, WM_KEYUP);
  EXPECT_EQ((lParams[0] >> 30) & 1, 0);  // first press
  EXPECT_EQ((lParams[1] >> 30) & 1, 1);  // auto-repeat

  SetKeyAlias('I', 'I');
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_I), UINT{'I'});
  SetKeyAlias('J', 'L');
  HeadlessControl::Enable(0);  // forgets every alias
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_J), UINT{'J'});
  EXPECT_EQ(DeliveredKeyOfScancode(SDL_SCANCODE_K), UINT{'K'});
}

TEST_F(WinTest, TheDrawingAreaHasTheRequestedSizeAndTheFrameMatchesTheMetrics) {
  HWND window = Open(320, 240);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ActiveWindow(), window);
  RECT client, frame;
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, 320);
  EXPECT_EQ(client.bottom - client.top, 240);
  ASSERT_TRUE(GetWindowRect(window, &frame));
  EXPECT_EQ(frame.left, HeadlessWindowLeft);
  EXPECT_EQ(frame.top, HeadlessWindowTop);
  EXPECT_EQ(frame.right - frame.left, 320 + 2 * GetSystemMetrics(SM_CXBORDER) + 4);
  EXPECT_EQ(frame.bottom - frame.top,
            240 + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4);
  POINT origin = ClientOriginOf(window);
  EXPECT_EQ(origin.x, frame.left + GetSystemMetrics(SM_CXBORDER) + 2);
  EXPECT_EQ(origin.y,
            frame.top + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER) + 2);

  HWND full = Open(640, 480, WS_POPUP | WS_BORDER | WS_SYSMENU);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(ClientOriginOf(full).x, 0);
  EXPECT_EQ(ClientOriginOf(full).y, 0);
  ASSERT_TRUE(GetClientRect(full, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
}

TEST_F(WinTest, ClassesMustBeCompleteAndRegisteredOnce) {
  WNDCLASSA windowClass;
  windowClass.lpszClassName = "NoProcWnd";
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  windowClass.lpfnWndProc = RecordingProc;
  windowClass.lpszClassName = nullptr;
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  windowClass.lpszClassName = "TestWnd";
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  EXPECT_EQ(
      CreateWindowExA(0, "OtherWnd", "x", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_STRNE(LastWindowError(), "");
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
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(ActiveWindow(), nullptr);
  // A handle kept after the window closed is refused everywhere.
  RECT rect;
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_FALSE(GetWindowRect(window, &rect));
  EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL));
  EXPECT_EQ(ClientOriginOf(window).x, 0);
  const uint32_t pixel = 0;
  PresentPixels(window, &pixel, 1, 1, 1);
  EXPECT_EQ(HeadlessControl::PresentCount(), 0);
}

TEST_F(WinTest, InputPostedBeforeTheWindowOpensReachesIt) {
  HeadlessControl::KeyDown('T');
  HWND window = Open(320, 240);
  HeadlessControl::Post(WM_RBUTTONDOWN, 0);
  received.clear();
  ASSERT_TRUE(Pump());
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].window, window);
  EXPECT_EQ(received[0].message, WM_KEYDOWN);
  EXPECT_EQ(received[0].wParam, WPARAM{'T'});
  EXPECT_EQ(received[1].message, WM_RBUTTONDOWN);
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

TEST_F(WinTest, CloseFromTheWindowManagerDestroysTheWindowAndQuitFollows) {
  HWND window = Open(320, 240);
  HeadlessControl::Post(WM_CLOSE, 0);
  received.clear();
  // The test's procedure hands WM_CLOSE to the default handling, which destroys the window; it
  // does not post the quit message itself, so the pump goes on.
  EXPECT_TRUE(Pump());
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].message, WM_CLOSE);
  EXPECT_EQ(received[1].message, WM_DESTROY);
  EXPECT_FALSE(IsWindow(window));
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
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_KEYUP);
  WaitMessageTimeout(5);
  EXPECT_EQ(timeGetTime(), 1035u);
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

TEST_F(WinTest, ThePumpHookRunsAtEveryLookAtTheQueue) {
  Open(320, 240);
  int looks = 0;
  HeadlessControl::SetPumpHook([&] {
    if (++looks == 2) HeadlessControl::KeyDown('Q');
  });
  received.clear();
  EXPECT_TRUE(Pump());  // looks: empty
  EXPECT_TRUE(Pump());  // looks: the hook posts; takes it; looks again: empty
  EXPECT_EQ(looks, 3);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].wParam, WPARAM{'Q'});
}

TEST_F(WinTest, PresentedFramesAreKeptForTestsRowByRow) {
  HWND window = Open(4, 2);
  const uint32_t pixels[] = {1, 2, 3, 4, 99, 99, 5, 6, 7, 8, 99, 99};  // pitch 6
  PresentPixels(window, pixels, 4, 2, 6);
  EXPECT_EQ(HeadlessControl::PresentCount(), 1);
  int width = 0, height = 0;
  const uint32_t* shown = HeadlessControl::LastPresentedPixels(&width, &height);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(std::vector<uint32_t>(shown, shown + 8),
            (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(WinTest, TheIconComesFromTheDataDirectoryAndMayBeMissing) {
  fs::path home = fs::current_path();
  char pattern[] = "/tmp/gronka-icon-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  fs::current_path(pattern);
  EXPECT_EQ(LoadIconA(nullptr, "GRK"), nullptr);
  fs::create_directory("data");
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, 16, 16, 32, SDL_PIXELFORMAT_RGB888);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(SDL_SaveBMP(image, "data/grk.bmp"), 0);
  SDL_FreeSurface(image);
  HICON icon = LoadIconA(nullptr, "GRK");
  fs::current_path(home);
  fs::remove_all(pattern);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(static_cast<SDL_Surface*>(icon)->w, 16);
}

}  // namespace
