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

// A fingerprint of samples (FNV-1a).
uint32_t Fingerprint(const int16_t* samples, size_t n) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < n; ++i) hash = (hash ^ uint16_t(samples[i])) * 16777619u;
  return hash;
}

// Zero crossings per second: roughly the pitch of a tone.
double Crossings(const Sound::Clip& clip) {
  int count = 0;
  for (int i = 1; i < clip.length; ++i) count += (clip.samples[i - 1] < 0) != (clip.samples[i] < 0);
  return count * double(Sound::Rate) / clip.length;
}

TEST(SoundEffects, StartAndEndQuietLeaveHeadroomAndAreAsLoudAsTheyMatter) {
  for (int c = 0; c < SoundEffectCount + 2 * Sound::VolleyVariants; ++c) {
    const int volley = c - SoundEffectCount;  // then each player's volleys
    const Sound::Clip clip =
        volley < 0 ? Sound::ClipOf(SoundEffect(c))
                   : Sound::ClipOf(SoundVolley, volley / Sound::VolleyVariants, volley);
    long peak = 0, sum = 0;
    for (int i = 0; i < clip.length; ++i) {
      peak = std::max<long>(peak, std::abs(clip.samples[i]));
      sum += clip.samples[i];
    }
    EXPECT_LE(peak, 20000) << clip.samples;  // room for the others in the mix
    EXPECT_LT(std::abs(sum / clip.length), 20) << clip.samples;
    EXPECT_LT(std::abs(int{clip.samples[0]}), 40) << clip.samples;
    EXPECT_LT(std::abs(int{clip.samples[clip.length - 1]}), 40) << clip.samples;
  }
  // Explosion, hit, the item's tones, volleys (either player's, any shot), menus.
  auto loudness = [](SoundEffect e, int side = SoundCentre, int v = 0) {
    return Loudness(Sound::ClipOf(e, side, v));
  };
  std::vector<double> volleys;
  for (int v = 0; v < 2 * Sound::VolleyVariants; ++v)
    volleys.push_back(loudness(SoundVolley, v / Sound::VolleyVariants, v));
  const double items = std::min({loudness(SoundItemAppears), loudness(SoundItemSpeed),
                                 loudness(SoundItemPower), loudness(SoundItemGrip)}),
               menus = std::max(
                   {loudness(SoundMenuMove), loudness(SoundMenuSelect), loudness(SoundMenuLeave)});
  EXPECT_GT(loudness(SoundDestroyed), loudness(SoundHit) + 1);
  EXPECT_GT(loudness(SoundHit), items + 1);
  EXPECT_GT(items, *std::max_element(volleys.begin(), volleys.end()) + 0.5);
  EXPECT_GT(*std::min_element(volleys.begin(), volleys.end()), menus + 2);
  EXPECT_GT(loudness(SoundWin), loudness(SoundLose) + 1);
  // The three items collected: three pitches, well apart.
  const double speed = Crossings(Sound::ClipOf(SoundItemSpeed)),
               power = Crossings(Sound::ClipOf(SoundItemPower)),
               grip = Crossings(Sound::ClipOf(SoundItemGrip));
  EXPECT_GT(std::min({std::abs(speed - power), std::abs(power - grip), std::abs(grip - speed)}),
            100);
  // A volley is over before the next (100 ms later); the whoosh ends with the 50-frame intro.
  EXPECT_EQ(Sound::ClipOf(SoundVolley).length, Sound::Rate * 80 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundIntro).length, Sound::Rate * 2400 / 1000);
  EXPECT_EQ(Sound::ClipOf(SoundDestroyed).length, 8 * Sound::ClipOf(SoundHit).length);
}

// The sounds are as they were tuned and listened to, sample for sample: a change to any of them
// shows here (and is to be listened to before this table is brought up to date).
TEST(SoundEffects, EveryClipIsTheOneTuned) {
  const uint32_t tuned[SoundEffectCount + 2 * Sound::VolleyVariants] = {
      1181492244u, 2896695884u, 4145230923u, 1181075452u, 1176104469u, 3234958310u,
      253023706u,  2773553358u, 2970907886u, 1354009587u, 1346228750u, 3778633703u,
      1751457521u, 3112846681u, 1181492244u, 254172964u,  629940310u,  2328387825u,
      3069898912u, 313452040u,  2949546119u, 208370266u};
  for (int c = 0; c < SoundEffectCount + 2 * Sound::VolleyVariants; ++c) {
    const int volley = c - SoundEffectCount;
    const Sound::Clip clip =
        volley < 0 ? Sound::ClipOf(SoundEffect(c))
                   : Sound::ClipOf(SoundVolley, volley / Sound::VolleyVariants, volley);
    EXPECT_EQ(Fingerprint(clip.samples, clip.length), tuned[c]) << "clip " << c;
  }
}

