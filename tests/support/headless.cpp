#include "support/headless.h"

#include <cstring>

#include "shell/app.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "shell/pacing.h"

namespace {
constexpr DWORD TenMinutes = 10 * 60 * 1000;
}  // namespace

void HeadlessTest::SetUp() {
  HeadlessControl::Enable(0);
  HeadlessControl::SetTimeLimit(TenMinutes);
  SetExitHandler([](int code) { throw ProcessExit{code}; });
  ResetShellState();
}

void HeadlessTest::TearDown() {
  SetExitHandler(nullptr);
  HeadlessControl::Enable(0);
  ResetShellState();
}

void ResetShellState() {
  std::memset(KeyState, 0, sizeof KeyState);
  WaitEnabled = 1;
  std::memset(Options, 0, sizeof Options);
  FullScreen = 0;
  ScreenWidth = 320;
  ScreenHeight = 240;
  FrameStartTime = 0;
  ClientOrigin = ClientOriginPoint{};
  MainWindow = nullptr;
}

HWND OpenHeadlessWindow() {
  WNDCLASSA windowClass;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.lpszClassName = "PlayfieldWnd";
  RegisterClassA(&windowClass);  // fails harmlessly when it is registered already
  DWORD style = FullScreen != 0 ? (WS_POPUP | WS_BORDER | WS_SYSMENU)
                                : (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  int width = ScreenWidth + 2 * GetSystemMetrics(SM_CXBORDER) + 4;
  int height =
      ScreenHeight + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4;
  MainWindow = CreateWindowExA(WS_EX_APPWINDOW, "PlayfieldWnd", "GRONKA", style, CW_USEDEFAULT,
                               CW_USEDEFAULT, width, height, nullptr, nullptr, nullptr, nullptr);
  return MainWindow;
}

std::optional<int> ExitCodeOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const ProcessExit& exit) {
    return exit.code;
  }
  return std::nullopt;
}
