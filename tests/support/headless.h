// Running game code in tests without a display.
//
// HeadlessTest is the base fixture for every test that runs code of the game: it switches the
// platform layer to headless operation (no SDL video; messages come from what the test posts; a
// virtual clock starting at 0 that moves only when the test advances it or the game waits),
// installs an exit handler that throws ProcessExit instead of ending the process, and puts the
// shell's globals back to their values at program start.
//
//   class MenuTest : public HeadlessTest {};
//   TEST_F(MenuTest, RightClickEnds) {
//     OpenHeadlessWindow();
//     HeadlessControl::Post(WM_RBUTTONDOWN, 0);
//     EXPECT_EQ(ExitCodeOf([] { WaitFrame(0); }), 1);
//   }
//
// A wait that would move the virtual clock more than ten minutes past the start throws
// std::runtime_error (HeadlessControl::SetTimeLimit), so a game loop that waits for input that
// never comes fails the test instead of hanging it; call SetTimeLimit again for longer runs.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/win.h"

// Thrown by the fixture's exit handler where the process would have ended with `code`.
struct ProcessExit {
  int code;
};

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// The shell's globals as at program start: KeyState all 0, WaitEnabled 1, Options all 0,
// FullScreen 0, 320 x 240, FrameStartTime 0, ClientOrigin (0, 0), MainWindow null.
void ResetShellState();

// Registers the game's window class (window procedure MainWndProc) if needed and opens a
// ScreenWidth x ScreenHeight window as WinMain does, windowed or full screen by FullScreen, and
// stores it in MainWindow. Posted messages then reach MainWndProc through the game's pumps.
HWND OpenHeadlessWindow();

// Runs `body`; returns the exit code if it ended the process (ProcessExit), nothing if it
// returned normally.
std::optional<int> ExitCodeOf(const std::function<void()>& body);
