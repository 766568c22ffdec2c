// Gamepads as key messages, with SDL's virtual joysticks standing in for real pads: places in
// connection order and across reconnections, the controls and their keys, the stick's dead zone,
// and the auto-repeat of a held direction against the headless clock.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win.h"

namespace {

struct Received {
  HWND window;
  UINT message;
  WPARAM key;
  bool repeat;  // lParam's previous-state bit on a key-down
};
std::vector<Received> received;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_KEYUP)
    received.push_back({window, message, wParam,
                        message == WM_KEYDOWN && ((static_cast<uint32_t>(lParam) >> 30) & 1) != 0});
  return DefWindowProcA(window, message, wParam, lParam);
}

// A pad with every button and axis of SDL's standard controller, numbered as SDL numbers them.
class VirtualPad {
 public:
  // Pads with the same product number are the same model with the same GUID: a pad attached again
  // with its old product number is that pad coming back.
  explicit VirtualPad(uint16_t product) : product_(product) {}
  ~VirtualPad() { Close(); }
  VirtualPad(const VirtualPad&) = delete;
  VirtualPad& operator=(const VirtualPad&) = delete;

  void Attach() {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
    desc.axis_mask = (1u << desc.naxes) - 1;
    desc.button_mask = (1u << desc.nbuttons) - 1;
    desc.vendor_id = 0x1234;
    desc.product_id = product_;
    name_ = "Test pad " + std::to_string(product_);
    desc.name = name_.c_str();
    int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    joystick_ = SDL_JoystickOpen(index);
    ASSERT_NE(joystick_, nullptr) << SDL_GetError();
    instance = SDL_JoystickInstanceID(joystick_);
  }
  void Detach() {
    SDL_JoystickID id = instance;
    Close();
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }
  // SDL closed every joystick when its subsystem stopped.
  void Abandon() {
    joystick_ = nullptr;
    instance = -1;
  }
  void Button(SDL_GameControllerButton button, bool down) {
    ASSERT_EQ(SDL_JoystickSetVirtualButton(joystick_, button, down), 0);
  }
  void Axis(SDL_GameControllerAxis axis, int value) {
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(joystick_, axis, static_cast<Sint16>(value)), 0);
  }

  int instance = -1;

 private:
  void Close() {
    if (joystick_) SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
    instance = -1;
  }
  uint16_t product_;
  std::string name_;
  SDL_Joystick* joystick_ = nullptr;
};

// Each place's keys: distinct codes, so that every message tells which control and place sent it.
GamepadKeyMap KeysOfPlace(int place) {
  GamepadKeyMap map;
  const UINT base = place == 0 ? 'A' : 'a';
  for (int c = 0; c < PadControlCount; ++c) map.keys[c] = base + static_cast<UINT>(c);
  map.keys[PadX] = 0;  // sends nothing
  return map;
}
UINT KeyOf(int place, GamepadControl control) {
  return KeysOfPlace(place).keys[control];
}

class GamepadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessControl::Enable(1000);
    received.clear();
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
  // Takes every waiting message and dispatches it, as the game's pump does; returns what reached
  // the window procedure.
  std::vector<Received> Pump() {
    received.clear();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!GetMessageA(&msg, nullptr, 0, 0)) break;
      DispatchMessageA(&msg);
    }
    return received;
  }
  // Pumps and expects exactly one key message.
  void ExpectKey(UINT message, UINT key, bool repeat = false) {
    auto got = Pump();
    ASSERT_EQ(got.size(), 1u) << "key " << key;
    EXPECT_EQ(got[0].window, window);
    EXPECT_EQ(got[0].message, message);
    EXPECT_EQ(got[0].key, WPARAM{key});
    EXPECT_EQ(got[0].repeat, repeat);
  }
  // Pumps and expects one key let go, then another pressed.
  void ExpectUpThenDown(UINT up, UINT down) {
    auto got = Pump();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(std::make_pair(got[0].message, got[0].key),
              std::make_pair(UINT{WM_KEYUP}, WPARAM{up}));
    EXPECT_EQ(std::make_pair(got[1].message, got[1].key),
              std::make_pair(UINT{WM_KEYDOWN}, WPARAM{down}));
  }
  void ExpectNothing() { EXPECT_TRUE(Pump().empty()); }
  // A wait with nothing to wake it runs its whole time.
  void ExpectWholeWait() {
    DWORD before = timeGetTime();
    WaitMessageTimeout(1000);
    EXPECT_EQ(timeGetTime(), before + 1000);
  }

  HWND window = nullptr;
  VirtualPad a{1}, b{2}, c{3};
};

