// The effects' parameters and their synthesis into fixed buffers.
#include <algorithm>
#include <cmath>

#include "audio/sound.h"

namespace {

// Square, saw and triangle are band-limited (their corners are smoothed over a sample, so their
// harmonics do not fold back below the rate); noise is white noise through a low-pass whose
// corner follows the glide.
enum Wave : uint8_t { Square, Saw, Triangle, Sine, Noise };

// One layer of an effect.
struct Layer {
  Wave wave;
  float fromHz, toHz;           // pitch glides from one to the other (exponentially)
  float attack, hold, release;  // seconds: rise, full level, fall (which sets the length)
  float noise;                  // share of white noise mixed into the wave
  float gain;                   // against the effect's other layers; 0: no layer
};

struct Shape {
  Layer layers[3];
  int noteCount;    // a phrase: the length cut into equal notes
  int8_t notes[4];  // each note's step above the glide, in semitones
  float loudness;   // LKFS: K-weighted over the whole effect
  float drive = 0;  // > 0: saturated this hard, which packs a burst's loudness under its peak
};

// The order of loudness: explosion, hit, the item's tones, volley, menu.
// clang-format off
constexpr Shape Shapes[SoundEffectCount] = {
    // player 0's volley (player 1's below): a hollow square burst and a click
    {{{Square,   1500,  320, 0.002f, 0.010f, 0.068f, 0.30f, 1.0f},
      {Noise,    6000, 1500, 0.001f, 0.004f, 0.030f, 0.00f, 0.5f}}, 1, {0},       -24.0f},
    // hit: a bright crack and a knock
    {{{Noise,    5000,  500, 0.001f, 0.015f, 0.134f, 0.00f, 1.0f},
      {Triangle,  260,  120, 0.001f, 0.010f, 0.080f, 0.00f, 0.6f}}, 1, {0},       -18.0f, 2.0f},
    // destroyed: a crack, a low boom and a long rumble of noise
    {{{Noise,    9000, 7000, 0.0005f, 0.006f, 0.050f, 0.00f, 1.0f},
      {Sine,       95,   36, 0.004f, 0.080f, 0.800f, 0.00f, 1.4f},
      {Noise,    2200,   90, 0.006f, 0.200f, 0.994f, 0.00f, 1.0f}}, 1, {0},     -16.0f, 3.0f},
    // the item appears
    {{{Triangle,  880,  880, 0.003f, 0.050f, 0.247f, 0.00f, 1.0f}}, 3, {0, 7, 12}, -23.0f},
    // items collected: speed, power, grip
    {{{Triangle,  440, 1320, 0.005f, 0.150f, 0.095f, 0.00f, 1.0f}}, 1, {0},       -21.0f},
    {{{Square,    330,  990, 0.005f, 0.150f, 0.095f, 0.00f, 1.0f}}, 1, {0},       -21.0f},
    {{{Sine,      550, 1650, 0.005f, 0.150f, 0.095f, 0.00f, 1.0f}}, 1, {0},       -21.0f},
    // win, lose (lower, falling, in the same key, so that together they do not clash), draw
    {{{Square,    523,  523, 0.005f, 0.500f, 0.195f, 0.00f, 1.0f}}, 4, {0, 4, 7, 12}, -20.0f},
    {{{Triangle,  196,  196, 0.005f, 0.500f, 0.195f, 0.00f, 1.0f}}, 3, {0, -3, -7},   -24.0f},
    {{{Triangle,  392,  392, 0.005f, 0.500f, 0.195f, 0.00f, 1.0f}}, 3, {0, -2, -5},   -21.0f},
    // the intro's whoosh
    {{{Noise,     300, 4000, 1.200f, 0.100f, 1.100f, 0.00f, 1.0f}}, 1, {0},       -25.0f},
    // menus: soft triangle clicks
    {{{Triangle,  880,  880, 0.002f, 0.012f, 0.046f, 0.00f, 1.0f}}, 1, {0},       -30.0f},
    {{{Triangle,  660,  990, 0.002f, 0.050f, 0.068f, 0.00f, 1.0f}}, 2, {0, 7},    -29.0f},
    {{{Triangle,  990,  440, 0.002f, 0.050f, 0.098f, 0.00f, 1.0f}}, 1, {0},       -29.0f},
};
// Player 1's volley: lower, and a saw, buzzier than player 0's square.
constexpr Shape SecondVolley =
    {{{Saw,      1050,  230, 0.002f, 0.010f, 0.068f, 0.30f, 1.0f},
      {Noise,    5000, 1200, 0.001f, 0.004f, 0.030f, 0.00f, 0.5f}}, 1, {0},       -24.0f};
// The pitches of a volley's variants, in semitones.
constexpr float VariantSteps[Sound::VolleyVariants] = {-0.6f, -0.2f, 0.2f, 0.6f};
// clang-format on

// No effect peaks above this share of full scale, whatever its loudness asks: the rest is
// headroom for the mix.
constexpr float MostPeak = 0.6f;

constexpr int LengthOf(const Layer& l) {
  return l.gain > 0 ? static_cast<int>((l.attack + l.hold + l.release) * Sound::Rate + 0.5f) : 0;
}

constexpr int LengthOf(const Shape& s) {
  int length = 0;
  for (const Layer& l : s.layers) length = LengthOf(l) > length ? LengthOf(l) : length;
  return length;
}

constexpr int ClipCount = SoundEffectCount + 2 * Sound::VolleyVariants;

// Clip k: effect k, except that the volleys' clips come last, player by player.
constexpr const Shape& ShapeOf(int clip) {
  return clip < SoundEffectCount                           ? Shapes[clip]
         : clip < SoundEffectCount + Sound::VolleyVariants ? Shapes[SoundVolley]
                                                           : SecondVolley;
}

constexpr int TotalLength() {
  int total = 0;
  for (int c = 0; c < ClipCount; ++c) total += LengthOf(ShapeOf(c));
  return total;
}

int16_t Store[TotalLength()];
float Work[LengthOf(Shapes[SoundIntro])];
Sound::Clip Clips[ClipCount];
bool Rendered = false;

// A small generator of its own, so that every start renders the same sounds.
struct Generator {
  uint32_t state;
  float Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<int32_t>(state)) / 2147483648.0f;
  }
};

