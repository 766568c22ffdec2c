// Mixing: requests from the game through a single-producer queue, a fixed set of voices.
#include <algorithm>

#include "audio/sound.h"

namespace Sound {

namespace {
struct Pan {
  int32_t left, right;  // 1 << 15 is full
};
// Player 0's craft mostly on the left, player 1's mostly on the right, the rest in the middle.
constexpr Pan PlayerPan[2] = {{32768, 9830}, {9830, 32768}};
constexpr Pan CentrePan = {24576, 24576};
}  // namespace

bool Mixer::Push(SoundEffect effect, int side) {
  const uint32_t tail = tail_.load(std::memory_order_relaxed);
  if (tail - head_.load(std::memory_order_acquire) == QueueSize) return false;
  queue_[tail % QueueSize] = Request{static_cast<uint8_t>(effect), static_cast<int8_t>(side)};
  tail_.store(tail + 1, std::memory_order_release);
  return true;
}

void Mixer::Start(const Request& request) {
  Voice* voice = &voices_[0];
  for (Voice& v : voices_) {
    if (v.samples == nullptr) {
      voice = &v;
      break;
    }
    if (startCount_ - v.started > startCount_ - voice->started) voice = &v;
  }
  const Clip clip = ClipOf(static_cast<SoundEffect>(request.effect));
  const Pan pan = request.side == 0 || request.side == 1 ? PlayerPan[request.side] : CentrePan;
  *voice = Voice{clip.samples, clip.length, 0, pan.left, pan.right, startCount_++};
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
    for (Voice& v : voices_) v.samples = nullptr;
    std::fill(out, out + 2 * frames, int16_t{0});
    return;
  }
  while (frames > 0) {
    const int n = std::min(frames, BufferFrames);
    std::fill(mixBuffer_, mixBuffer_ + 2 * n, 0);
    for (Voice& v : voices_) {
      if (v.samples == nullptr) continue;
      const int count = std::min(n, v.length - v.position);
      const int16_t* s = v.samples + v.position;
      for (int i = 0; i < count; ++i) {
        mixBuffer_[2 * i] += (s[i] * v.gainLeft) >> 15;
        mixBuffer_[2 * i + 1] += (s[i] * v.gainRight) >> 15;
      }
      v.position += count;
      if (v.position == v.length) v.samples = nullptr;
    }
    for (int i = 0; i < 2 * n; ++i)
      out[i] = static_cast<int16_t>(std::clamp(mixBuffer_[i], -32768, 32767));
    out += 2 * n;
    frames -= n;
  }
}

int Mixer::Busy() const {
  int busy = 0;
  for (const Voice& v : voices_) busy += v.samples != nullptr;
  return busy;
}

}  // namespace Sound
