// Mixing: requests from the game through a single-producer queue, a fixed set of voices, a bus
// of floats with a look-ahead limiter.
#include <algorithm>
#include <cmath>

#include "audio/sound.h"

namespace Sound {

namespace {
struct Pan {
  float left, right;
};
// Player 0's craft mostly on the left, player 1's mostly on the right, the rest in the middle.
constexpr Pan PlayerPan[2] = {{1.0f, 0.3f}, {0.3f, 1.0f}};
constexpr Pan CentrePan = {0.75f, 0.75f};
constexpr float Full = 32768;

int PriorityOf(int effect) {
  switch (effect) {
    case SoundDestroyed:
    case SoundWin:
    case SoundLose:
    case SoundDraw:
      return 3;  // never taken
    case SoundVolley:
    case SoundMenuMove:
    case SoundMenuSelect:
    case SoundMenuLeave:
      return 1;
    default:
      return 2;
  }
}

bool IsItemTone(int effect) {
  return effect == SoundItemSpeed || effect == SoundItemPower || effect == SoundItemGrip;
}

// Volleys go down this far while a hit or an explosion is in its first quarter second.
constexpr float Ducked = 0.7f;
constexpr int DuckFrames = Rate / 4;
const float DuckFall = 1 - std::exp(-1.0f / (0.005f * Rate));    // within about 5 ms
const float DuckRise = 1 - std::exp(-1.0f / (0.120f * Rate));    // back over about 120 ms
const float LimiterRelease = std::exp(-1.0f / (0.080f * Rate));  // the limiter lets go in 80 ms
}  // namespace

bool Mixer::Push(SoundEffect effect, int side) {
  const uint32_t tail = tail_.load(std::memory_order_relaxed);
  if (tail - head_.load(std::memory_order_acquire) == QueueSize) return false;
  queue_[tail % QueueSize] = Request{static_cast<uint8_t>(effect), static_cast<int8_t>(side)};
  tail_.store(tail + 1, std::memory_order_release);
  return true;
}

uint32_t Mixer::Random() {
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  return random_;
}

void Mixer::Start(const Request& request) {
  const int effect = request.effect;
  const int priority = PriorityOf(effect);
  // With every voice sounding, the least important, oldest sound fades out to make room; a sound
  // less important than all of them is not started.
  int live = 0;
  Voice* victim = nullptr;
  for (Voice& v : voices_) {
    if (v.samples == nullptr || v.fade > 0) continue;
    ++live;
    if (v.priority == 3) continue;
    if (victim == nullptr || v.priority < victim->priority ||
        (v.priority == victim->priority && startCount_ - v.started > startCount_ - victim->started))
      victim = &v;
  }
  if (live >= Voices) {
    if (victim == nullptr || victim->priority > priority) return;
    victim->fade = FadeFrames;
    if (victim->delay > 0) victim->samples = nullptr;  // not begun: nothing to fade
  }
  // A free slot, else the fading sound nearest its end.
  Voice* voice = nullptr;
  for (Voice& v : voices_) {
    if (v.samples == nullptr) {
      voice = &v;
      break;
    }
    if (v.fade > 0 && (voice == nullptr || v.fade < voice->fade)) voice = &v;
  }
  const int side = request.side == 0 || request.side == 1 ? request.side : SoundCentre;
  const Pan pan = side == SoundCentre ? CentrePan : PlayerPan[side];
  float level = 1;
  int variant = 0;
  if (effect == SoundVolley) {  // each shot a little different: one of the pitches, +-0.8 dB
    const uint32_t r = Random();
    variant = static_cast<int>(r % VolleyVariants);
    level = 0.91f + 0.18f * static_cast<float>((r >> 8) & 0xFFFF) / 65535.0f;
  }
  // The item's chime waits until a tone of a collected item is over, which it would mask.
  int delay = 0;
  if (effect == SoundItemAppears) {
    for (const Voice& v : voices_)
      if (v.samples != nullptr && v.fade == 0 && IsItemTone(v.effect))
        delay = std::max(delay, v.delay + v.length - v.position);
  }
  const Clip clip = ClipOf(static_cast<SoundEffect>(effect), side, variant);
  *voice = Voice{clip.samples,
                 clip.length,
                 0,
                 delay,
                 0,
                 pan.left * level / Full,
                 pan.right * level / Full,
                 static_cast<uint8_t>(effect),
                 static_cast<uint8_t>(priority),
                 startCount_++};
}

void Mixer::Mix(int16_t* out, int frames, bool muted) {
  const uint32_t tail = tail_.load(std::memory_order_acquire);
  const uint32_t first = head_.load(std::memory_order_relaxed);
  for (uint32_t head = first; head != tail; ++head) {
    const Request request = queue_[head % QueueSize];
    bool again = false;
    for (uint32_t k = first; k != head; ++k) {
      const Request& earlier = queue_[k % QueueSize];
      again = again || (earlier.effect == request.effect && earlier.side == request.side);
    }
    if (!again && !muted) Start(request);
  }
  head_.store(tail, std::memory_order_release);
  if (muted) {
    for (Voice& v : voices_) {
      if (v.samples != nullptr && v.delay > 0) v.samples = nullptr;  // not begun: nothing to fade
      if (v.samples != nullptr && v.fade == 0) v.fade = FadeFrames;
    }
  }
  while (frames > 0) {
    const int n = std::min(frames, BufferFrames);
    std::fill(bus_, bus_ + 2 * n, 0.0f);
    std::fill(volleyBus_, volleyBus_ + 2 * n, 0.0f);
    bool duck = false;
    for (Voice& v : voices_) {
      if (v.samples == nullptr) continue;
      duck = duck || ((v.effect == SoundHit || v.effect == SoundDestroyed) && v.delay == 0 &&
                      v.position < DuckFrames);
      float* bus = v.effect == SoundVolley ? volleyBus_ : bus_;
      int i = std::min(n, v.delay);
      v.delay -= i;
      for (; i < n && v.position < v.length; ++i, ++v.position) {
        float s = v.samples[v.position];
        if (v.fade > 0) {
          s *= static_cast<float>(v.fade) / FadeFrames;
          if (--v.fade == 0) break;
        }
        bus[2 * i] += s * v.left;
        bus[2 * i + 1] += s * v.right;
      }
      if (v.position >= v.length || (i < n && v.fade == 0 && v.delay == 0)) v.samples = nullptr;
    }
    const float target = duck ? Ducked : 1.0f;
    for (int i = 0; i < n; ++i) {
      duck_ += (target - duck_) * (target < duck_ ? DuckFall : DuckRise);
      bus_[2 * i] += volleyBus_[2 * i] * duck_;
      bus_[2 * i + 1] += volleyBus_[2 * i + 1] * duck_;
    }
    Limit(out, n);
    out += 2 * n;
    frames -= n;
  }
}

// The gain a frame leaves with is the mean of the last Lookahead released reductions, each at
// least the largest any of the frames then ahead needs; the frame leaving was ahead of all of
// them, so it leaves at or under the ceiling, and the gain glides over Lookahead frames.
void Mixer::Limit(int16_t* out, int frames) {
  constexpr uint32_t L = Lookahead;
  for (int i = 0; i < frames; ++i, ++frame_) {
    const float left = bus_[2 * i], right = bus_[2 * i + 1];
    const float peak = std::max(std::fabs(left), std::fabs(right));
    const float cut = peak > Ceiling ? 1 - Ceiling / peak : 0;
    while (peakEnd_ != peakFirst_ && peakCut_[(peakEnd_ - 1) % L] <= cut) --peakEnd_;
    if (peakEnd_ != peakFirst_ && frame_ - peakFrame_[peakFirst_ % L] >= L) ++peakFirst_;
    peakFrame_[peakEnd_ % L] = frame_;
    peakCut_[peakEnd_ % L] = cut;
    ++peakEnd_;
    release_ = std::max(peakCut_[peakFirst_ % L], release_ * LimiterRelease);
    releasedSum_ += release_ - released_[frame_ % L];
    released_[frame_ % L] = release_;
    const float gain = static_cast<float>(1 - std::max(0.0, releasedSum_) / L);
    const uint32_t leaving = (frame_ + 1) % L;
    for (int c = 0; c < 2; ++c) {
      const float y = std::clamp(delayLine_[2 * leaving + c] * gain, -Ceiling, Ceiling);
      out[2 * i + c] = static_cast<int16_t>(std::lround(y * 32767));
    }
    delayLine_[2 * (frame_ % L)] = left;
    delayLine_[2 * (frame_ % L) + 1] = right;
  }
}

int Mixer::Busy() const {
  int busy = 0;
  for (const Voice& v : voices_) busy += v.samples != nullptr;
  return busy;
}

}  // namespace Sound
