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
  SoundWin,         // the round has a winner
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
constexpr int Voices = 8;    // sounds heard at once; a new one takes the oldest voice
// Frames of one device buffer: 25 ms, so that a sound asked for during a 50 ms frame of play is
// heard before the next frame ends.
constexpr int BufferFrames = 1200;

// One rendered effect: mono, 16-bit.
struct Clip {
  const int16_t* samples;
  int length;
};
// Renders every effect (once; later calls return at once).
void RenderClips();
Clip ClipOf(SoundEffect effect);

// Mixes the effects asked for into interleaved 16-bit stereo. Requests come from one thread (the
// game's) through a lock-free queue; Mix runs on another (the audio device's) and touches the
// voices alone.
class Mixer {
 public:
  // Game thread: asks for a sound; false when the queue is full and the request was dropped.
  bool Push(SoundEffect effect, int side);
  // Audio thread: starts the sounds asked for so far (the same sound on the same side asked for
  // twice in between starts once), then writes `frames` stereo frames of the voices playing.
  // Muted, it writes silence and stops every voice.
  void Mix(int16_t* out, int frames, bool muted);
  // Voices still sounding (audio thread, or when no other thread mixes).
  int Busy() const;

 private:
  struct Voice {
    const int16_t* samples = nullptr;
    int length = 0, position = 0;
    int32_t gainLeft = 0, gainRight = 0;  // 1 << 15 is full
    uint32_t started = 0;                 // order of starting, to find the oldest
  };
  struct Request {
    uint8_t effect;
    int8_t side;
  };
  static constexpr uint32_t QueueSize = 32;
  void Start(const Request& request);

  Voice voices_[Voices];
  uint32_t startCount_ = 0;
  Request queue_[QueueSize] = {};
  std::atomic<uint32_t> head_{0};  // next request to take; written by Mix
  std::atomic<uint32_t> tail_{0};  // next free place; written by Push
  int32_t mixBuffer_[2 * BufferFrames] = {};
};

// The game's sound, on SDL's default audio device.
// Renders the effects and opens the device; false, with one line on stderr, when there is none
// (the game is then silent). Opening twice does nothing more.
bool Start();
// Closes the device (also done at the process's exit).
void Stop();
// Asks for a sound: player 0 or 1 for a sound of that player's craft, else SoundCentre. Nothing
// happens while muted or without a device.
void Play(SoundEffect effect, int side = SoundCentre);
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
