// Keys held when Esc ends a match are not presses on the title menu: player 2 holding up and fire
// as the match ends must not move the menu to "QUIT" and choose it.
#include <gtest/gtest.h>

#include "support/game.h"

namespace {

TEST(TitleMenuTest, KeysHeldWhenAMatchEndsAreNotMenuPresses) {
  game::WorkDirectory work;
  int step = 0, menuPumps = 0, cursor = -1;
  const int code = game::Run([&] {
    MSG waiting;
    if (PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE) || TitleScene.frame != nullptr) return;
    const bool inMatch = Match.groundFrame != nullptr;
    if (step == 0 && !inMatch && TitleMenu.craftFrame != nullptr) {
      HeadlessControl::KeyDown(PlayerKey(0, RoleFire));  // START
      step = 1;
    } else if (step == 1 && inMatch && Match.itemActive) {
      HeadlessControl::KeyUp(PlayerKey(0, RoleFire));
      HeadlessControl::KeyDown(PlayerKey(1, RoleUp));
      HeadlessControl::KeyDown(PlayerKey(1, RoleFire));
      HeadlessControl::KeyDown(VK_ESCAPE);
      step = 2;
    } else if (step == 2 && !inMatch && ++menuPumps == 50) {
      cursor = TitleMenu.cursor;
      HeadlessControl::KeyDown(VK_PAUSE);  // ends the program
    }
  });
  game::Release();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(menuPumps, 50) << "the program ended on the menu by itself";
  EXPECT_EQ(cursor, 0);
}

}  // namespace
