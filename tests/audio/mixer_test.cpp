// The effects as rendered and the mixer's voices, panning, limiter and fades, without a device.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/sound.h"

namespace {

std::vector<int16_t> Mix(Sound::Mixer& mixer, int frames, bool muted = false) {
  std::vector<int16_t> out(2 * frames, 1);
  mixer.Mix(out.data(), frames, muted);
  return out;
}

double Energy(const std::vector<int16_t>& out, int channel, size_t from = 0, size_t to = 1 << 30) {
  double sum = 0;
  for (size_t i = 2 * from + channel; i < out.size() && i < 2 * to; i += 2)
    sum += double(out[i]) * out[i];
  return sum;
}

// Loudness as a listener weighs it: a high shelf near 1.5 kHz, a high-pass near 38 Hz (48 kHz
// coefficients), then the mean square over the clip, in dB.
double Loudness(const Sound::Clip& clip) {
  const double b[2][3] = {{1.53512485958697, -2.69169618940638, 1.19839281085285}, {1, -2, 1}};
  const double a[2][2] = {{-1.69065929318241, 0.73248077421585},
                          {-1.99004745483398, 0.99007225036621}};
  double z[2][4] = {}, sum = 0;
  for (int i = 0; i < clip.length; ++i) {
    double v = clip.samples[i] / 32768.0;
    for (int k = 0; k < 2; ++k) {
      const double y = b[k][0] * v + b[k][1] * z[k][0] + b[k][2] * z[k][1] - a[k][0] * z[k][2] -
                       a[k][1] * z[k][3];
      z[k][1] = z[k][0], z[k][0] = v, z[k][3] = z[k][2], z[k][2] = y, v = y;
    }
    sum += v * v;
  }
  return -0.691 + 10 * std::log10(sum / clip.length);
}

// How alike two clips are: 1 the same, near 0 unrelated.
double Likeness(const Sound::Clip& a, const Sound::Clip& b) {
  double ab = 0, aa = 0, bb = 0;
  for (int i = 0; i < std::min(a.length, b.length); ++i) {
    ab += double(a.samples[i]) * b.samples[i];
    aa += double(a.samples[i]) * a.samples[i];
    bb += double(b.samples[i]) * b.samples[i];
  }
  return std::abs(ab) / std::sqrt(aa * bb);
}

TEST(SoundEffects, StartAndEndQuietLeaveHeadroomAndAreAsLoudAsTheyMatter) {
  std::vector<Sound::Clip> clips;
  for (int e = 0; e < SoundEffectCount; ++e) clips.push_back(Sound::ClipOf(SoundEffect(e)));
  for (int side = 0; side < 2; ++side)
    for (int v = 0; v < Sound::VolleyVariants; ++v)
      clips.push_back(Sound::ClipOf(SoundVolley, side, v));
  for (const Sound::Clip& clip : clips) {
    int peak = 0;
    double sum = 0;
    for (int i = 0; i < clip.length; ++i) {
      peak = std::max(peak, std::abs(int{clip.samples[i]}));
      sum += clip.samples[i];
    }
    EXPECT_GT(peak, 2000) << clip.samples;
    EXPECT_LE(peak, 20000) << clip.samples;  // room for the others in the mix
    EXPECT_LT(std::abs(sum / clip.length), 20) << clip.samples;
    EXPECT_LT(std::abs(int{clip.samples[0]}), 40) << clip.samples;
    EXPECT_LT(std::abs(int{clip.samples[clip.length - 1]}), 40) << clip.samples;
  }
  // Explosion, hit, the item's tones, volleys (either player's, any shot), menus.
  auto loudness = [](SoundEffect e, int side = SoundCentre, int v = 0) {
    return Loudness(Sound::ClipOf(e, side, v));
  };
  EXPECT_GT(loudness(SoundDestroyed), loudness(SoundHit) + 1);
  double quietestItem = 0, loudestVolley = -99, quietestVolley = 0, loudestMenu = -99;
  for (SoundEffect e : {SoundItemAppears, SoundItemSpeed, SoundItemPower, SoundItemGrip}) {
    EXPECT_GT(loudness(SoundHit), loudness(e) + 1) << e;
    quietestItem = std::min(quietestItem, loudness(e));
  }
  for (int side = 0; side < 2; ++side)
    for (int v = 0; v < Sound::VolleyVariants; ++v) {
      loudestVolley = std::max(loudestVolley, loudness(SoundVolley, side, v));
      quietestVolley = std::min(quietestVolley, loudness(SoundVolley, side, v));
    }
  for (SoundEffect e : {SoundMenuMove, SoundMenuSelect, SoundMenuLeave})
    loudestMenu = std::max(loudestMenu, loudness(e));
  EXPECT_GT(quietestItem, loudestVolley + 0.5);
  EXPECT_GT(quietestVolley, loudestMenu + 2);
  EXPECT_GT(loudness(SoundWin), loudness(SoundLose) + 1);
  // A volley is over before the next (100 ms later); the whoosh ends with the 50-frame intro.
  EXPECT_EQ(Sound::ClipOf(SoundVolley).length, Sound::Rate * 80 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundIntro).length, Sound::Rate * 2400 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundDestroyed).length, 8 * Sound::ClipOf(SoundHit).length);
}

