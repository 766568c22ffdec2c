// A player's keys: steering, the camera key and the fire key.
#include <cmath>

#include "match/match.h"
#include "shell/keyboard.h"

void Match::ControlPlayer(int p) {
  // A destroyed craft answers no key at all, the camera key included.
  if (life[p] == 0) return;

  const uint8_t camera = PlayerKey(p, RoleCamera);
  if (KeyState[camera]) {
    KeyState[camera] = 0;
    cameraMode[p] = (cameraMode[p] + 1) % 6;
  }

  // Held fire shoots in every second frame, before this frame's steering and movement.
  if (KeyState[PlayerKey(p, RoleFire)] && FrameParity == 1) FireVolley(p);

  // The limits are tested before the step, so bank and pitch reach 48, not 45.
  bool turning = false;
  if (KeyState[PlayerKey(p, RoleLeft)]) {
    yaw[p] -= grip[p] + 1;
    turning = true;
    if (bank[p] > -45) bank[p] -= 6;
  }
  if (KeyState[PlayerKey(p, RoleRight)]) {
    yaw[p] += grip[p] + 1;
    turning = true;
    if (bank[p] < 45) bank[p] += 6;
  }
  if (!turning) {
    if (bank[p] > 0) bank[p] -= 6;
    if (bank[p] < 0) bank[p] += 6;
  }
  // A banked craft drifts into its turn, turned or not.
  yaw[p] += static_cast<int32_t>(4.0 * std::sin(DegToRad(bank[p])));

  bool pitching = false;
  if (KeyState[PlayerKey(p, RoleUp)] && y[p] > 0) {
    if (pitch[p] < 45) pitch[p] += 6;
    pitching = true;
  }
  if (KeyState[PlayerKey(p, RoleDown)]) {
    if (pitch[p] > -45) pitch[p] -= 6;
    pitching = true;
  }
  if (!pitching) {
    if (pitch[p] < 0) pitch[p] += 6;
    if (pitch[p] > 0) pitch[p] -= 6;
  }
}
