// Gamepads as key messages, with SDL's virtual joysticks standing in for real pads: places in
// connection order and across reconnections, the controls and their keys, the stick's dead zone,
// and the auto-repeat of a held direction against the headless clock.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/win.h"
#include "support/pads.h"

namespace {

// A key message as {message, key, repeat bit}.
using Key = std::vector<UINT>;
std::vector<Key> received;
HWND window = nullptr;

LRESULT RecordingProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_KEYUP) {
    EXPECT_EQ(w, window);
    received.push_back({message, UINT(wParam), message == WM_KEYDOWN && (uint32_t(lParam) >> 30)});
  }
  return DefWindowProcA(w, message, wParam, lParam);
}

// Each place's keys: distinct codes, so that every message tells which control and place sent it.
GamepadKeyMap KeysOfPlace(int place) {
  GamepadKeyMap map;
  for (int c = 0; c < PadControlCount; ++c) map.keys[c] = (place == 0 ? 'A' : 'a') + UINT(c);
  map.keys[PadX] = 0;  // sends nothing
  return map;
}
UINT K(int place, GamepadControl control) {
  return KeysOfPlace(place).keys[control];
}
Key Down(UINT key, bool repeat = false) {
  return {WM_KEYDOWN, key, repeat};
}
Key Up(UINT key) {
  return {WM_KEYUP, key, 0};
}

class GamepadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessControl::Enable(1000);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is connected";
    WNDCLASSA windowClass;
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "PadWnd";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    window = CreateWindowExA(0, "PadWnd", "Pads", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                             300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SetGamepadKeys(0, KeysOfPlace(0));
    SetGamepadKeys(1, KeysOfPlace(1));
  }
  void TearDown() override {
    for (VirtualPad* pad : {&a, &b, &c}) pad->Detach();
    HeadlessControl::Enable(0);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }
  // Takes every waiting message and dispatches it, as the game's pump does; returns the keys that
  // reached the window procedure.
  static std::vector<Key> Pump() {
    received.clear();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && GetMessageA(&msg, nullptr, 0, 0))
      DispatchMessageA(&msg);
    return received;
  }
  using Keys = std::vector<Key>;
  // A wait with nothing to wake it runs its whole time.
  static void ExpectWholeWait() {
    const DWORD before = timeGetTime();
    WaitMessageTimeout(1000);
    EXPECT_EQ(timeGetTime(), before + 1000);
  }

  VirtualPad a{1}, b{2}, c{3};
};

TEST_F(GamepadTest, PadsTakePlacesInConnectionOrderAndComeBackToTheirOwn) {
  b.Attach();
  a.Attach();
  c.Attach();
  EXPECT_EQ(Pump(), Keys{});
  EXPECT_EQ(GamepadInPlace(0), b.instance);
  EXPECT_EQ(GamepadInPlace(1), a.instance);
  a.Button(SDL_CONTROLLER_BUTTON_A, true);
  b.Button(SDL_CONTROLLER_BUTTON_B, true);
  c.Button(SDL_CONTROLLER_BUTTON_A, true);  // waits without a place: nothing
  EXPECT_EQ(Pump(), (Keys{Down(K(1, PadA)), Down(K(0, PadB))}));

  // The waiting pad takes the first place that frees, and what it holds counts at once; the pad
  // that left lets go of its keys.
  b.Detach();
  EXPECT_EQ(Pump(), (Keys{Up(K(0, PadB)), Down(K(0, PadA))}));
  EXPECT_EQ(GamepadInPlace(0), c.instance);
  // The pad that left comes back to find both places taken.
  b.Attach();
  b.Button(SDL_CONTROLLER_BUTTON_B, true);
  EXPECT_EQ(Pump(), Keys{});

  // All leave; a comes back first and still gets its place 1, and b the one left.
  for (VirtualPad* pad : {&c, &a, &b}) pad->Detach();
  Pump();
  a.Attach();
  Pump();
  EXPECT_EQ(GamepadInPlace(0), -1);
  EXPECT_EQ(GamepadInPlace(1), a.instance);
  b.Attach();
  Pump();
  EXPECT_EQ(GamepadInPlace(0), b.instance);
}

TEST_F(GamepadTest, UnreadControlsSendNothingAndHeldKeysFollowNewKeys) {
  a.Attach();
  Pump();
  // A control without a key, and buttons and axes the layer does not read, send nothing.
  a.Button(SDL_CONTROLLER_BUTTON_X, true);
  a.Button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
  a.Axis(SDL_CONTROLLER_AXIS_RIGHTX, 32767);
  a.Axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
  EXPECT_EQ(Pump(), Keys{});

  // Held keys follow new keys; keys for places that do not exist are ignored.
  a.Button(SDL_CONTROLLER_BUTTON_Y, true);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadY))});
  GamepadKeyMap keys = KeysOfPlace(0);
  keys.keys[PadY] = '7';
  SetGamepadKeys(0, keys);
  EXPECT_EQ(Pump(), (Keys{Up(K(0, PadY)), Down('7')}));
  keys.keys[PadY] = '8';
  SetGamepadKeys(2, keys);
  SetGamepadKeys(-1, keys);
  EXPECT_EQ(Pump(), Keys{});
  // When the subsystem stops, every held key is let go and no repeat is left to wait for.
  a.joystick = nullptr;  // SDL closes it
  a.instance = -1;
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  EXPECT_EQ(Pump(), Keys{Up('7')});
  EXPECT_EQ(GamepadInPlace(0), -1);
  ExpectWholeWait();
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0);
}

