// Gamepads as key messages: places for the pads, the held controls of each pad, and the
// auto-repeat of a held direction.
#include "platform/gamepad.h"

#include <SDL.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// The left stick counts as a direction beyond 40% of full deflection and stops counting below
// 30%, so that a stick resting near the threshold does not chatter.
constexpr int kStickPress = 32767 * 4 / 10;
constexpr int kStickLetGo = 32767 * 3 / 10;

struct Pad {
  SDL_GameController* controller = nullptr;
  SDL_JoystickID instance = -1;
  std::string identity;               // GUID and serial number
  bool button[PadControlCount] = {};  // the d-pad and the buttons
  bool stick[4] = {};                 // the left stick, by direction (PadUp to PadRight)
  UINT sent[PadControlCount] = {};    // the key each control holds down now, 0 for none
  int place = -1;
  int repeating = -1;  // the direction whose key repeats, -1 for none
  DWORD repeatAt = 0;
};

struct Place {
  bool used = false;             // a pad has had it
  std::string identity;          // the last pad that had it
  SDL_JoystickID instance = -1;  // the pad in it now, -1 for none
  GamepadKeyMap keys;
};

struct State {
  std::vector<std::unique_ptr<Pad>> pads;  // open pads in connection order
  Place places[GamepadPlaces];
};

State& G() {
  static State* state = new State;
  return *state;
}

int32_t Until(DWORD time) {
  return static_cast<int32_t>(time - timeGetTime());
}

Pad* PadOf(SDL_JoystickID instance) {
  for (auto& pad : G().pads)
    if (pad->instance == instance) return pad.get();
  return nullptr;
}

int ControlOfButton(int button) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
      return PadUp;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
      return PadDown;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
      return PadLeft;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
      return PadRight;
    case SDL_CONTROLLER_BUTTON_A:
      return PadA;
    case SDL_CONTROLLER_BUTTON_B:
      return PadB;
    case SDL_CONTROLLER_BUTTON_X:
      return PadX;
    case SDL_CONTROLLER_BUTTON_Y:
      return PadY;
    case SDL_CONTROLLER_BUTTON_BACK:
      return PadBack;
    case SDL_CONTROLLER_BUTTON_START:
      return PadStart;
    default:
      return -1;
  }
}

bool IsDirection(int control) {
  return control >= PadUp && control <= PadRight;
}

void Send(UINT message, UINT key, bool repeat) {
  gamepad_input::EnqueueInput(message, key,
                              gamepad_input::KeyLParam(message == WM_KEYDOWN, repeat));
}

// Brings the keys the pad holds down in line with its controls and its place's keys: first every
// key to let go, then every key to press. A newly pressed direction starts the auto-repeat; any
// other newly pressed control stops it, as a key pressed on a keyboard does.
void Sync(Pad& pad) {
  UINT want[PadControlCount] = {};
  if (pad.place >= 0) {
    const GamepadKeyMap& keys = G().places[pad.place].keys;
    for (int c = 0; c < PadControlCount; ++c) {
      bool held = pad.button[c] || (IsDirection(c) && pad.stick[c]);
      if (held) want[c] = keys.keys[c];
    }
  }
  for (int c = 0; c < PadControlCount; ++c) {
    if (pad.sent[c] == 0 || pad.sent[c] == want[c]) continue;
    Send(WM_KEYUP, pad.sent[c], false);
    pad.sent[c] = 0;
    if (pad.repeating == c) pad.repeating = -1;
  }
  for (int c = 0; c < PadControlCount; ++c) {
    if (want[c] == 0 || pad.sent[c] == want[c]) continue;
    Send(WM_KEYDOWN, want[c], false);
    pad.sent[c] = want[c];
    pad.repeating = IsDirection(c) ? c : -1;
    pad.repeatAt = timeGetTime() + GamepadRepeatDelay;
  }
}

// A place for a pad that has none: the place it had before if that is free, else a place no pad
// has had yet, else any free place; -1 when both are taken.
int FreePlaceFor(const Pad& pad) {
  auto& places = G().places;
  for (int p = 0; p < GamepadPlaces; ++p)
    if (places[p].instance < 0 && places[p].used && places[p].identity == pad.identity) return p;
  for (int p = 0; p < GamepadPlaces; ++p)
    if (!places[p].used) return p;
  for (int p = 0; p < GamepadPlaces; ++p)
    if (places[p].instance < 0) return p;
  return -1;
}

void Seat(Pad& pad, int place) {
  Place& seat = G().places[place];
  seat.used = true;
  seat.identity = pad.identity;
  seat.instance = pad.instance;
  pad.place = place;
  Sync(pad);
}

std::string IdentityOf(SDL_GameController* controller) {
  SDL_Joystick* joystick = SDL_GameControllerGetJoystick(controller);
  char guid[33] = {};
  SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(joystick), guid, sizeof guid);
  std::string identity = guid;
  if (const char* serial = SDL_JoystickGetSerial(joystick)) {
    identity += '/';
    identity += serial;
  }
  return identity;
}

