// SDL's virtual joysticks standing in for real gamepads.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// A pad with every button and axis of SDL's standard controller. Pads with the same product
// number have the same GUID: a pad attached again with its old number is that pad coming back.
struct VirtualPad {
  uint16_t product;
  SDL_Joystick* joystick = nullptr;
  int instance = -1;
  std::string name = "Test pad " + std::to_string(product);

  void Attach() {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
    desc.vendor_id = 0x1234;
    desc.product_id = product;
    desc.name = name.c_str();
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    joystick = SDL_JoystickOpen(index);
    ASSERT_NE(joystick, nullptr) << SDL_GetError();
    instance = SDL_JoystickInstanceID(joystick);
  }
  void Detach() {
    if (joystick) SDL_JoystickClose(joystick);
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (instance >= 0 && SDL_JoystickGetDeviceInstanceID(i) == instance)
        SDL_JoystickDetachVirtual(i);
    joystick = nullptr;
    instance = -1;
  }
  void Button(SDL_GameControllerButton button, bool down) {
    ASSERT_EQ(SDL_JoystickSetVirtualButton(joystick, button, down), 0);
  }
  void Axis(SDL_GameControllerAxis axis, int value) {
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(joystick, axis, Sint16(value)), 0);
  }
};
