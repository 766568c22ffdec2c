// The audio callback's work for 10 ms of sound (480 stereo frames at 48 kHz) with every voice
// busy: the mixer taking a request from the queue and mixing eight long sounds, as the device's
// thread does it.
#include <benchmark/benchmark.h>

#include <memory>

#include "audio/sound.h"

namespace {

void BM_SoundMix10ms(benchmark::State& state) {
  constexpr int Frames = Sound::Rate / 100;
  auto mixer = std::make_unique<Sound::Mixer>();
  int16_t out[2 * Frames];
  Sound::RenderClips();
  int next = 0;
  for (auto _ : state) {
    // The intro's whoosh and the destruction are the longest: the voices stay busy throughout.
    if (mixer->Busy() < Sound::Voices)
      for (int v = mixer->Busy(); v < Sound::Voices; ++v)
        mixer->Push(v % 2 ? SoundIntro : SoundDestroyed, (next++ % 3) - 1);
    mixer->Mix(out, Frames, false);
    benchmark::DoNotOptimize(out);
  }
  state.counters["voices"] = mixer->Busy();
}
BENCHMARK(BM_SoundMix10ms)->Unit(benchmark::kMicrosecond);

}  // namespace
