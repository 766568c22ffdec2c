// Gamepads inside the window layer: what the message queue and the pads' reader tell each other.
// Not for the game: it talks to the pads through SetGamepadKeys in win.h.
#pragma once

#include <SDL_events.h>

#include "platform/win.h"

namespace gamepad_input {

// Provided by the message queue: input for the open window, and the key messages' lParam.
void EnqueueInput(UINT message, WPARAM wParam, LPARAM lParam);
LPARAM KeyLParam(bool down, bool repeat);

// Takes a game controller event from SDL's queue (other events are ignored).
void HandleEvent(const SDL_Event& event);
// Sends the auto-repeats that are due by now.
void DeliverRepeats();
// When the next auto-repeat is due; false when no direction is held.
bool NextRepeat(DWORD* time);
// SDL's game controller subsystem has stopped under the pads: their keys are let go, and they are
// forgotten without being closed (SDL closed them). Places keep their memory and keys.
void Lost();
// Closes every pad and forgets places and keys, silently.
void Reset();
// True while any pad is open.
bool AnyOpen();

}  // namespace gamepad_input
