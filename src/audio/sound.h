// The game's sound effects: each is a few lines of parameters, synthesised once into a fixed
// buffer, and played by mixing those buffers on SDL's audio thread. The game only says what
// happened and on whose side (Sound::Play); nothing it does waits for the sound.
#pragma once

#include <atomic>
#include <cstdint>

enum SoundEffect : int {
  SoundVolley,       // a craft fires a volley
  SoundHit,          // a bullet strikes a craft
  SoundDestroyed,    // a craft breaks up
  SoundItemAppears,  // the power-up item appears
  SoundItemSpeed,    // an item collected, one rising tone per kind (in the order of ItemType)
  SoundItemPower,
  SoundItemGrip,
  SoundWin,         // the round has a winner: heard on the winner's side
  SoundLose,        // ... and this one on the loser's
  SoundDraw,        // both craft were destroyed
  SoundIntro,       // the round's opening descent
  SoundMenuMove,    // a menu's highlight moves
  SoundMenuSelect,  // a menu item is chosen or a setting changed
  SoundMenuLeave,   // the config screen is left
  SoundEffectCount
};

// Where a sound is heard: player 0's side (left), player 1's (right), or the middle.
constexpr int SoundCentre = -1;

namespace Sound {

constexpr int Rate = 48000;  // samples per second, rendered and mixed
// Sounds heard at once. A new one takes the voice of the least important, oldest sound; an
// explosion or a result phrase is never the one taken.
constexpr int Voices = 8;
// Frames of one device buffer: 25 ms, so that a sound asked for during a 50 ms frame of play is
// heard before the next frame ends.
constexpr int BufferFrames = 1200;
// A sound cut short (its voice taken, M, the game closing) fades out over this many frames.
constexpr int FadeFrames = Rate * 4 / 1000;
// Each player's volley has its own sound, rendered at a few pitches; every shot takes one of them
// and a level of its own, from the mixer's generator.
constexpr int VolleyVariants = 4;

// One rendered effect: mono, 16-bit.
struct Clip {
  const int16_t* samples;
  int length;
};
// Renders every effect (once; later calls return at once).
void RenderClips();
// A volley's clip depends on its player (`side`) and `variant`; every other effect has one clip.
Clip ClipOf(SoundEffect effect, int side = SoundCentre, int variant = 0);

// Mixes the effects asked for into interleaved 16-bit stereo. Requests come from one thread (the
// game's) through a lock-free queue; Mix runs on another (the audio device's) and touches the
// voices alone.
//
// The voices meet on a bus of floats: volleys dip a little while a hit or an explosion sounds,
// and a limiter that looks 2.7 ms ahead keeps the sum below full scale, so a busy exchange is
// turned down smoothly instead of clipped.
class Mixer {
 public:
  // Game thread: asks for a sound; false when the queue is full and the request was dropped.
  bool Push(SoundEffect effect, int side);
  // Audio thread: starts the sounds asked for so far (the same sound on the same side asked for
  // twice in between starts once), then writes `frames` stereo frames of the voices playing.
  // Muted, it starts nothing and fades out what sounds.
  void Mix(int16_t* out, int frames, bool muted);
  // Voices still sounding, fading ones included (audio thread, or when no other thread mixes).
  int Busy() const;

  static constexpr int Lookahead = 128;    // frames the limiter sees ahead
  static constexpr float Ceiling = 0.89f;  // the limiter's ceiling, a share of full scale (-1 dB)

 private:
  struct Voice {
    const int16_t* samples = nullptr;
    int length = 0, position = 0;
    int delay = 0;  // frames of silence before it begins
    int fade = 0;   // fading out: frames left
    float left = 0, right = 0;
    uint8_t effect = 0, priority = 0;
    uint32_t started = 0;  // order of starting, to find the oldest
  };
  struct Request {
    uint8_t effect;
    int8_t side;
  };
  static constexpr uint32_t QueueSize = 32;
  // Up to Voices sound; a few more slots hold sounds fading out after their voice was taken.
  static constexpr int Slots = Voices + 4;
  void Start(const Request& request);
  uint32_t Random();
  void Limit(int16_t* out, int frames);

  Voice voices_[Slots];
  uint32_t startCount_ = 0;
  uint32_t random_ = 0x9E3779B9u;  // the sound's own generator: the game's is never touched
  float duck_ = 1;                 // the volleys' gain under hits and explosions
  Request queue_[QueueSize] = {};
  std::atomic<uint32_t> head_{0};  // next request to take; written by Mix
  std::atomic<uint32_t> tail_{0};  // next free place; written by Push
  float bus_[2 * BufferFrames] = {};
  float volleyBus_[2 * BufferFrames] = {};
  // The limiter, in reductions of gain (0: none): the frames it holds back, the largest
  // reduction the frames ahead need (a queue of falling values over the last Lookahead frames),
  // that reduction after its slow release, and the running sum of its last Lookahead values.
  float delayLine_[2 * Lookahead] = {};
  uint32_t peakFrame_[Lookahead] = {};
  float peakCut_[Lookahead] = {};
  uint32_t peakFirst_ = 0, peakEnd_ = 0;
  float released_[Lookahead] = {};
  float release_ = 0;
  double releasedSum_ = 0;
  uint32_t frame_ = 0;  // frames through the limiter
};

// The game's sound, on SDL's default audio device.
// Renders the effects and opens the device; false, with one line on stderr, when there is none
// (the game is then silent). Opening twice does nothing more.
bool Start();
// Fades out what sounds and closes the device (also done at the process's exit).
void Stop();
// Asks for a sound: player 0 or 1 for a sound of that player's craft, else SoundCentre. Nothing
// happens while muted or without a device.
void Play(SoundEffect effect, int side = SoundCentre);
// Tests: sees every sound the game asks for, with or without a device (nullptr: no one).
void SetListener(void (*listener)(SoundEffect effect, int side));
void SetMuted(bool muted);
bool Muted();
void ToggleMute();

// Tests: before Start, makes the device mix a buffer only after GrantBuffers has allowed it, so
// that a test can keep the sound in step with the game's own clock. BuffersMixed counts the
// buffers handed to the device since Start.
void HoldUntilGranted();
void GrantBuffers(int count);
uint64_t BuffersMixed();

}  // namespace Sound