TEST(SoundEffects, EachItemEachPlayerAndEachShotSoundsItsOwn) {
  for (SoundEffect a : {SoundItemSpeed, SoundItemPower, SoundItemGrip})
    for (SoundEffect b : {SoundItemSpeed, SoundItemPower, SoundItemGrip})
      if (a < b) {
        EXPECT_LT(Likeness(Sound::ClipOf(a), Sound::ClipOf(b)), 0.5) << a << " " << b;
      }
  for (int v = 0; v < Sound::VolleyVariants; ++v) {
    EXPECT_LT(Likeness(Sound::ClipOf(SoundVolley, 0, v), Sound::ClipOf(SoundVolley, 1, v)), 0.5);
    for (int w = 0; w < v; ++w)
      for (int side = 0; side < 2; ++side)
        EXPECT_LT(
            Likeness(Sound::ClipOf(SoundVolley, side, v), Sound::ClipOf(SoundVolley, side, w)),
            0.95)
            << side << " " << v << " " << w;
  }
  EXPECT_LT(Likeness(Sound::ClipOf(SoundHit), Sound::ClipOf(SoundDestroyed)), 0.5);
}

TEST(SoundMixer, PansEachSideStartsARepeatOnceAndSetsBothPlayersApart) {
  for (int side : {0, 1, SoundCentre}) {
    auto once = std::make_unique<Sound::Mixer>(), twice = std::make_unique<Sound::Mixer>();
    once->Push(SoundHit, side);
    twice->Push(SoundHit, side);
    twice->Push(SoundHit, side);
    const std::vector<int16_t> out = Mix(*twice, Sound::ClipOf(SoundHit).length + 200);
    EXPECT_EQ(out, Mix(*once, Sound::ClipOf(SoundHit).length + 200)) << side;
    const double near = Energy(out, side == 1), far = Energy(out, side != 1);
    if (side == SoundCentre) {
      EXPECT_EQ(near, far);
    } else {
      EXPECT_GT(near, 8 * far) << side;
      EXPECT_GT(far, 0) << side;
    }
    EXPECT_EQ(out.back(), 0);
    EXPECT_EQ(twice->Busy(), 0);
  }
  // Both firing in the same instant: each channel mostly its own player's volley.
  auto mixer = std::make_unique<Sound::Mixer>();
  mixer->Push(SoundVolley, 0);
  mixer->Push(SoundVolley, 1);
  const std::vector<int16_t> out = Mix(*mixer, Sound::ClipOf(SoundVolley).length);
  double difference = 0;
  for (size_t i = 0; i < out.size(); i += 2) difference += std::pow(out[i] - out[i + 1], 2);
  EXPECT_GT(difference, 0.3 * (Energy(out, 0) + Energy(out, 1)));
  // One player's shots, one after another, are not all the same.
  std::vector<std::vector<int16_t>> shots;
  for (int shot = 0; shot < 4; ++shot) {
    mixer->Push(SoundVolley, 0);
    shots.push_back(Mix(*mixer, 2 * Sound::ClipOf(SoundVolley).length));
  }
  EXPECT_TRUE(shots[0] != shots[1] || shots[1] != shots[2] || shots[2] != shots[3]);
}

