// The match record, the random generator and the frame loop of play.
#include "match/match.h"

#include "render/renderer.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"

struct Match Match;
int32_t FrameParity = 0;
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

Match::FrameOutcome Match::PlayFrame() {
  BeginFrame();
  if (KeyState[VK_ESCAPE]) {
    KeyState[VK_ESCAPE] = 0;
    TeardownRound();
    return FrameOutcome::Leave;
  }
  FrameParity = FrameParity == 0 ? 1 : 0;
  for (int p = 0; p < 2; ++p) {
    if (life[p] == 0) {
      ++deathTimer[p];
      if (deathTimer[p] > 50) {
        // Nothing more of this frame runs: it is neither drawn nor shown.
        if (RoundOverHook) RoundOverHook();
        ShowResult();
        return FrameOutcome::RoundOver;
      }
    }
    ControlPlayer(p);
    PickUpItem(p);
    FlyPlayer(p);
    PlaceCamera(p);
    UpdateDebris(p);
  }
  SpawnItem();
  UpdateBullets();
  Renderer.RenderPlayerViews();
  DrawHud();
  PresentFrame();
  if (FramePlayedHook) FramePlayedHook();
  WaitFrame(50);
  return FrameOutcome::Continue;
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
