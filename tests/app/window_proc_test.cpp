// The window procedure and the keyboard tables, driven through the message pump as the game
// drives them.
#include <cstring>

#include "app/app.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"
#include "support/headless.h"

namespace {

class WindowProcTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_NE(OpenHeadlessWindow(), nullptr);
  }
};

TEST_F(WindowProcTest, KeysDownAndUpReachKeyStateThroughThePump) {
  HeadlessControl::KeyDown('T');
  HeadlessControl::KeyDown(VK_NUMPAD8);
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState['T'], 1);
  EXPECT_EQ(KeyState[VK_NUMPAD8], 1);

  // Up after a screen consumed the key leaves no state behind.
  KeyState['T'] = 0;
  HeadlessControl::KeyUp('T');
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState['T'], 0);
  EXPECT_EQ(KeyState[VK_NUMPAD8], 1);

  // A press and release between two polls is lost.
  HeadlessControl::KeyDown('G');
  HeadlessControl::KeyUp('G');
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState['G'], 0);
}

TEST_F(WindowProcTest, CodesOf200AndMoreChangeNothing) {
  // A write past the table would change the globals behind it (the sanitizer build sees it).
  for (WPARAM code : {WPARAM{200}, WPARAM{255}, WPARAM{0xDE}, ~WPARAM{0}}) {
    EXPECT_EQ(MainWndProc(MainWindow, WM_KEYDOWN, code, 0), 1);
    EXPECT_EQ(MainWndProc(MainWindow, WM_KEYUP, code, 0), 1);
  }
  uint8_t none[KeyCount] = {};
  EXPECT_EQ(std::memcmp(KeyState, none, KeyCount), 0);
  EXPECT_EQ(WaitEnabled, 1);
  // The last code of the table is recorded.
  HeadlessControl::KeyDown(199);
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState[199], 1);
}

TEST_F(WindowProcTest, CtrlSwitchesPacingOffWhileHeldAndPlayerKeysStillCount) {
  HeadlessControl::KeyDown(VK_CONTROL);
  HeadlessControl::KeyDown('Z');
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(WaitEnabled, 0);
  EXPECT_EQ(KeyState['Z'], 1);
  EXPECT_EQ(KeyState[VK_CONTROL], 1);
  HeadlessControl::KeyUp(VK_CONTROL);
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(WaitEnabled, 1);
  EXPECT_EQ(KeyState[VK_CONTROL], 0);
}

TEST_F(WindowProcTest, PauseEndsTheProcessAtTheNextPumpAndIsStillRecorded) {
  HeadlessControl::KeyDown(VK_PAUSE);
  EXPECT_EQ(ExitCodeOf([] { WaitFrame(0); }), 1);
  EXPECT_EQ(KeyState[VK_PAUSE], 1);
  EXPECT_FALSE(IsWindow(MainWindow));
}

TEST_F(WindowProcTest, RightClickEndsTheProcessAtTheNextPump) {
  EXPECT_EQ(MainWndProc(MainWindow, WM_RBUTTONDOWN, 0, 0), 0);
  // Nothing ends before the pump sees the quit message.
  EXPECT_FALSE(IsWindow(MainWindow));
  HeadlessControl::KeyDown('T');
  EXPECT_EQ(ExitCodeOf([] { WaitFrame(50); }), 1);
}

TEST_F(WindowProcTest, ClosingTheWindowEndsTheProcess) {
  HeadlessControl::Post(WM_CLOSE, 0);
  EXPECT_EQ(ExitCodeOf([] { WaitFrame(0); }), 1);
  EXPECT_FALSE(IsWindow(MainWindow));
}

TEST_F(WindowProcTest, PumpReportsTheQuitMessage) {
  EXPECT_TRUE(PumpMessages());
  DestroyWindow(MainWindow);
  EXPECT_FALSE(PumpMessages());
  EXPECT_TRUE(PumpMessages());  // taken from the queue
}

}  // namespace
