// The message pump and frame pacing on the headless clock.
#include "shell/pacing.h"

#include "app/app.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "support/headless.h"

namespace {

class PacingTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_NE(OpenHeadlessWindow(), nullptr);
    // Every pump looks at the queue once more than it finds messages: with nothing queued, one
    // look is one pump.
    HeadlessControl::SetPumpHook([this] { ++pumps; });
  }
  void StartFrameAt(DWORD time) {
    HeadlessControl::SetClock(time);
    BeginFrame();
    pumps = 0;
  }
  int pumps = 0;
};

// The wait ends 50 ms after the frame's start, without spinning; a frame that took longer is not
// waited for and nothing carries over; the deadline is compared unsigned across the clock's wrap.
TEST_F(PacingTest, WaitsUntilFiftyMillisecondsAfterTheFrameStart) {
  const struct {
    DWORD start, clock, end;  // the frame's start, the clock when the wait begins, when it ends
    int mostPumps;
  } cases[] = {{1000, 1030, 1050, 4},
               {2000, 2070, 2070, 2},
               {0xFFFFFFECu, 0xFFFFFFECu, 0xFFFFFFECu, 2},  // start + 50 wraps to 30: passed
               {0xFFFFFFA0u, 20, 20, 2}};                   // 116 ms, across the wrap
  for (const auto& c : cases) {
    StartFrameAt(c.start);
    HeadlessControl::SetClock(c.clock);
    WaitFrame(50);
    EXPECT_EQ(timeGetTime(), c.end) << c.start;
    EXPECT_LE(pumps, c.mostPumps) << c.start;
    EXPECT_GE(pumps, 2) << c.start;
  }
}

TEST_F(PacingTest, AKeyArrivingDuringTheWaitIsRecordedInThatWait) {
  StartFrameAt(1000);
  HeadlessControl::PostAt(1020, WM_KEYDOWN, 'Z');
  WaitFrame(50);
  EXPECT_EQ(KeyState['Z'], 1);
  EXPECT_EQ(timeGetTime(), 1050u);
}

TEST_F(PacingTest, ZeroMillisecondsPumpsTwiceAndSleepsBrieflyButWakesForAKey) {
  WaitFrame(0);  // FrameStartTime never set
  EXPECT_EQ(pumps, 2);
  StartFrameAt(1000);
  WaitFrame(0);
  EXPECT_GT(timeGetTime(), 1000u);
  EXPECT_LE(timeGetTime(), 1010u);

  StartFrameAt(2000);
  HeadlessControl::PostAt(2003, WM_KEYDOWN, 'G');
  WaitFrame(0);
  EXPECT_EQ(timeGetTime(), 2003u);
  EXPECT_EQ(KeyState['G'], 1);
}

TEST_F(PacingTest, CtrlHeldEndsTheWaitAfterTwoPumps) {
  HeadlessControl::KeyDown(VK_CONTROL);
  ASSERT_TRUE(PumpMessages());
  StartFrameAt(1000);
  WaitFrame(50);
  EXPECT_EQ(WaitEnabled, 0);
  EXPECT_EQ(pumps, 2);
  EXPECT_EQ(timeGetTime(), 1000u);
}

TEST_F(PacingTest, DestroyingTheWindowDuringAFrameEndsTheProcessInTheNextWait) {
  StartFrameAt(1000);
  DestroyWindow(MainWindow);
  EXPECT_EQ(ExitCodeOf([] { WaitFrame(50); }), 1);
  EXPECT_EQ(pumps, 1);

  // And a click arriving during a wait ends it there.
  ASSERT_NE(OpenHeadlessWindow(), nullptr);
  StartFrameAt(2000);
  HeadlessControl::PostAt(2010, WM_RBUTTONDOWN, 0);
  EXPECT_EQ(ExitCodeOf([] { WaitFrame(50); }), 1);
  EXPECT_EQ(timeGetTime(), 2010u);
}

TEST_F(PacingTest, DrawingAreaPositionFollowsTheWindowAndIsZeroInFullScreen) {
  POINT origin = ClientOriginOf(MainWindow);
  EXPECT_NE(origin.x, 0);
  UpdateClientOrigin();
  EXPECT_EQ(ClientOrigin.x, origin.x);
  EXPECT_EQ(ClientOrigin.y, origin.y);
  EXPECT_EQ(DrawingAreaPosition().y, origin.y);

  FullScreen = 1;
  UpdateClientOrigin();
  EXPECT_EQ(ClientOrigin.x + ClientOrigin.y, 0);
}

}  // namespace