TEST_F(GamepadTest, TheFirstTwoPadsTakeThePlacesInConnectionOrderAndAThirdWaits) {
  b.Attach();
  a.Attach();
  c.Attach();
  ExpectNothing();
  EXPECT_EQ(GamepadInPlace(0), b.instance);
  EXPECT_EQ(GamepadInPlace(1), a.instance);

  a.Button(SDL_CONTROLLER_BUTTON_A, true);
  ExpectKey(WM_KEYDOWN, KeyOf(1, PadA));
  b.Button(SDL_CONTROLLER_BUTTON_A, true);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadA));
  c.Button(SDL_CONTROLLER_BUTTON_A, true);
  ExpectNothing();

  // The waiting pad takes the first place that frees, and what it holds counts at once; the pad
  // that left lets go of its keys.
  b.Detach();
  ExpectUpThenDown(KeyOf(0, PadA), KeyOf(0, PadA));
  EXPECT_EQ(GamepadInPlace(0), c.instance);

  // The pad that left comes back to find both places taken.
  b.Attach();
  b.Button(SDL_CONTROLLER_BUTTON_B, true);
  ExpectNothing();
}

TEST_F(GamepadTest, APadThatComesBackGetsItsOwnPlaceWhateverTheOrder) {
  a.Attach();
  b.Attach();
  Pump();
  // Both leave; the second comes back first and still gets place 1.
  a.Detach();
  b.Detach();
  Pump();
  b.Attach();
  Pump();
  EXPECT_EQ(GamepadInPlace(0), -1);
  EXPECT_EQ(GamepadInPlace(1), b.instance);
  b.Button(SDL_CONTROLLER_BUTTON_START, true);
  ExpectKey(WM_KEYDOWN, KeyOf(1, PadStart));

  // A new pad takes the free place that was the other pad's.
  c.Attach();
  Pump();
  EXPECT_EQ(GamepadInPlace(0), c.instance);
}

TEST_F(GamepadTest, APadArrivingAsAnotherLeavesIsFoundAllTheSame) {
  a.Attach();
  b.Attach();
  Pump();
  // SDL numbers c behind a and b when it arrives; by the time the layer looks, a has gone.
  c.Attach();
  a.Detach();
  Pump();
  EXPECT_EQ(GamepadInPlace(0), c.instance);
  EXPECT_EQ(GamepadInPlace(1), b.instance);
}

TEST_F(GamepadTest, EachControlPressesAndLetsGoOfItsPlacesKey) {
  a.Attach();
  Pump();
  const struct {
    SDL_GameControllerButton button;
    GamepadControl control;
  } controls[] = {{SDL_CONTROLLER_BUTTON_DPAD_UP, PadUp},
                  {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadDown},
                  {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadLeft},
                  {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadRight},
                  {SDL_CONTROLLER_BUTTON_A, PadA},
                  {SDL_CONTROLLER_BUTTON_B, PadB},
                  {SDL_CONTROLLER_BUTTON_Y, PadY},
                  {SDL_CONTROLLER_BUTTON_BACK, PadBack},
                  {SDL_CONTROLLER_BUTTON_START, PadStart}};
  for (const auto& control : controls) {
    SCOPED_TRACE(control.control);
    a.Button(control.button, true);
    ExpectKey(WM_KEYDOWN, KeyOf(0, control.control));
    a.Button(control.button, false);
    ExpectKey(WM_KEYUP, KeyOf(0, control.control));
  }
  // A control without a key, and buttons the layer does not read, send nothing.
  a.Button(SDL_CONTROLLER_BUTTON_X, true);
  a.Button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
  a.Axis(SDL_CONTROLLER_AXIS_RIGHTX, 32767);
  a.Axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
  ExpectNothing();
}

