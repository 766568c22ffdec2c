// Bullets striking the other craft, damage, destruction and the debris of a destroyed craft.
#include <cmath>

#include "audio/sound.h"
#include "match/match.h"

bool Match::TestBulletHit(int index) {
  const Bullet& bullet = bullets[index];
  // A bullet never strikes the craft that fired it.
  const int target = bullet.owner == 0 ? 1 : 0;
  const double d = std::fabs(static_cast<double>(x[target]) - bullet.x) +
                   std::fabs(static_cast<double>(z[target]) - bullet.z) +
                   std::fabs(static_cast<double>(y[target]) - bullet.y);
  if (d < 1.0) {
    HitPlayer(target, 1);
    return true;
  }
  return false;
}

void Match::HitPlayer(int player, int damage) {
  if (life[player] <= 0) return;  // a destroyed craft takes no further hits
  life[player] -= damage;
  if (life[player] <= 0) {
    life[player] = 0;
  } else {
    hitShake[player] = 20;
  }
  QueueSound(life[player] != 0 ? SoundHit : SoundDestroyed, player);
  if (life[player] != 0) return;

  deathTimer[player] = 0;
  destroyedAs[player] = ++destructions;
  for (Debris& piece : debris[player]) {
    // The burst starts where the craft was, not at the arena's centre.
    piece.offsetX = piece.offsetY = piece.offsetZ = 0;
    piece.angleX = piece.angleY = piece.angleZ = 0;
    // The draws, one by one in this order.
    piece.spinX = RandomInt(-90, 90);
    piece.spinY = RandomInt(-90, 90);
    piece.spinZ = RandomInt(-90, 90);
    const int theta = RandomInt(0, 360);
    const int vxMagnitude = RandomInt(10, 100);
    piece.vx = static_cast<float>(vxMagnitude * std::sin(DegToRad(theta)) / 500);
    const int vzMagnitude = RandomInt(10, 100);
    piece.vz = static_cast<float>(vzMagnitude * std::cos(DegToRad(theta)) / 500);
    const int phi = RandomInt(0, 360);
    const int vyMagnitude = RandomInt(10, 100);
    piece.vy = static_cast<float>(-(vyMagnitude * std::sin(DegToRad(phi)) / 500));
  }
}

void Match::UpdateDebris(int player) {
  if (life[player] != 0) return;
  for (Debris& piece : debris[player]) {
    piece.angleX += piece.spinX;
    piece.angleY += piece.spinY;
    piece.angleZ += piece.spinZ;
    piece.offsetX += piece.vx;
    piece.offsetY += piece.vy;
    piece.offsetZ += piece.vz;
  }
}
