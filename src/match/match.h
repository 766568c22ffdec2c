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
  float x, y, z;
  float vx, vy, vz;
  int32_t pitch;
  int32_t yaw;
  int32_t roll;
  uint8_t active;  // flying, and so in the scene
  uint8_t owner;
};

struct Debris {
  float offsetX, offsetY, offsetZ;
  float vx, vy, vz;
  int32_t angleX, angleY, angleZ;
  int32_t spinX, spinY, spinZ;
};

// Everything a frame of play reads and writes, and nothing of the picture: plain values, copied
// whole into a snapshot and back.
struct MatchState {
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
  // Where each craft is drawn: its position of the frame, shaken, before the wrap at the edges.
  float drawnX[2], drawnY[2], drawnZ[2];
  // Counted up at every item that appears and every craft destroyed, so that the picture knows
  // what changed since it was last drawn, and in which order the destructions came.
  uint32_t itemsSpawned;
  uint32_t destructions;
  uint32_t destroyedAs[2];  // the value of `destructions` at the craft's destruction
};

// Calls visit(field) for every value of the state a match's future depends on, in a fixed order:
// the debris of a craft still flying and the idle bullets are left out (they are written anew
// before they are read), and so are the drawn positions and the counters of the picture.
template <typename State, typename Visit>
void ForEachFutureField(State& m, Visit&& visit) {
  for (int p = 0; p < 2; ++p) {
    visit(m.speed[p]);
    visit(m.x[p]);
    visit(m.y[p]);
    visit(m.z[p]);
    visit(m.deathTimer[p]);
    visit(m.cameraMode[p]);
    visit(m.pitch[p]);
    visit(m.yaw[p]);
    visit(m.bank[p]);
    visit(m.life[p]);
    visit(m.hitShake[p]);
    visit(m.power[p]);
    visit(m.grip[p]);
    if (m.life[p] == 0)
      for (auto& d : m.debris[p]) {
        visit(d.offsetX);
        visit(d.offsetY);
        visit(d.offsetZ);
        visit(d.angleX);
        visit(d.angleY);
        visit(d.angleZ);
      }
  }
  visit(m.itemX);
  visit(m.itemY);
  visit(m.itemZ);
  visit(m.itemType);
  visit(m.itemActive);
  for (auto& b : m.bullets) {
    visit(b.active);
    if (!b.active) continue;
    visit(b.x);
    visit(b.y);
    visit(b.z);
    visit(b.vx);
    visit(b.vy);
    visit(b.vz);
    visit(b.pitch);
    visit(b.yaw);
    visit(b.roll);
    visit(b.owner);
  }
}

struct Match : MatchState {
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
  FrameHandle bulletFrame[BulletCount];
  FrameHandle debrisFrame[2][DebrisCount];
  // What the scene last showed: which bullets were in it, the item and destructions counted then.
  uint8_t bulletShown[BulletCount];
  uint8_t debrisShown[2];
  uint32_t itemsShown;
  uint32_t destructionsShown;
  // The sounds of the frames stepped since the last show, in the order they happened.
  static constexpr int SoundQueueSize = 32;
  struct QueuedSound {
    int32_t effect;
    int32_t side;
  } sounds[SoundQueueSize];
  int32_t soundCount;
  uint32_t roundsSetUp;  // counted by SetupRound

  void RunMatch();

  // The outcome of a frame of play. Continue: the round goes on; RoundOver: a destroyed craft's
  // countdown ran out (the round still stands); Leave: Esc was pressed.
  enum class FrameOutcome { Continue, RoundOver, Leave };
  // One frame of play from the players' keys: nothing drawn, nothing waited for; the sounds it
  // makes are queued for the show.
  FrameOutcome Step();
  // The picture of the frames stepped since the last show: the scene brought up to the state, both
  // views, the life bars, the present, the queued sounds and the frame's wait.
  void Show();
  // The scene brought up to the state and the queued sounds played, nothing drawn.
  void SyncScene();
  void CreateCraftFrames(int p);
  void PlayQueuedSounds();
  // A frame of play as the local game runs it: a step, then the show, the result or the leave.
  FrameOutcome PlayFrame();

  // Rounds.
  void SetupRound();
  void PlayIntro();
  void ShowResult();
  void WaitForResultDismissed();
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
  void QueueSound(int effect, int side);
};

extern struct Match Match;

// Toggled once per frame of play and never reset; a held fire key fires only when it is 1.
extern int32_t FrameParity;
// Steps of play run since start-up, run again ones included.
extern uint64_t StepsRun;

// The program's one source of randomness: lo + r % (hi - lo + 1), with r the next value of a
// linear congruential generator (state x 214013 + 2531011, bits 16 to 30).
int32_t RandomInt(int32_t lo, int32_t hi);
void SeedRandom(uint32_t seed);
// The seed the start-up gives SeedRandom: the time at start-up unless it was given before (replays
// give the recorded one).
extern std::optional<uint32_t> SessionSeed;
// The generator's state, for fingerprints of the match.
uint32_t RandomStateNow();

// Everything a match's future depends on: the state, the frame parity and the random generator.
struct MatchSnapshot {
  MatchState state;
  int32_t frameParity;
  uint32_t randomState;
};
void SaveMatch(MatchSnapshot* snapshot);
void RestoreMatch(const MatchSnapshot& snapshot);

// The snapshots of the last frames, each taken before its frame's step, in a fixed ring: saving
// frame f drops frame f - Size.
class SnapshotRing {
 public:
  static constexpr uint32_t Size = 16;
  void Clear();
  void Save(uint32_t frame);
  // False, touching nothing, when the ring no longer holds that frame.
  bool Restore(uint32_t frame);
  bool Holds(uint32_t frame) const { return tags_[frame % Size] == frame + 1; }
  const MatchSnapshot* Get(uint32_t frame) const {
    return Holds(frame) ? &slots_[frame % Size] : nullptr;
  }

 private:
  MatchSnapshot slots_[Size];
  uint32_t tags_[Size] = {};  // frame + 1 of the snapshot in each slot, 0 for none
};

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
