// A craft's movement by one frame: the hit shake, the step along heading and pitch, the height
// limits, where it is drawn and the wrap at the arena's edges.
#include <cmath>

#include "match/match.h"

void Match::FlyPlayer(int p) {
  float dx = 0, dy = 0, dz = 0;
  if (hitShake[p] != 0) {
    hitShake[p] -= 3;
    if (hitShake[p] < 0) hitShake[p] = 0;
    const int32_t s = hitShake[p];
    // Three draws, in this order, even when the shake has just run out.
    dx = static_cast<float>(RandomInt(-s, s)) / 100.0f;
    dy = static_cast<float>(RandomInt(-s, s)) / 100.0f;
    dz = static_cast<float>(RandomInt(-s, s)) / 100.0f;
  }

  // The ground speed is the same at any pitch: pitch changes only the height.
  x[p] = static_cast<float>(x[p] + std::sin(DegToRad(yaw[p])) * speed[p]);
  z[p] = static_cast<float>(z[p] + std::cos(DegToRad(yaw[p])) * speed[p]);
  y[p] = static_cast<float>(y[p] - std::sin(DegToRad(pitch[p])) * speed[p]);

  if (y[p] < 0) y[p] = 0;
  if (y[p] > 19) y[p] = 19;

  // Drawn here, shaken (a destroyed craft's position moves on unseen).
  drawnX[p] = x[p] + dx;
  drawnY[p] = y[p] + dy;
  drawnZ[p] = z[p] + dz;

  // After the placing: a craft crossing an edge is drawn once beyond it.
  if (x[p] > 40) x[p] = -38;
  if (x[p] < -40) x[p] = 38;
  if (z[p] > 40) z[p] = -38;
  if (z[p] < -40) z[p] = 38;
}
