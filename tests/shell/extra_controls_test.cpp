// The players' other controls: gamepads pressing each player's keys, and I, K, J, L standing in
// for player 1's keypad.
#include <SDL.h>

#include <algorithm>

#include "support/headless.h"

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
    for (SDL_Joystick* pad : pads_) SDL_JoystickClose(pad);
    HeadlessControl::Enable(0);  // closes the game's side of the pads
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    HeadlessTest::TearDown();
  }
  // Plugs in another virtual pad with SDL's standard controls.
  SDL_Joystick* Plug() {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
    desc.axis_mask = (1u << desc.naxes) - 1;
    desc.button_mask = (1u << desc.nbuttons) - 1;
    desc.product_id = static_cast<Uint16>(pads_.size() + 1);
    desc.name = "Test pad";
    SDL_Joystick* pad = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));
    EXPECT_NE(pad, nullptr) << SDL_GetError();
    pads_.push_back(pad);
    return pad;
  }
  static void Key(SDL_Scancode scancode, bool down) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    SDL_PushEvent(&e);
  }

  std::vector<SDL_Joystick*> pads_;
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
  SDL_Joystick* pads[2] = {Plug(), Plug()};
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
      SDL_JoystickSetVirtualButton(pads[player], control.button, 1);
      ASSERT_TRUE(PumpMessages());
      EXPECT_EQ(KeyState[key], 1);
      EXPECT_EQ(std::count(KeyState, KeyState + KeyCount, 1), 1);
      SDL_JoystickSetVirtualButton(pads[player], control.button, 0);
      ASSERT_TRUE(PumpMessages());
      EXPECT_EQ(KeyState[key], 0);
    }
  // The stick steers as the d-pad does.
  SDL_JoystickSetVirtualAxis(pads[1], SDL_CONTROLLER_AXIS_LEFTX, -32768);
  ASSERT_TRUE(PumpMessages());
  EXPECT_EQ(KeyState[PlayerKey(1, RoleLeft)], 1);
}

}  // namespace
