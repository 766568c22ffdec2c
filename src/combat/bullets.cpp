// Volleys and the pool of bullets: launching, flight, the arena box and removal.
#include <cmath>

#include "audio/sound.h"
#include "match/match.h"

namespace {

struct VolleyRow {
  float lateral;
  float rise;
  int pitchOffset;
  int yawOffset;
};

// The rows of each power level's volley, fired in this order.
const VolleyRow Level1[] = {{0, 0, 0, 0}};
const VolleyRow Level2[] = {{0.2f, 0, 0, 0}, {-0.2f, 0, 0, 0}};
const VolleyRow Level3[] = {{0.2f, 0, 0, 6}, {0, 0, 0, 0}, {-0.2f, 0, 0, -6}};
const VolleyRow Level4[] = {{0.2f, 0, 0, 0}, {-0.2f, 0, 0, 0}, {0, 0, 6, 0}, {0, 0, -6, 0}};

struct Volley {
  const VolleyRow* rows;
  int count;
};

const Volley Volleys[4] = {{Level1, 1}, {Level2, 2}, {Level3, 3}, {Level4, 4}};

}  // namespace

void Match::FireVolley(int player) {
  // Power items raise the level without a limit; it is capped here, and only here.
  if (power[player] > 4) power[player] = 4;
  const int level = power[player];
  if (level < 1) return;  // never happens in play: power starts at 1 and only grows
  const Volley& volley = Volleys[level - 1];
  QueueSound(SoundVolley, player);
  for (int i = 0; i < volley.count; ++i) {
    const VolleyRow& row = volley.rows[i];
    SpawnBullet(player, row.lateral, row.rise, row.pitchOffset, row.yawOffset);
  }
}

void Match::SpawnBullet(int player, float lateral, float rise, int pitchOffset, int yawOffset) {
  int i = 0;
  while (i < BulletCount && bullets[i].active) ++i;
  if (i == BulletCount) return;  // a full pool fires nothing
  Bullet& bullet = bullets[i];
  bullet.active = 1;

  // The muzzle lies to the side of the drawn heading.
  const int g = bank[player] + yaw[player] + 90;
  bullet.x = static_cast<float>(x[player] + std::sin(DegToRad(g)) * lateral);
  bullet.y = static_cast<float>((y[player] - 0.1) + rise);
  bullet.z = static_cast<float>(z[player] + std::cos(DegToRad(g)) * lateral);
  bullet.owner = static_cast<uint8_t>(player);

  // Bullets leave along the drawn heading, yaw + bank.
  const int h = bank[player] + yaw[player] + yawOffset;
  const int e = pitch[player] + pitchOffset;
  bullet.vx = static_cast<float>(std::sin(DegToRad(h)) * 4.0 * 0.2);
  bullet.vz = static_cast<float>(std::cos(DegToRad(h)) * 4.0 * 0.2);
  bullet.vy = static_cast<float>(-(std::sin(DegToRad(e)) * 4.0 * 0.3));
  bullet.pitch = e;
  bullet.yaw = h;
  bullet.roll = 0;
}

void Match::UpdateBullets() {
  for (int i = 0; i < BulletCount; ++i) {
    Bullet& bullet = bullets[i];
    if (!bullet.active) continue;
    bullet.x += bullet.vx;
    bullet.y += bullet.vy;
    bullet.z += bullet.vz;
    // The box comes before the hit test: a bullet outside it cannot hit in this step.
    if (bullet.x > 40 || bullet.x < -40 || bullet.z > 40 || bullet.z < -40 || bullet.y > 20 ||
        bullet.y < -1) {
      RemoveBullet(i);
      continue;
    }
    if (TestBulletHit(i)) {
      RemoveBullet(i);
      continue;
    }
    bullet.roll += 30;
  }
}

void Match::RemoveBullet(int index) {
  bullets[index].active = 0;
}