void Connect(int deviceIndex) {
  auto& g = G();
  SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  if (instance < 0 || PadOf(instance) || !SDL_IsGameController(deviceIndex)) return;
  SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
  if (!controller) return;
  auto pad = std::make_unique<Pad>();
  pad->controller = controller;
  pad->instance = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
  pad->identity = IdentityOf(controller);
  // Controls held while it is plugged in count at once.
  for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; ++b) {
    int control = ControlOfButton(b);
    if (control >= 0)
      pad->button[control] =
          SDL_GameControllerGetButton(controller, static_cast<SDL_GameControllerButton>(b)) != 0;
  }
  Pad& added = *pad;
  g.pads.push_back(std::move(pad));
  int place = FreePlaceFor(added);
  if (place >= 0) Seat(added, place);
}

void ConnectAll() {
  for (int index = 0; index < SDL_NumJoysticks(); ++index) Connect(index);
}

void Disconnect(SDL_JoystickID instance) {
  auto& g = G();
  Pad* pad = PadOf(instance);
  if (!pad) return;
  int place = pad->place;
  pad->place = -1;
  Sync(*pad);  // lets go of every key it held
  SDL_GameControllerClose(pad->controller);
  g.pads.erase(std::find_if(g.pads.begin(), g.pads.end(),
                            [pad](const std::unique_ptr<Pad>& p) { return p.get() == pad; }));
  if (place < 0) return;
  g.places[place].instance = -1;
  // The pad that has waited longest takes the place.
  for (auto& waiting : g.pads)
    if (waiting->place < 0) {
      Seat(*waiting, place);
      break;
    }
}

// The stick's position on one axis as two directions, with the hysteresis above.
void StickAxis(bool& negative, bool& positive, int value) {
  negative = negative ? value < -kStickLetGo : value <= -kStickPress;
  positive = positive ? value > kStickLetGo : value >= kStickPress;
}

}  // namespace

namespace gamepad_input {

void HandleEvent(const SDL_Event& e) {
  switch (e.type) {
    // The device index of an arrival may be out of date by the time it is read, SDL may report
    // a pad twice, and it drops the arrival of a pad that comes while an open one leaves: at
    // every arrival and departure, every pad not yet open is opened, in SDL's order.
    case SDL_CONTROLLERDEVICEADDED:
      ConnectAll();
      break;
    case SDL_CONTROLLERDEVICEREMOVED:
      Disconnect(e.cdevice.which);
      ConnectAll();
      break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
      Pad* pad = PadOf(e.cbutton.which);
      int control = ControlOfButton(e.cbutton.button);
      if (!pad || control < 0) break;
      pad->button[control] = e.cbutton.state == SDL_PRESSED;
      Sync(*pad);
      break;
    }
    case SDL_CONTROLLERAXISMOTION: {
      Pad* pad = PadOf(e.caxis.which);
      if (!pad) break;
      if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX)
        StickAxis(pad->stick[PadLeft], pad->stick[PadRight], e.caxis.value);
      else if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY)
        StickAxis(pad->stick[PadUp], pad->stick[PadDown], e.caxis.value);
      else
        break;
      Sync(*pad);
      break;
    }
    default:
      break;
  }
}

void DeliverRepeats() {
  for (auto& pad : G().pads) {
    if (pad->repeating < 0 || pad->sent[pad->repeating] == 0) continue;
    if (Until(pad->repeatAt) > 0) continue;
    Send(WM_KEYDOWN, pad->sent[pad->repeating], true);
    pad->repeatAt += GamepadRepeatInterval;
    // A pump that comes late gets one repeat, not a burst of them.
    if (Until(pad->repeatAt) <= 0) pad->repeatAt = timeGetTime() + GamepadRepeatInterval;
  }
}

bool NextRepeat(DWORD* time) {
  bool any = false;
  for (auto& pad : G().pads) {
    if (pad->repeating < 0 || pad->sent[pad->repeating] == 0) continue;
    if (!any || Until(pad->repeatAt) < Until(*time)) *time = pad->repeatAt;
    any = true;
  }
  return any;
}

void Lost() {
  auto& g = G();
  for (auto& pad : g.pads) {
    pad->place = -1;
    Sync(*pad);
  }
  g.pads.clear();
  for (Place& place : g.places) place.instance = -1;
}

void Reset() {
  auto& g = G();
  if (SDL_WasInit(SDL_INIT_GAMECONTROLLER))
    for (auto& pad : g.pads) SDL_GameControllerClose(pad->controller);
  g.pads.clear();
  for (Place& place : g.places) place = Place{};
}

bool AnyOpen() {
  return !G().pads.empty();
}

}  // namespace gamepad_input

void SetGamepadKeys(int place, const GamepadKeyMap& keys) {
  auto& g = G();
  if (place < 0 || place >= GamepadPlaces) return;
  g.places[place].keys = keys;
  if (Pad* pad = PadOf(g.places[place].instance)) Sync(*pad);
}

int GamepadInPlace(int place) {
  if (place < 0 || place >= GamepadPlaces) return -1;
  return G().places[place].instance;
}