float Envelope(const Layer& l, float t) {
  if (t < l.attack) return t / l.attack;
  t -= l.attack + l.hold;
  if (t < 0) return 1;
  const float left = 1 - t / l.release;
  return left > 0 ? left * left : 0;  // falls away like a struck thing
}

// Each note of a phrase rises in 3 ms and falls over its last fifth, so notes stay apart.
float NoteEnvelope(float into, float noteLength) {
  const float rise = into / 0.003f;
  const float fall = (noteLength - into) / (0.2f * noteLength);
  const float e = rise < fall ? rise : fall;
  return e < 1 ? e : 1;
}

// The corrections that smooth a jump (Blep) or a bend (Blamp) at phase 0 over the samples
// around it; `dt` is the phase a sample advances.
float Blep(float t, float dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt;
    return t * t + t + t + 1;
  }
  return 0;
}

float Blamp(float t, float dt) {
  if (t < dt) {
    t = t / dt - 1;
    return -t * t * t / 3;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt + 1;
    return t * t * t / 3;
  }
  return 0;
}

// Adds one layer into out; `length` is the whole effect's, which its notes share.
void Render(const Layer& l, const Shape& s, float semitones, uint32_t seed, float* out,
            int length) {
  Generator noise{seed};
  double phase = 0;
  float low1 = 0, low2 = 0;  // the noise's low-pass, two poles
  const int layerLength = LengthOf(l);
  const float noteLength = static_cast<float>(length) / Sound::Rate / s.noteCount;
  for (int i = 0; i < layerLength; ++i) {
    const float t = static_cast<float>(i) / Sound::Rate;
    const int note = std::min(static_cast<int>(t / noteLength), s.noteCount - 1);
    const double hz = l.fromHz * std::pow(l.toHz / l.fromHz, static_cast<double>(i) / layerLength) *
                      std::exp2((s.notes[note] + semitones) / 12.0);
    const float dt = static_cast<float>(hz / Sound::Rate);
    const float p = static_cast<float>(phase);
    const float half = p < 0.5f ? p + 0.5f : p - 0.5f;
    float v = 0;
    switch (l.wave) {
      case Square:
        v = (p < 0.5f ? 1 : -1) + Blep(p, dt) - Blep(half, dt);
        break;
      case Saw:
        v = 2 * p - 1 - Blep(p, dt);
        break;
      case Triangle:
        v = (p < 0.5f ? 4 * p - 1 : 3 - 4 * p) + 4 * dt * (Blamp(p, dt) - Blamp(half, dt));
        break;
      case Sine:
        v = std::sin(6.2831853f * p);
        break;
      case Noise: {
        const float a = 1 - std::exp(-6.2831853f * std::min(dt, 0.45f));
        low1 += a * (noise.Next() - low1);
        low2 += a * (low1 - low2);
        v = low2;
        break;
      }
    }
    phase += dt;
    if (phase >= 1) phase -= 1;
    v = v * (1 - l.noise) + noise.Next() * l.noise;
    float gain = Envelope(l, t) * l.gain;
    if (s.noteCount > 1) gain *= NoteEnvelope(t - note * noteLength, noteLength);
    out[i] += v * gain;
  }
}

