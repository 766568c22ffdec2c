// Running the match headless in tests: the real Renderer and Overlay on a headless window, the
// game's models, and a script that acts at given frames of the game's own loops.
//
//   class RoundTest : public MatchTest {};
//   TEST_F(RoundTest, Something) {
//     FrameScript script([](int frame, int pump) {
//       if (pump == 0 && frame == IntroFrames + 3) HeadlessControl::KeyDown(VK_ESCAPE);
//     });
//     Match.RunMatch();
//     EXPECT_EQ(script.Frames(), IntroFrames + 4);
//   }
//
// Steps can also be called directly (SetupRound, ControlPlayer, FlyPlayer, ...) with KeyState set
// by hand; nothing of the fixture gets in the way.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "match/match.h"
#include "render/renderer.h"
#include "support/headless.h"

// Frames of the intro that opens every round, each with a BeginFrame of its own.
constexpr int IntroFrames = 50;

// HeadlessTest plus: a window with the game's window procedure (posted key messages reach
// KeyState through the game's pumps), the Renderer and the Overlay at 320 x 240, the Match's nine
// models loaded from the source tree's data directory (a missing model leaves its slot null), the
// Match emptied, FrameParity 0 and the random generator seeded with 1. TearDown releases whatever
// the Match still holds, the models and the Renderer.
class MatchTest : public HeadlessTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Brings the display up again at another size (ScreenWidth and ScreenHeight follow).
  void StartDisplay(int width, int height);
};

// Calls `act`(frame, pump) at every message pump of the game while it lives. `frame` counts the
// BeginFrame calls since the script was made (1 is the first), seen as a change of FrameStartTime;
// `pump` counts the pumps since that frame began, so pump 0 is the first pump of the frame's wait:
// the frame has been updated, drawn and presented, and a key message posted there is seen by the
// next frame, as a real key press would be. The frame that ends a round is not drawn: its pumps are
// those of the result screen, which waits for keys without beginning frames, so the calls go on
// with the same frame and a growing pump. A script that lets the game spin for a million pumps
// without a new frame throws std::runtime_error.
class FrameScript {
 public:
  explicit FrameScript(std::function<void(int frame, int pump)> act);
  ~FrameScript();
  FrameScript(const FrameScript&) = delete;
  FrameScript& operator=(const FrameScript&) = delete;

  // Frames begun so far, including one begun since the last pump (the frame in which Esc left the
  // match, for example, pumps no more).
  int Frames() const;

 private:
  std::function<void(int, int)> act_;
  int frames_ = 0;
  int pump_ = 0;
  DWORD lastStart_ = 0;
  bool started_ = false;
};

// Every frame below Renderer.scene, in the order of its children.
std::vector<IDirect3DRMFrame*> SceneChildren();
bool InScene(IDirect3DRMFrame* frame);
// Position of a frame in scene coordinates, and the directions of its +z (forward) and +y (up).
D3DVECTOR ScenePosition(IDirect3DRMFrame* frame);
D3DVECTOR SceneForward(IDirect3DRMFrame* frame);
D3DVECTOR SceneUp(IDirect3DRMFrame* frame);
// The camera frame of player p.
inline IDirect3DRMFrame* Camera(int p) {
  return Renderer.camera[p];
}

// Pixel (x, y) of the back buffer, XRGB.
uint32_t BackPixel(int x, int y);
// The colour of a COLORREF (0x00BBGGRR) as an XRGB pixel.
constexpr uint32_t PixelOf(COLORREF c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// Which result text ("WIN!", "LOSE" or "DRAW") the overlay surface shows on player p's half, ""
// when it shows none of them (or when the texts cannot be told apart). Compares the half with each
// text drawn as the result screen draws it; the overlay's content is left as it was.
const char* ResultOnOverlay(int p);

// Replays `values` as the results of RandomInt while it lives, recording each call's bounds; once
// the values run out, RandomInt returns lo.
class FixedRandom {
 public:
  explicit FixedRandom(std::vector<int32_t> values);
  ~FixedRandom();
  FixedRandom(const FixedRandom&) = delete;
  FixedRandom& operator=(const FixedRandom&) = delete;

  struct Call {
    int32_t lo, hi;
  };
  const std::vector<Call>& Calls() const { return calls_; }

 private:
  static int32_t Next(int32_t lo, int32_t hi);
  std::vector<int32_t> values_;
  size_t next_ = 0;
  std::vector<Call> calls_;
  static FixedRandom* active_;
};
