// The players' other controls: gamepads pressing each player's keys, and I, K, J, L standing in
// for player 1's keypad.
#include <SDL.h>

#include <algorithm>

#include "support/headless.h"
#include "support/pads.h"

namespace {

class ExtraControlsTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_NE(OpenHeadlessWindow(), nullptr);
    ConfigureExtraControls();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is connected";
  }
  void TearDown() override {
    for (VirtualPad& pad : pads_) pad.Detach();
    HeadlessControl::Enable(0);  // closes the game's side of the pads
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    HeadlessTest::TearDown();
  }
  static void Key(SDL_Scancode scancode, bool down) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    SDL_PushEvent(&e);
  }

  VirtualPad pads_[2] = {{1}, {2}};
};

TEST_F(ExtraControlsTest, IKJLPressPlayer1sKeypadKeysAndNothingElseUsesThem) {
  const SDL_Scancode keys[] = {SDL_SCANCODE_I, SDL_SCANCODE_K, SDL_SCANCODE_J, SDL_SCANCODE_L};
  const KeyRole roles[] = {RoleUp, RoleDown, RoleLeft, RoleRight};
  for (int i = 0; i < 4; ++i) {
    Key(keys[i], true);
    ASSERT_TRUE(PumpMessages());
    EXPECT_EQ(KeyState[PlayerKey(1, roles[i])], 1) << i;
    Key(keys[i], false);
    ASSERT_TRUE(PumpMessages());
    EXPECT_EQ(KeyState[PlayerKey(1, roles[i])], 0) << i;
  }
  Key(SDL_SCANCODE_KP_8, true);  // the keypad itself still works as ever
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState[PlayerKey(1, RoleUp)], 1);
}

TEST_F(ExtraControlsTest, EachPadPressesItsPlayersKeys) {
  for (VirtualPad& pad : pads_) pad.Attach();
  ASSERT_TRUE(PumpMessages());
  const struct {
    SDL_GameControllerButton button;
    int role;  // -1: Esc
  } controls[] = {
      {SDL_CONTROLLER_BUTTON_DPAD_UP, RoleUp},     {SDL_CONTROLLER_BUTTON_DPAD_DOWN, RoleDown},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, RoleLeft}, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, RoleRight},
      {SDL_CONTROLLER_BUTTON_A, RoleFire},         {SDL_CONTROLLER_BUTTON_B, RoleSpare},
      {SDL_CONTROLLER_BUTTON_Y, RoleCamera},       {SDL_CONTROLLER_BUTTON_START, -1}};
  for (int player = 0; player < 2; ++player)
    for (const auto& control : controls) {
      SCOPED_TRACE(testing::Message() << player << "/" << control.button);
      const uint8_t key = control.role < 0 ? VK_ESCAPE : PlayerKey(player, control.role);
      pads_[player].Button(control.button, true);
      ASSERT_TRUE(PumpMessages());
      EXPECT_EQ(KeyState[key], 1);
      EXPECT_EQ(std::count(KeyState, KeyState + KeyCount, 1), 1);
      pads_[player].Button(control.button, false);
      ASSERT_TRUE(PumpMessages());
      EXPECT_EQ(KeyState[key], 0);
    }
  // The stick steers as the d-pad does.
  pads_[1].Axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState[PlayerKey(1, RoleLeft)], 1);
}

}  // namespace