TEST_F(GamepadTest, TheStickCountsBeyondItsDeadZoneAndLetsGoWithHysteresis) {
  a.Attach();
  Pump();
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, -13000);  // just under 40%
  ExpectNothing();
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, -13200);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadUp));
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, -10000);  // back inside 40%, still beyond 30%: held
  ExpectNothing();
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, -9000);
  ExpectKey(WM_KEYUP, KeyOf(0, PadUp));
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, -12000);  // under 40% again: nothing
  ExpectNothing();

  // Straight through the middle from one side to the other.
  a.Axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadRight));
  a.Axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
  ExpectUpThenDown(KeyOf(0, PadRight), KeyOf(0, PadLeft));
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, 20000);  // a diagonal holds two keys
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadDown));

  // A direction on both d-pad and stick is one key, let go when both are.
  a.Axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
  ExpectKey(WM_KEYUP, KeyOf(0, PadLeft));
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
  ExpectNothing();
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false);
  ExpectNothing();
  a.Axis(SDL_CONTROLLER_AXIS_LEFTY, 0);
  ExpectKey(WM_KEYUP, KeyOf(0, PadDown));
}

TEST_F(GamepadTest, AHeldDirectionRepeatsLikeTheKeyboardByTheClock) {
  a.Attach();
  Pump();
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadDown));  // at 1000
  HeadlessControl::SetClock(1000 + GamepadRepeatDelay - 1);
  ExpectNothing();
  HeadlessControl::SetClock(1000 + GamepadRepeatDelay);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadDown), true);
  // A wait ends for the next repeat.
  WaitMessageTimeout(1000);
  EXPECT_EQ(timeGetTime(), 1000 + GamepadRepeatDelay + GamepadRepeatInterval);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadDown), true);
  // A pump that comes late gets one repeat, and the next follows a whole interval later.
  HeadlessControl::SetClock(3000);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadDown), true);
  HeadlessControl::SetClock(3000 + GamepadRepeatInterval - 1);
  ExpectNothing();

  // Another control pressed stops the repeat, as on a keyboard.
  a.Button(SDL_CONTROLLER_BUTTON_A, true);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadA));
  HeadlessControl::AdvanceClock(2000);
  ExpectNothing();
  // A direction let go stops repeating, and waits run their whole time again.
  a.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false);
  ExpectKey(WM_KEYUP, KeyOf(0, PadDown));
  ExpectWholeWait();
  ExpectNothing();
}

TEST_F(GamepadTest, HeldKeysFollowNewKeysAndAreLetGoWhenTheSubsystemStops) {
  a.Attach();
  Pump();
  a.Button(SDL_CONTROLLER_BUTTON_Y, true);
  ExpectKey(WM_KEYDOWN, KeyOf(0, PadY));
  GamepadKeyMap keys = KeysOfPlace(0);
  keys.keys[PadY] = '7';
  SetGamepadKeys(0, keys);
  ExpectUpThenDown(KeyOf(0, PadY), '7');
  SetGamepadKeys(2, keys);  // places that do not exist are ignored
  SetGamepadKeys(-1, keys);

  a.Abandon();
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  ExpectKey(WM_KEYUP, '7');
  EXPECT_EQ(GamepadInPlace(0), -1);
  ExpectWholeWait();  // no repeat is left to wait for
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0);
}

}  // namespace
