// The effects as rendered and the mixer's voices, panning and queue, without a device.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/sound.h"

namespace {

std::vector<int16_t> Mix(Sound::Mixer& mixer, int frames, bool muted = false) {
  std::vector<int16_t> out(2 * frames, 1);
  mixer.Mix(out.data(), frames, muted);
  return out;
}

TEST(SoundEffects, StayModerateWithoutOffsetAndLastAsLongAsTheirEvents) {
  uint64_t hash = 14695981039346656037u;
  for (int e = 0; e < SoundEffectCount; ++e) {
    const Sound::Clip clip = Sound::ClipOf(static_cast<SoundEffect>(e));
    int peak = 0;
    double sum = 0;
    for (int i = 0; i < clip.length; ++i) {
      peak = std::max(peak, std::abs(int{clip.samples[i]}));
      sum += clip.samples[i];
    }
    EXPECT_GT(peak, 5000) << e;
    EXPECT_LE(peak, 16384) << e;  // at most half of full scale
    EXPECT_LT(std::abs(sum / clip.length), 20) << e;
    EXPECT_LT(std::abs(int{clip.samples[clip.length - 1]}), 40) << e;
    for (int i = 0; i < clip.length; ++i)
      hash = (hash ^ uint16_t(clip.samples[i])) * 1099511628211u;
  }
  // Every sample as designed: a deliberate change of an effect writes the new hash here.
  EXPECT_EQ(hash, 0x24624537aa629626u);
  // A volley is over before the next (100 ms later); the whoosh ends with the 50-frame intro.
  EXPECT_EQ(Sound::ClipOf(SoundVolley).length, Sound::Rate * 80 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundIntro).length, Sound::Rate * 2400 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundDestroyed).length, 8 * Sound::ClipOf(SoundHit).length);
}

TEST(SoundMixer, PansEachSideStartsARepeatOnceAndClamps) {
  const Sound::Clip clip = Sound::ClipOf(SoundDestroyed);
  const struct {
    int side, left, right;  // gains, 1 << 15 full
  } cases[] = {{0, 32768, 9830}, {1, 9830, 32768}, {SoundCentre, 24576, 24576}};
  auto all = std::make_unique<Sound::Mixer>();
  for (const auto& c : cases) {
    auto mixer = std::make_unique<Sound::Mixer>();
    mixer->Push(SoundDestroyed, c.side);
    mixer->Push(SoundDestroyed, c.side);
    all->Push(SoundDestroyed, c.side);
    const std::vector<int16_t> out = Mix(*mixer, clip.length + 10);
    for (int i : {1, 500, clip.length - 1}) {
      EXPECT_EQ(out[2 * i], (clip.samples[i] * c.left) >> 15) << c.side << " " << i;
      EXPECT_EQ(out[2 * i + 1], (clip.samples[i] * c.right) >> 15) << c.side << " " << i;
    }
    EXPECT_EQ(out[2 * clip.length + 19], 0);
    EXPECT_EQ(mixer->Busy(), 0);
  }
  // The three together reach past full scale in places and are held there.
  const std::vector<int16_t> out = Mix(*all, clip.length);
  for (int i = 0; i < clip.length; ++i) {
    const int sum = (clip.samples[i] * 67174) >> 15;  // 32768 + 9830 + 24576
    ASSERT_NEAR(out[2 * i], std::clamp(sum, -32768, 32767), 2) << i;
  }
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 32767);
}

TEST(SoundMixer, ANewSoundTakesTheOldestVoiceAndMutingStopsAll) {
  auto mixer = std::make_unique<Sound::Mixer>();
  mixer->Push(SoundDestroyed, 0);
  Mix(*mixer, 10);
  for (int i = 0; i < Sound::Voices; ++i) {  // eight short ones, one after another
    mixer->Push(SoundMenuMove, SoundCentre);
    Mix(*mixer, 1);
  }
  EXPECT_EQ(mixer->Busy(), Sound::Voices);
  Mix(*mixer, Sound::ClipOf(SoundMenuMove).length);
  EXPECT_EQ(mixer->Busy(), 0);  // the long burst gave its voice up
  // The queue holds 32; a muted mix empties it, stops what sounds, starts nothing, writes silence.
  mixer->Push(SoundDestroyed, 1);
  Mix(*mixer, 1);
  for (int i = 0; i < 32; ++i) EXPECT_TRUE(mixer->Push(SoundHit, i % 2)) << i;
  EXPECT_FALSE(mixer->Push(SoundHit, 0));
  const std::vector<int16_t> out = Mix(*mixer, 100, true);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), 200);
  EXPECT_EQ(mixer->Busy(), 0);
  EXPECT_TRUE(mixer->Push(SoundHit, 0));
}

}  // namespace