// Loudness after K-weighting (a high shelf, then a high-pass near 38 Hz), over the whole clip.
double Loudness(const float* x, int length) {
  constexpr double B[2][3] = {{1.53512485958697, -2.69169618940638, 1.19839281085285},
                              {1.0, -2.0, 1.0}};
  constexpr double A[2][2] = {{-1.69065929318241, 0.73248077421585},
                              {-1.99004745483398, 0.99007225036621}};
  double state[2][4] = {}, sum = 0;
  for (int i = 0; i < length; ++i) {
    double v = x[i];
    for (int k = 0; k < 2; ++k) {
      double* z = state[k];  // x1, x2, y1, y2
      const double y =
          B[k][0] * v + B[k][1] * z[0] + B[k][2] * z[1] - A[k][0] * z[2] - A[k][1] * z[3];
      z[1] = z[0], z[0] = v, z[3] = z[2], z[2] = y;
      v = y;
    }
    sum += v * v;
  }
  return -0.691 + 10 * std::log10(std::max(sum / length, 1e-20));
}

}  // namespace

namespace Sound {

void RenderClips() {
  if (Rendered) return;
  int16_t* next = Store;
  for (int c = 0; c < ClipCount; ++c) {
    const Shape& s = ShapeOf(c);
    const int variant = (c - SoundEffectCount) % VolleyVariants;
    const float semitones = c < SoundEffectCount ? 0 : VariantSteps[variant];
    const int length = LengthOf(s);
    std::fill(Work, Work + length, 0.0f);
    for (int k = 0; k < 3; ++k)
      if (s.layers[k].gain > 0)
        Render(s.layers[k], s, semitones, 0x2545F491u + 7919u * static_cast<uint32_t>(3 * c + k),
               Work, length);
    if (s.drive > 0) {
      float most = 0;
      for (int i = 0; i < length; ++i) most = std::max(most, std::fabs(Work[i]));
      for (int i = 0; i < length; ++i) Work[i] = std::tanh(s.drive * Work[i] / most);
    }
    // A gentle high-pass (corner near 8 Hz) takes out any offset the glides leave.
    float previousIn = 0, previousOut = 0, peak = 0;
    for (int i = 0; i < length; ++i) {
      const float in = Work[i];
      Work[i] = previousOut = in - previousIn + 0.999f * previousOut;
      previousIn = in;
      peak = std::max(peak, std::fabs(Work[i]));
    }
    float scale = static_cast<float>(std::pow(10.0, (s.loudness - Loudness(Work, length)) / 20));
    if (peak * scale > MostPeak) scale = MostPeak / peak;
    for (int i = 0; i < length; ++i)
      next[i] = static_cast<int16_t>(std::lround(Work[i] * scale * 32767));
    Clips[c] = Clip{next, length};
    next += length;
  }
  Rendered = true;
}

Clip ClipOf(SoundEffect effect, int side, int variant) {
  RenderClips();
  if (effect != SoundVolley) return Clips[effect];
  return Clips[SoundEffectCount + (side == 1 ? VolleyVariants : 0) + variant % VolleyVariants];
}

}  // namespace Sound
