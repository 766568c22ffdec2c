// The title menu's loop: the order in which it reads both players' keys and what each item does.
#include "frontend/frontend_fixture.h"
#include "shell/pacing.h"

namespace {

class MainLoopTest : public FrontEndTest {
 protected:
  void SetUp() override {
    FrontEndTest::SetUp();
    AddSceneLight();
  }
  // Runs the loop until it ends the process; the exit code, or nothing if it threw otherwise.
  static std::optional<int> RunMenu() {
    return ExitCodeOf([] { TitleMenu.Run(); });
  }
  static void RightClick() { HeadlessControl::Post(WM_RBUTTONDOWN, 0); }
};

TEST_F(MainLoopTest, Player0UpAndPlayer1DownInOnePassLeaveTheCursor) {
  int cursorAfter = -1;
  bool lit = false;
  KeyScript keys({{Up(0), Down(1)}}, [&](int) {
    cursorAfter = TitleMenu.cursor;
    lit = MenuShowsHighlighted(0);
    RightClick();
  });
  EXPECT_EQ(RunMenu(), 1);
  EXPECT_EQ(cursorAfter, 0);
  EXPECT_TRUE(lit);
}

TEST_F(MainLoopTest, Player0IsReadBeforePlayer1AndUpBeforeSelect) {
  // Player 0's up moves to QUIT before player 1's select is read: the game ends, with its light
  // given back. Read the other way round, select would have started a match.
  KeyScript keys({{Up(0), Select(1)}});
  EXPECT_EQ(RunMenu(), 1);
  EXPECT_EQ(TitleMenu.cursor, 2);
  EXPECT_EQ(LightFrame, nullptr);
  EXPECT_EQ(SceneLight, nullptr);
}

TEST_F(MainLoopTest, UpAndDownWrapAndKeysAreConsumed) {
  std::vector<int> cursors;
  KeyScript keys({{Up(1)}, {Up(0)}, {Down(0)}, {Down(1)}, {Down(1)}}, [&](int step) {
    cursors.push_back(TitleMenu.cursor);
    if (step == 4) RightClick();
  });
  EXPECT_EQ(RunMenu(), 1);
  EXPECT_EQ(cursors, (std::vector<int>{2, 1, 2, 0, 1}));
  EXPECT_EQ(KeyState[Up(0)] | KeyState[Up(1)] | KeyState[Down(0)] | KeyState[Down(1)], 0);
}

TEST_F(MainLoopTest, ConfigReturnsToTheMenuWithStartHighlighted) {
  int cursorAfter = -1;
  bool lit = false;
  // Down to CONFIG, select it, then select its EXIT row.
  KeyScript keys({{Down(0)}, {Select(0)}, {Select(1)}}, [&](int step) {
    if (step != 2) return;
    cursorAfter = TitleMenu.cursor;
    lit = MenuShowsHighlighted(0);
    RightClick();
  });
  EXPECT_EQ(RunMenu(), 1);
  EXPECT_EQ(cursorAfter, 0);
  EXPECT_TRUE(lit);
  EXPECT_EQ(FileBytes("option.dat"), std::string(4, '\0'));
}

TEST_F(MainLoopTest, StartPlaysAMatchUntilEscAndShowsTheMenuAgain) {
  bool inMatch = false, backdropBack = false, lit = false;
  int cursorAfter = -1;
  KeyScript keys({{Down(0)}, {Up(0)}, {Select(0)}, {VK_ESCAPE}}, [&](int step) {
    if (step == 2) inMatch = TitleMenu.craftFrame == nullptr && InScene(Match.craftFrame[0]);
    if (step != 3) return;
    cursorAfter = TitleMenu.cursor;
    backdropBack = InScene(TitleMenu.craftFrame) && InScene(TitleMenu.groundFrame);
    lit = MenuShowsHighlighted(0);
    RightClick();
  });
  EXPECT_EQ(RunMenu(), 1);
  EXPECT_TRUE(inMatch);
  EXPECT_EQ(cursorAfter, 0);
  EXPECT_TRUE(backdropBack);
  EXPECT_TRUE(lit);
}

TEST_F(MainLoopTest, AnIdleMenuSleepsBetweenPassesAndDrawsNothing) {
  int pumps = 0, presents = -1;
  HeadlessControl::SetPumpHook([&] {
    if (presents < 0) presents = HeadlessControl::PresentCount();
    if (++pumps == 1) HeadlessControl::PostAt(timeGetTime() + 1000, WM_RBUTTONDOWN, 0);
  });
  DWORD start = timeGetTime();
  EXPECT_EQ(RunMenu(), 1);
  // Each pass pumps twice and waits up to 10 ms for a message in between.
  EXPECT_EQ(timeGetTime() - start, 1000u);
  EXPECT_LE(pumps, 2 * 100 + 4);
  EXPECT_EQ(HeadlessControl::PresentCount(), presents);
}

}  // namespace
