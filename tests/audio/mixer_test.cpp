// The effects as rendered and the mixer's voices, panning and queue, without a device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/sound.h"

namespace {

std::vector<int16_t> Mix(Sound::Mixer& mixer, int frames) {
  std::vector<int16_t> out(2 * frames, 1);
  mixer.Mix(out.data(), frames, false);
  return out;
}

TEST(SoundEffects, StayBelowFullScaleWithoutOffsetAndEndInSilence) {
  for (int e = 0; e < SoundEffectCount; ++e) {
    const Sound::Clip clip = Sound::ClipOf(static_cast<SoundEffect>(e));
    ASSERT_GT(clip.length, Sound::Rate / 20) << e;  // none shorter than 50 ms
    int peak = 0;
    double sum = 0;
    for (int i = 0; i < clip.length; ++i) {
      peak = std::max(peak, std::abs(int{clip.samples[i]}));
      sum += clip.samples[i];
    }
    EXPECT_GT(peak, 5000) << e;
    EXPECT_LE(peak, 16384) << e;  // moderate: at most half of full scale
    EXPECT_LT(std::abs(sum / clip.length), 20) << e;
    EXPECT_LT(std::abs(int{clip.samples[clip.length - 1]}), 40) << e;
    EXPECT_EQ(clip.samples[0], 0) << e;
  }
  // A volley sounds shorter than the 100 ms between two volleys; the intro's whoosh ends with the
  // intro's 50 frames; a destruction lasts far longer than a hit.
  EXPECT_EQ(Sound::ClipOf(SoundVolley).length, Sound::Rate * 80 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundIntro).length, Sound::Rate * 2400 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundDestroyed).length, 8 * Sound::ClipOf(SoundHit).length);
}

TEST(SoundMixer, PansEachSideAndLetsASoundEnd) {
  const Sound::Clip clip = Sound::ClipOf(SoundHit);
  // Player 0 mostly left, player 1 mostly right, the rest even.
  const struct {
    int side;
    int left, right;  // gains, 1 << 15 full
  } cases[] = {{0, 32768, 9830}, {1, 9830, 32768}, {SoundCentre, 24576, 24576}};
  for (const auto& c : cases) {
    auto mixer = std::make_unique<Sound::Mixer>();
    ASSERT_TRUE(mixer->Push(SoundHit, c.side));
    ASSERT_TRUE(mixer->Push(SoundHit, c.side));  // twice before a mix: started once
    const std::vector<int16_t> out = Mix(*mixer, clip.length + 10);
    for (int i : {1, 500, clip.length - 1}) {
      EXPECT_EQ(out[2 * i], (clip.samples[i] * c.left) >> 15) << c.side << " " << i;
      EXPECT_EQ(out[2 * i + 1], (clip.samples[i] * c.right) >> 15) << c.side << " " << i;
    }
    EXPECT_EQ(out[2 * clip.length], 0);
    EXPECT_EQ(out[2 * clip.length + 19], 0);
    EXPECT_EQ(mixer->Busy(), 0);
  }
}

TEST(SoundMixer, ANewSoundTakesTheOldestVoiceWhenAllAreBusy) {
  auto mixer = std::make_unique<Sound::Mixer>();
  mixer->Push(SoundDestroyed, 0);
  Mix(*mixer, 10);
  for (int i = 0; i < Sound::Voices; ++i) {  // eight short ones, started one after another
    mixer->Push(SoundMenuMove, SoundCentre);
    Mix(*mixer, 1);
  }
  EXPECT_EQ(mixer->Busy(), Sound::Voices);
  // Once the short ones have ended nothing is left: the long burst gave its voice up.
  Mix(*mixer, Sound::ClipOf(SoundMenuMove).length);
  EXPECT_EQ(mixer->Busy(), 0);
}

TEST(SoundMixer, SumsVoicesAndClampsAtFullScale) {
  auto mixer = std::make_unique<Sound::Mixer>();
  const Sound::Clip clip = Sound::ClipOf(SoundDestroyed);
  mixer->Push(SoundDestroyed, 0);
  mixer->Push(SoundDestroyed, 1);
  mixer->Push(SoundDestroyed, SoundCentre);
  const std::vector<int16_t> out = Mix(*mixer, clip.length);
  int clamped = 0;
  for (int i = 0; i < clip.length; ++i) {
    const int s = clip.samples[i];
    const int expected = ((s * 32768) >> 15) + ((s * 9830) >> 15) + ((s * 24576) >> 15);
    ASSERT_EQ(out[2 * i], std::clamp(expected, -32768, 32767)) << i;
    clamped += expected > 32767 || expected < -32768;
  }
  EXPECT_GT(clamped, 0);
}

TEST(SoundMixer, QueueHoldsThirtyTwoAndMutingSilencesAndStops) {
  auto mixer = std::make_unique<Sound::Mixer>();
  for (int i = 0; i < 32; ++i) EXPECT_TRUE(mixer->Push(SoundMenuMove, i % 2)) << i;
  EXPECT_FALSE(mixer->Push(SoundMenuMove, 0));
  std::vector<int16_t> out(2 * 100, 1);
  mixer->Mix(out.data(), 100, true);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), 200);
  EXPECT_EQ(mixer->Busy(), 0);
  EXPECT_TRUE(mixer->Push(SoundMenuMove, 0));  // the muted mix emptied the queue
  Mix(*mixer, 1);
  EXPECT_EQ(mixer->Busy(), 1);
}

}  // namespace
