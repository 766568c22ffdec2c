// The match record, the random generator and the frame loop of play.
#include "match/match.h"

#include "audio/sound.h"
#include "render/frames.h"
#include "render/renderer.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"

struct Match Match;
int32_t FrameParity = 0;
uint64_t StepsRun = 0;
std::optional<uint32_t> SessionSeed;
int32_t (*RandomIntHook)(int32_t lo, int32_t hi) = nullptr;
void (*FramePlayedHook)() = nullptr;
const char* PilotLabel[2] = {nullptr, nullptr};
void (*RoundOverHook)() = nullptr;

namespace {
uint32_t RandomState = 1;
}

void SeedRandom(uint32_t seed) {
  RandomState = seed;
}

uint32_t RandomStateNow() {
  return RandomState;
}

int32_t RandomInt(int32_t lo, int32_t hi) {
  if (RandomIntHook) return RandomIntHook(lo, hi);
  RandomState = RandomState * 214013u + 2531011u;
  int32_t r = static_cast<int32_t>((RandomState >> 16) & 0x7FFF);
  return lo + r % (hi - lo + 1);
}

void SaveMatch(MatchSnapshot* snapshot) {
  snapshot->state = Match;
  snapshot->frameParity = FrameParity;
  snapshot->randomState = RandomState;
}

void RestoreMatch(const MatchSnapshot& snapshot) {
  static_cast<MatchState&>(Match) = snapshot.state;
  FrameParity = snapshot.frameParity;
  RandomState = snapshot.randomState;
}

void SnapshotRing::Clear() {
  for (uint32_t& tag : tags_) tag = 0;
}

void SnapshotRing::Save(uint32_t frame) {
  SaveMatch(&slots_[frame % Size]);
  tags_[frame % Size] = frame + 1;
}

bool SnapshotRing::Restore(uint32_t frame) {
  if (!Holds(frame)) return false;
  RestoreMatch(slots_[frame % Size]);
  return true;
}

Match::FrameOutcome Match::Step() {
  ++StepsRun;
  if (KeyState[VK_ESCAPE]) {
    KeyState[VK_ESCAPE] = 0;
    return FrameOutcome::Leave;
  }
  FrameParity = FrameParity == 0 ? 1 : 0;
  for (int p = 0; p < 2; ++p) {
    if (life[p] == 0) {
      ++deathTimer[p];
      // Nothing more of this frame runs: it is neither drawn nor shown.
      if (deathTimer[p] > 50) return FrameOutcome::RoundOver;
    }
    ControlPlayer(p);
    PickUpItem(p);
    FlyPlayer(p);
    UpdateDebris(p);
  }
  SpawnItem();
  UpdateBullets();
  return FrameOutcome::Continue;
}

void Match::QueueSound(int effect, int side) {
  // A frame makes far fewer sounds than the queue holds (two volleys, an item, twenty hits).
  if (soundCount < SoundQueueSize) sounds[soundCount++] = QueuedSound{effect, side};
}

void Match::PlayQueuedSounds() {
  for (int i = 0; i < soundCount; ++i)
    Sound::Play(static_cast<SoundEffect>(sounds[i].effect), sounds[i].side);
  soundCount = 0;
}

