// The effects' parameters and their synthesis into fixed buffers.
#include <algorithm>
#include <cmath>

#include "audio/sound.h"

namespace {

enum Wave : uint8_t { Square, Triangle, Sine, Noise };

struct Shape {
  Wave wave;
  float fromHz, toHz;           // pitch glides from one to the other (exponentially)
  float attack, hold, release;  // seconds: rise, full level, fall (which sets the length)
  float noise;                  // share of white noise mixed into the wave
  int noteCount;                // a phrase: the length cut into equal notes
  int8_t notes[4];              // each note's step above the glide, in semitones
  float level;                  // peak, as a share of full scale
};

// Noise waves are random steps held for half a period, so their pitch too can glide.
// clang-format off
constexpr Shape Shapes[SoundEffectCount] = {
    // wave     from    to  attack    hold release  noise n  notes           level
    {Square,   1400,  300, 0.002f, 0.010f, 0.068f, 0.45f, 1, {0},            0.25f},  // volley
    {Noise,    2400,  200, 0.001f, 0.020f, 0.129f, 0.00f, 1, {0},            0.40f},  // hit
    {Noise,    1800,   60, 0.004f, 0.150f, 1.046f, 0.15f, 1, {0},            0.50f},  // destroyed
    {Triangle,  880,  880, 0.003f, 0.050f, 0.247f, 0.00f, 3, {0, 7, 12},     0.30f},  // item
    {Triangle,  440, 1320, 0.005f, 0.150f, 0.095f, 0.00f, 1, {0},            0.30f},  // speed
    {Square,    330,  990, 0.005f, 0.150f, 0.095f, 0.00f, 1, {0},            0.22f},  // power
    {Sine,      550, 1650, 0.005f, 0.150f, 0.095f, 0.00f, 1, {0},            0.35f},  // grip
    {Square,    523,  523, 0.005f, 0.500f, 0.195f, 0.00f, 4, {0, 4, 7, 12},  0.22f},  // win
    {Triangle,  392,  392, 0.005f, 0.500f, 0.195f, 0.00f, 3, {0, -2, -5},    0.30f},  // draw
    {Noise,     300, 4000, 1.200f, 0.100f, 1.100f, 0.00f, 1, {0},            0.30f},  // intro
    {Square,    990,  990, 0.002f, 0.020f, 0.038f, 0.00f, 1, {0},            0.18f},  // move
    {Square,    660,  990, 0.002f, 0.050f, 0.068f, 0.00f, 2, {0, 7},         0.18f},  // select
    {Square,    990,  440, 0.002f, 0.050f, 0.098f, 0.00f, 1, {0},            0.18f},  // leave
};
// clang-format on

constexpr int LengthOf(const Shape& s) {
  return static_cast<int>((s.attack + s.hold + s.release) * Sound::Rate + 0.5f);
}

constexpr int TotalLength() {
  int total = 0;
  for (const Shape& s : Shapes) total += LengthOf(s);
  return total;
}

constexpr int LongestLength() {
  int longest = 0;
  for (const Shape& s : Shapes) longest = LengthOf(s) > longest ? LengthOf(s) : longest;
  return longest;
}

int16_t Store[TotalLength()];
float Work[LongestLength()];
Sound::Clip Clips[SoundEffectCount];
bool Rendered = false;

// A small generator of its own, so that every start renders the same sounds.
struct Generator {
  uint32_t state = 0x2545F491u;
  float Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<int32_t>(state)) / 2147483648.0f;
  }
};

float Envelope(const Shape& s, float t) {
  if (t < s.attack) return t / s.attack;
  t -= s.attack + s.hold;
  if (t < 0) return 1;
  const float left = 1 - t / s.release;
  return left > 0 ? left * left : 0;  // falls away like a struck thing
}

// Each note of a phrase rises in 3 ms and falls over its last fifth, so notes stay apart.
float NoteEnvelope(float into, float noteLength) {
  const float rise = into / 0.003f;
  const float fall = (noteLength - into) / (0.2f * noteLength);
  const float e = rise < fall ? rise : fall;
  return e < 1 ? e : 1;
}

void Render(const Shape& s, float* out, int length) {
  Generator noise;
  double phase = 0;
  float held = noise.Next();
  const float noteLength = static_cast<float>(length) / Sound::Rate / s.noteCount;
  for (int i = 0; i < length; ++i) {
    const float t = static_cast<float>(i) / Sound::Rate;
    const int note = std::min(static_cast<int>(t / noteLength), s.noteCount - 1);
    const double hz = s.fromHz * std::pow(s.toHz / s.fromHz, static_cast<double>(i) / length) *
                      std::exp2(s.notes[note] / 12.0);
    const bool firstHalf = phase < 0.5;
    phase += hz / Sound::Rate;
    if (phase >= 1) phase -= 1;
    const float p = static_cast<float>(phase);
    float v = 0;
    switch (s.wave) {
      case Square:
        v = p < 0.5f ? 1 : -1;
        break;
      case Triangle:
        v = p < 0.5f ? 4 * p - 1 : 3 - 4 * p;
        break;
      case Sine:
        v = std::sin(6.2831853f * p);
        break;
      case Noise:
        if (firstHalf != (p < 0.5f)) held = noise.Next();
        v = held;
        break;
    }
    v = v * (1 - s.noise) + noise.Next() * s.noise;
    float gain = Envelope(s, t);
    if (s.noteCount > 1) gain *= NoteEnvelope(t - note * noteLength, noteLength);
    out[i] = v * gain;
  }
}

}  // namespace

namespace Sound {

void RenderClips() {
  if (Rendered) return;
  int16_t* next = Store;
  for (int e = 0; e < SoundEffectCount; ++e) {
    const Shape& s = Shapes[e];
    const int length = LengthOf(s);
    Render(s, Work, length);
    // A gentle high-pass (corner near 8 Hz) takes out any offset the glides leave.
    float previousIn = 0, previousOut = 0, peak = 0;
    for (int i = 0; i < length; ++i) {
      const float in = Work[i];
      Work[i] = previousOut = in - previousIn + 0.999f * previousOut;
      previousIn = in;
      peak = std::max(peak, std::fabs(Work[i]));
    }
    const float scale = peak > 0 ? s.level * 32767 / peak : 0;
    for (int i = 0; i < length; ++i) next[i] = static_cast<int16_t>(std::lround(Work[i] * scale));
    Clips[e] = Clip{next, length};
    next += length;
  }
  Rendered = true;
}

Clip ClipOf(SoundEffect effect) {
  RenderClips();
  return Clips[effect];
}

}  // namespace Sound
