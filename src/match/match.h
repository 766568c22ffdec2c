// The match: both players' craft, their bullets, the power-up item and the debris of destroyed
// craft, played round after round until Esc.
#pragma once

#include <cstdint>
#include <optional>

#include "render/renderer.h"

constexpr int BulletCount = 200;
constexpr int DebrisCount = 50;

enum ItemType : int32_t {
  ItemSpeed = 0,
  ItemPower = 1,
  ItemGrip = 2,
};

struct Bullet {
  FrameHandle frame;
  float x, y, z;
  float vx, vy, vz;
  int32_t pitch;
  int32_t yaw;
  int32_t roll;
  uint8_t active;
  uint8_t owner;
};

struct Debris {
  FrameHandle frame;
  float offsetX, offsetY, offsetZ;
  float vx, vy, vz;
  int32_t angleX, angleY, angleZ;
  int32_t spinX, spinY, spinZ;
};

struct Match {
  ModelHandle craftModel;
  ModelHandle groundModel;
  ModelHandle bulletModel;
  ModelHandle shadowModel;
  ModelHandle itemModels[3];
  ModelHandle itemShadowModel;
  ModelHandle debrisModel;
  FrameHandle craftFrame[2];
  FrameHandle shadowFrame[2];
  FrameHandle groundFrame;
  FrameHandle itemFrame;
  FrameHandle itemShadowFrame;
  float speed[2];
  float x[2];
  float y[2];
  float z[2];
  int32_t deathTimer[2];
  int32_t cameraMode[2];
  int32_t pitch[2];
  int32_t yaw[2];
  int32_t bank[2];
  int32_t life[2];
  int32_t hitShake[2];
  int32_t power[2];
  int32_t grip[2];
  float itemX, itemY, itemZ;
  int32_t itemType;
  int32_t itemActive;
  Bullet bullets[BulletCount];
  Debris debris[2][DebrisCount];

  void RunMatch();

  // One frame of play, from its start to its wait. Continue: the round goes on; RoundOver: a
  // destroyed craft's countdown ran out and the result has been shown (the round still stands);
  // Leave: Esc was pressed and the round has been torn down.
  enum class FrameOutcome { Continue, RoundOver, Leave };
  FrameOutcome PlayFrame();

  // Rounds.
  void SetupRound();
  void PlayIntro();
  void ShowResult();
  void TeardownRound();

  // Each player's steps of a frame of play.
  void ControlPlayer(int p);
  void FlyPlayer(int p);
  void PlaceCamera(int p);
  void DrawHud();

  // Combat.
  void FireVolley(int player);
  void SpawnBullet(int player, float lateral, float rise, int pitchOffset, int yawOffset);
  void UpdateBullets();
  void RemoveBullet(int index);
  bool TestBulletHit(int index);
  void HitPlayer(int player, int damage);
  void UpdateDebris(int player);
  void SpawnItem();
  void PickUpItem(int player);
};

extern struct Match Match;

// Toggled once per frame of play and never reset; a held fire key fires only when it is 1.
extern int32_t FrameParity;

// The program's one source of randomness: lo + r % (hi - lo + 1), with r the next value of a
// linear congruential generator (state x 214013 + 2531011, bits 16 to 30).
int32_t RandomInt(int32_t lo, int32_t hi);
void SeedRandom(uint32_t seed);
// The seed the start-up gives SeedRandom: the time at start-up unless it was given before (replays
// give the recorded one).
extern std::optional<uint32_t> SessionSeed;
// The generator's state, for fingerprints of the match.
uint32_t RandomStateNow();

// What runs beside the match (recording, replays, the computer opponent) is told when a frame of
// play has been drawn, before its wait, and when a round's result is about to be shown.
extern void (*FramePlayedHook)();
extern void (*RoundOverHook)();
// A word under each half's life bar saying who flies that craft when it is not a player (the
// computer and its level); null for none.
extern const char* PilotLabel[2];
// Tests only: when set, RandomInt returns what this returns instead of drawing from the generator.
extern int32_t (*RandomIntHook)(int32_t lo, int32_t hi);

// Degrees to radians with the game's own value of pi.
inline double DegToRad(int32_t degrees) {
  return degrees * 3.1415926535 / 180.0;
}