void Match::SyncScene() {
  // What left the scene: a taken item, bullets that stopped, craft destroyed (and, after the
  // steps of a frame were run again, craft that were not destroyed after all).
  if (itemFrame != nullptr && (itemActive == 0 || itemsShown != itemsSpawned)) {
    ReleaseFrame(itemFrame);
    ReleaseFrame(itemShadowFrame);
  }
  for (int i = 0; i < BulletCount; ++i)
    if (bulletShown[i] && !bullets[i].active) {
      Renderer.RemoveFromScene(bulletFrame[i]);
      bulletShown[i] = 0;
    }
  for (int p = 0; p < 2; ++p)
    if (life[p] != 0 && debrisShown[p]) {
      for (FrameHandle& piece : debrisFrame[p]) ReleaseFrame(piece);
      debrisShown[p] = 0;
      CreateCraftFrames(p);
    }
  // What came in, in the order a frame adds it: the bullets (their slots fill from the lowest
  // free one, so in the order they were fired), the item, then the destroyed craft's debris.
  for (int i = 0; i < BulletCount; ++i)
    if (!bulletShown[i] && bullets[i].active) {
      Renderer.AddToScene(bulletFrame[i]);
      bulletShown[i] = 1;
    }
  if (itemActive != 0 && (itemFrame == nullptr || itemsShown != itemsSpawned)) {
    Renderer.CreateSceneFrame(&itemFrame);
    ShowModel(itemFrame, itemModels[itemType]);
    Renderer.CreateSceneFrame(&itemShadowFrame);
    ShowModel(itemShadowFrame, itemShadowModel);
    PlaceFrame(itemFrame, itemX, itemY, itemZ);
    PlaceFrame(itemShadowFrame, itemX, -0.39, itemZ);
  }
  itemsShown = itemsSpawned;
  const int first = destroyedAs[1] < destroyedAs[0] ? 1 : 0;
  for (int p : {first, 1 - first}) {
    if (life[p] != 0 || debrisShown[p]) continue;
    debrisShown[p] = 1;
    ReleaseFrame(craftFrame[p]);
    ReleaseFrame(shadowFrame[p]);
    for (FrameHandle& piece : debrisFrame[p]) {
      Renderer.CreateSceneFrame(&piece);
      ShowModel(piece, debrisModel);
    }
  }

  // Where everything stands.
  for (int p = 0; p < 2; ++p) {
    if (life[p] != 0) {
      // The craft is drawn turned further into the turn than it flies.
      TurnFrame(craftFrame[p], pitch[p], yaw[p] + bank[p], -bank[p]);
      TurnFrame(shadowFrame[p], 0, yaw[p] + bank[p], 0);
      PlaceFrame(craftFrame[p], drawnX[p], drawnY[p], drawnZ[p]);
      PlaceFrame(shadowFrame[p], drawnX[p], -0.39, drawnZ[p]);
      continue;
    }
    for (int i = 0; i < DebrisCount; ++i) {
      const Debris& piece = debris[p][i];
      // The burst starts where the craft was, unturned; then the cloud goes with the destroyed
      // craft's still-moving position.
      if (deathTimer[p] == 0) {
        PlaceFrame(debrisFrame[p][i], x[p], y[p], z[p]);
        continue;
      }
      TurnFrame(debrisFrame[p][i], piece.angleX, piece.angleY, piece.angleZ);
      PlaceFrame(debrisFrame[p][i], x[p] + piece.offsetX, y[p] + piece.offsetY,
                 z[p] + piece.offsetZ);
    }
  }
  for (int i = 0; i < BulletCount; ++i) {
    const Bullet& bullet = bullets[i];
    if (!bullet.active) continue;
    // Drawn with the roll of the step that moved it, before it turned on.
    TurnFrame(bulletFrame[i], bullet.pitch, bullet.yaw, bullet.roll - 30);
    PlaceFrame(bulletFrame[i], bullet.x, bullet.y, bullet.z);
  }
}

void Match::CreateCraftFrames(int p) {
  Renderer.CreateSceneFrame(&craftFrame[p]);
  Renderer.CreateSceneFrame(&shadowFrame[p]);
  ShowModel(craftFrame[p], craftModel);
  ShowModel(shadowFrame[p], shadowModel);
}

void Match::Show() {
  SyncScene();
  PlayQueuedSounds();
  for (int p = 0; p < 2; ++p) PlaceCamera(p);
  Renderer.RenderPlayerViews();
  DrawHud();
  PresentFrame();
  if (FramePlayedHook) FramePlayedHook();
  WaitFrame(50);
}

Match::FrameOutcome Match::PlayFrame() {
  BeginFrame();
  const FrameOutcome outcome = Step();
  switch (outcome) {
    case FrameOutcome::Leave:
      TeardownRound();
      break;
    case FrameOutcome::RoundOver:
      SyncScene();
      PlayQueuedSounds();
      if (RoundOverHook) RoundOverHook();
      ShowResult();
      WaitForResultDismissed();
      break;
    case FrameOutcome::Continue:
      Show();
      break;
  }
  return outcome;
}

void Match::RunMatch() {
  // Every match starts alike, whatever the match before left: the frame parity (which decides the
  // frames a held fire key fires on) and the last item's place and kind. Two machines playing over
  // the network, one of which has played matches before, must begin in the same state.
  FrameParity = 0;
  itemX = itemY = itemZ = 0;
  itemType = 0;
  for (;;) {
    SetupRound();
    PlayIntro();
    FrameOutcome outcome;
    do {
      outcome = PlayFrame();
    } while (outcome == FrameOutcome::Continue);
    if (outcome == FrameOutcome::Leave) return;
    TeardownRound();
  }
}