TEST_F(GamepadTest, TheStickCountsFromFortyPercentAndLetsGoInsideThirty) {
  a.Attach();
  Pump();
  // 40 % of 32767 is 13106, 30 % is 9830: the exact edges, on both sides of both axes.
  const struct {
    SDL_GameControllerAxis axis;
    int value;
    std::vector<Key> keys;
  } steps[] = {
      {SDL_CONTROLLER_AXIS_LEFTY, -13105, {}},
      {SDL_CONTROLLER_AXIS_LEFTY, -13106, {Down(K(0, PadUp))}},
      {SDL_CONTROLLER_AXIS_LEFTY, -9831, {}},
      {SDL_CONTROLLER_AXIS_LEFTY, -9830, {Up(K(0, PadUp))}},
      {SDL_CONTROLLER_AXIS_LEFTY, -13000, {}},
      {SDL_CONTROLLER_AXIS_LEFTY, 13105, {}},
      {SDL_CONTROLLER_AXIS_LEFTY, 13106, {Down(K(0, PadDown))}},
      {SDL_CONTROLLER_AXIS_LEFTY, 9831, {}},
      {SDL_CONTROLLER_AXIS_LEFTY, 9830, {Up(K(0, PadDown))}},
      {SDL_CONTROLLER_AXIS_LEFTX, 32767, {Down(K(0, PadRight))}},
      // Straight through the middle from one side to the other.
      {SDL_CONTROLLER_AXIS_LEFTX, -32768, {Up(K(0, PadRight)), Down(K(0, PadLeft))}},
      {SDL_CONTROLLER_AXIS_LEFTX, -9831, {}},
      {SDL_CONTROLLER_AXIS_LEFTX, -9830, {Up(K(0, PadLeft))}},
      {SDL_CONTROLLER_AXIS_LEFTX, 13106, {Down(K(0, PadRight))}},
      {SDL_CONTROLLER_AXIS_LEFTY, 20000, {Down(K(0, PadDown))}},  // a diagonal holds two keys
      {SDL_CONTROLLER_AXIS_LEFTX, 0, {Up(K(0, PadRight))}},
  };
  for (const auto& s : steps) {
    a.Axis(s.axis, s.value);
    EXPECT_EQ(Pump(), s.keys) << s.value;
  }
  // A direction on both d-pad and stick is one key, let go when both are.
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
  EXPECT_EQ(Pump(), Keys{});
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false);
  EXPECT_EQ(Pump(), Keys{});
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, 0);
  EXPECT_EQ(Pump(), Keys{Up(K(0, PadDown))});
}

TEST_F(GamepadTest, AHeldDirectionRepeatsLikeTheKeyboardByTheClock) {
  a.Attach();
  b.Attach();
  Pump();
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadDown))});  // at 1000
  HeadlessControl::SetClock(1000 + GamepadRepeatDelay - 1);
  EXPECT_EQ(Pump(), Keys{});
  HeadlessControl::SetClock(1000 + GamepadRepeatDelay);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadDown), true)});
  // A wait ends for the next repeat, of the pad whose repeat comes first.
  b.Button(SDL_CONTROLLER_BUTTON_DPAD_UP, true);
  EXPECT_EQ(Pump(), Keys{Down(K(1, PadUp))});
  WaitMessageTimeout(1000);
  EXPECT_EQ(timeGetTime(), 1000 + GamepadRepeatDelay + GamepadRepeatInterval);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadDown), true)});
  MSG msg;  // and GetMessage waits for the next
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(timeGetTime(), 1000 + GamepadRepeatDelay + 2 * GamepadRepeatInterval);
  EXPECT_EQ(msg.wParam, WPARAM{K(0, PadDown)});
  b.Button(SDL_CONTROLLER_BUTTON_DPAD_UP, false);
  EXPECT_EQ(Pump(), Keys{Up(K(1, PadUp))});
  // A pump that comes late gets one repeat, and the next follows a whole interval later.
  HeadlessControl::SetClock(3000);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadDown), true)});
  HeadlessControl::SetClock(3000 + GamepadRepeatInterval - 1);
  EXPECT_EQ(Pump(), Keys{});
  HeadlessControl::SetClock(3000 + GamepadRepeatInterval);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadDown), true)});

  // Another control pressed stops the repeat, as on a keyboard.
  a.Button(SDL_CONTROLLER_BUTTON_A, true);
  EXPECT_EQ(Pump(), Keys{Down(K(0, PadA))});
  HeadlessControl::AdvanceClock(2000);
  EXPECT_EQ(Pump(), Keys{});
  // A direction let go stops repeating, and waits run their whole time again.
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false);
  EXPECT_EQ(Pump(), Keys{Up(K(0, PadDown))});
  ExpectWholeWait();
  // Up, the first of the directions, repeats too.
  b.Button(SDL_CONTROLLER_BUTTON_DPAD_UP, true);
  EXPECT_EQ(Pump(), Keys{Down(K(1, PadUp))});
  const DWORD held = timeGetTime();
  WaitMessageTimeout(2 * GamepadRepeatDelay);
  EXPECT_EQ(timeGetTime(), held + GamepadRepeatDelay);
}

}  // namespace