TEST(SoundMixer, PansEachSideStartsARepeatOnceVariesAPlayersShotsAndQueuesThirtyTwo) {
  for (int side : {0, 1, SoundCentre}) {
    auto once = std::make_unique<Sound::Mixer>(), twice = std::make_unique<Sound::Mixer>();
    once->Push(SoundHit, side);
    twice->Push(SoundHit, side);
    twice->Push(SoundHit, side);
    const std::vector<int16_t> out = Mix(*twice, Sound::ClipOf(SoundHit).length + 200);
    EXPECT_EQ(out, Mix(*once, Sound::ClipOf(SoundHit).length + 200)) << side;
    const double near = Energy(out, side == 1), far = Energy(out, side != 1);
    EXPECT_TRUE(side == SoundCentre ? near == far : near > 8 * far && far > 0) << side;
    EXPECT_EQ(twice->Busy(), 0);
  }
  auto mixer = std::make_unique<Sound::Mixer>();
  // One player's shots, one after another: not all the same sound at another level.
  std::vector<std::vector<int16_t>> shots;
  for (int shot = 0; shot < 4; ++shot) {
    mixer->Push(SoundVolley, 0);
    shots.push_back(Mix(*mixer, 2 * Sound::ClipOf(SoundVolley).length));
  }
  double least = 1;  // how alike the first shot and another are at most: 1 the same
  for (int shot = 1; shot < 4; ++shot) {
    double ab = 0;
    for (size_t i = 0; i < shots[0].size(); ++i) ab += double(shots[0][i]) * shots[shot][i];
    least = std::min(least, ab / std::sqrt(Energy(shots[0], 0) + Energy(shots[0], 1)) /
                                std::sqrt(Energy(shots[shot], 0) + Energy(shots[shot], 1)));
  }
  EXPECT_LT(least, 0.95);
  // The queue holds 32 requests.
  for (int i = 0; i < 32; ++i) EXPECT_TRUE(mixer->Push(SoundHit, i % 2)) << i;
  EXPECT_FALSE(mixer->Push(SoundHit, 0));
  Mix(*mixer, 1);
  EXPECT_TRUE(mixer->Push(SoundHit, 0));
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
    all.insert(all.end(), out.begin(), out.end());
  }
  const int16_t most = std::max(*std::max_element(all.begin(), all.end()),
                                int16_t(-*std::min_element(all.begin(), all.end())));
  EXPECT_LE(most, std::lround(Sound::Mixer::Ceiling * 32767));
  EXPECT_GT(most, 16000);  // turned down to the ceiling, not far below it
  // Peaks touch the ceiling; a clamp alone would flatten the tops of thousands of samples.
  EXPECT_LT(std::count_if(all.begin(), all.end(), [&](int v) { return std::abs(v) >= most; }), 200);
  // Which voices give way, the ducking and the limiter: the mix is the one tuned, and so is a
  // duel of volleys every 10 ms with an explosion among them.
  EXPECT_EQ(Fingerprint(all.data(), all.size()), 2025848779u);
  // The hot exchange over, the two explosions and phrases go on to their ends.
  Mix(*mixer, Sound::Rate / 4);
  EXPECT_EQ(mixer->Busy(), 6);
  Mix(*mixer, Sound::Rate * 6 / 10);
  EXPECT_EQ(mixer->Busy(), 0);
  std::vector<int16_t> duel;
  for (int shot = 0; shot < 40; ++shot) {
    mixer->Push(shot == 4 ? SoundDestroyed : SoundVolley, shot % 2);
    const std::vector<int16_t> out = Mix(*mixer, 480);
    duel.insert(duel.end(), out.begin(), out.end());
  }
  EXPECT_EQ(Fingerprint(duel.data(), duel.size()), 3672584241u);
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
  // Nine volleys started one after another: the oldest fades out, over the same few ms.
  for (int i = 0; i <= Sound::Voices; ++i) {
    muted->Push(SoundVolley, i % 2);
    Mix(*muted, 10);
  }
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

}  // namespace