TEST(SoundMixer, AFullMixStaysUnderFullScaleAndNeverLosesAnExplosionOrAResult) {
  auto mixer = std::make_unique<Sound::Mixer>();
  std::vector<int16_t> all;
  // An explosion and the result on each side, then a hot exchange that keeps every voice busy.
  for (SoundEffect e : {SoundDestroyed, SoundWin, SoundLose}) {
    mixer->Push(e, 0);
    mixer->Push(e, 1);
  }
  for (int block = 0; block < 40; ++block) {
    for (SoundEffect e : {SoundHit, SoundVolley, SoundItemPower, SoundMenuMove})
      for (int side : {0, 1}) mixer->Push(e, side);
    const std::vector<int16_t> out = Mix(*mixer, 480);
    EXPECT_LE(mixer->Busy(), Sound::Voices + 4);
    all.insert(all.end(), out.begin(), out.end());
  }
  const int16_t most = std::max(*std::max_element(all.begin(), all.end()),
                                int16_t(-*std::min_element(all.begin(), all.end())));
  EXPECT_LE(most, std::lround(Sound::Mixer::Ceiling * 32767));
  EXPECT_GT(most, 16000);  // turned down to the ceiling, not far below it
  // The hot exchange over, the two explosions and phrases go on to their ends.
  const std::vector<int16_t> rest = Mix(*mixer, Sound::Rate / 4);
  EXPECT_EQ(mixer->Busy(), 6);
  EXPECT_GT(Energy(rest, 0, Sound::Rate / 4 - 100), 0);
  Mix(*mixer, Sound::Rate * 6 / 10);
  EXPECT_EQ(mixer->Busy(), 0);
}

TEST(SoundMixer, ACutSoundFadesOutAndATakenVoiceFadesToo) {
  // Muted in the middle of an explosion: the limiter's delay, then a fade, then silence.
  auto muted = std::make_unique<Sound::Mixer>(), playing = std::make_unique<Sound::Mixer>();
  for (Sound::Mixer* m : {muted.get(), playing.get()}) {
    m->Push(SoundDestroyed, 0);
    Mix(*m, 4800);
  }
  const std::vector<int16_t> cut = Mix(*muted, 1000, true), on = Mix(*playing, 1000);
  const int delay = Sound::Mixer::Lookahead - 1, fadeEnd = delay + Sound::FadeFrames;
  for (int i = 0; i < delay; ++i) ASSERT_EQ(cut[2 * i], on[2 * i]) << i;
  for (int i = delay; i < fadeEnd; ++i) ASSERT_LE(std::abs(cut[2 * i]), std::abs(on[2 * i]) + 1);
  // A straight fade keeps a third of the energy; the last quarter of it, under a sixteenth.
  const double kept = Energy(cut, 0, delay, fadeEnd) / Energy(on, 0, delay, fadeEnd);
  EXPECT_GT(kept, 0.2);
  EXPECT_LT(kept, 0.5);
  const int lastQuarter = fadeEnd - Sound::FadeFrames / 4;
  EXPECT_LT(Energy(cut, 0, lastQuarter, fadeEnd), Energy(on, 0, lastQuarter, fadeEnd) / 16);
  EXPECT_EQ(Energy(cut, 0, fadeEnd + 1) + Energy(cut, 1, fadeEnd + 1), 0);
  EXPECT_EQ(muted->Busy(), 0);
  // Nine volleys started one after another: the oldest fades out, over the same few ms.
  for (int i = 0; i < Sound::Voices; ++i) {
    muted->Push(SoundVolley, i % 2);
    Mix(*muted, 10);
  }
  EXPECT_EQ(muted->Busy(), Sound::Voices);
  muted->Push(SoundVolley, 0);
  Mix(*muted, 10);
  EXPECT_EQ(muted->Busy(), Sound::Voices + 1);
  Mix(*muted, Sound::FadeFrames - 10);
  EXPECT_EQ(muted->Busy(), Sound::Voices);
}

TEST(SoundMixer, TheItemChimeWaitsForTheToneOfTheItemCollected) {
  auto mixer = std::make_unique<Sound::Mixer>();
  mixer->Push(SoundItemGrip, 0);
  mixer->Push(SoundItemAppears, SoundCentre);
  const int tone = Sound::ClipOf(SoundItemGrip).length;
  const std::vector<int16_t> out = Mix(*mixer, tone + Sound::ClipOf(SoundItemAppears).length);
  // The tone alone, from the left (right = 0.3 left); then the chime alone, in the middle.
  EXPECT_LT(Energy(out, 1, 0, tone), 0.1 * Energy(out, 0, 0, tone));
  EXPECT_GT(Energy(out, 1, tone + 200), 0);
  EXPECT_EQ(Energy(out, 1, tone + 200), Energy(out, 0, tone + 200));
}

TEST(SoundMixer, TheQueueHoldsThirtyTwoAndAMutedMixStartsNothing) {
  auto mixer = std::make_unique<Sound::Mixer>();
  for (int i = 0; i < 32; ++i) EXPECT_TRUE(mixer->Push(SoundHit, i % 2)) << i;
  EXPECT_FALSE(mixer->Push(SoundHit, 0));
  const std::vector<int16_t> out = Mix(*mixer, 100, true);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), 200);
  EXPECT_EQ(mixer->Busy(), 0);
  EXPECT_TRUE(mixer->Push(SoundHit, 0));
}

}  // namespace
