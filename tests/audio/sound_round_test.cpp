// A scripted round, headless, with the sound going to SDL's "disk" driver and kept in step with
// the game's clock: each 50 ms frame of play owns 50 ms of the recording. Player 0 fires ten
// volleys, which strike player 1 ten times, a second later, and destroy it; M follows, then the
// result. In a busier round both players hold fire at once, and player 1 collects each item.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/sound.h"
#include "support/game.h"

namespace {

constexpr int PerMs = Sound::Rate / 1000, BufferMs = Sound::BufferFrames / PerMs;

// What a frame of play did, as the pump after it sees it.
struct PlayFrame {
  DWORD start;
  bool volley0, volley1, hit1, destroyed1;
};

// The sounds the game asked for: frame, effect, side.
struct Asked {
  int frame, effect, side;
};
std::vector<Asked> AskedFor;
int FrameNow = -1;

struct Recording {
  std::vector<PlayFrame> frames;
  std::vector<int16_t> sound;  // left, right; from the game's clock 0 on (when not muted)
  int destroyedAt = -1;

  // Sum of squares of a channel over the 50 ms that frame `f` asks for: they begin with the
  // device buffer in which the frame starts.
  double Energy(int f, int channel) const {
    const size_t from = 2 * PerMs * (frames[f].start - frames[f].start % BufferMs);
    double sum = 0;
    for (size_t i = from + channel; i < from + 100 * PerMs && i < sound.size(); i += 2)
      sum += double(sound[i]) * sound[i];
    return sum;
  }
};

// Whether the game asked for `effect` on `side` in frame `frame`.
bool AskedIn(int frame, int effect, int side) {
  return std::any_of(AskedFor.begin(), AskedFor.end(), [&](const Asked& a) {
    return a.frame == frame && a.effect == effect && a.side == side;
  });
}

Recording Record(bool muted, bool bothFire = false) {
  const std::string path = testing::TempDir() + "gronka_sound_" + std::to_string(getpid());
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  Sound::SetMuted(muted);
  Sound::HoldUntilGranted();
  EXPECT_TRUE(Sound::Start());
  Sound::Play(SoundMenuMove);  // a mark at time 0, to find it in the file
  AskedFor.clear();
  FrameNow = -1;
  // Asked for after frame n was seen: in frame n + 1.
  Sound::SetListener([](SoundEffect e, int side) { AskedFor.push_back({FrameNow + 1, e, side}); });
  Recording r;
  uint64_t granted = 0;
  int parity = 0, active[BulletCount] = {}, life1 = 10;
  bool left = false;
  game::Run([&] {
    RandomIntHook = [](int32_t, int32_t hi) { return hi; };  // the item far off in a corner
    // The sound up to the game's clock: what a frame asks for starts with the frame.
    if (timeGetTime() / BufferMs > granted) {
      Sound::GrantBuffers(static_cast<int>(timeGetTime() / BufferMs - granted));
      granted = timeGetTime() / BufferMs;
      while (Sound::BuffersMixed() < granted)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    if (TitleMenu.craftFrame != nullptr && !KeyState['Z']) HeadlessControl::KeyDown('Z');  // START
    // The result shown (it waits for a key), the game is left.
    if (!r.frames.empty() && AskedIn(FrameNow + 1, SoundWin, 0) && !left) {
      HeadlessControl::Post(WM_RBUTTONDOWN, 0);
      left = true;
    }
    if (FrameParity == parity) return;
    parity = FrameParity;
    PlayFrame f{FrameStartTime, false, false, Match.life[1] < life1,
                Match.life[1] == 0 && life1 > 0};
    life1 = Match.life[1];
    for (int i = 0; i < BulletCount; ++i) {
      const bool fired = Match.bullets[i].active && !active[i];
      (Match.bullets[i].owner == 0 ? f.volley0 : f.volley1) |= fired;
      active[i] = Match.bullets[i].active;
    }
    const int n = static_cast<int>(r.frames.size());
    FrameNow = n;
    r.frames.push_back(f);
    if (f.destroyed1) r.destroyedAt = n;
    // In the busier round, player 1 then collects one item of each kind.
    if (bothFire && n >= 31 && n < 34 && Match.itemActive != 0) {
      Match.itemType = n - 31;
      Match.itemX = Match.x[1], Match.itemY = Match.y[1], Match.itemZ = Match.z[1];
    }
    if (n == 9 || n == 29) {
      HeadlessControl::Post(n == 9 ? WM_KEYDOWN : WM_KEYUP, 'Z');
      if (bothFire) HeadlessControl::Post(n == 9 ? WM_KEYDOWN : WM_KEYUP, '%');  // player 1
    }
    if (r.destroyedAt >= 0 && n == r.destroyedAt + 4) HeadlessControl::KeyDown('M');
    if ((muted || bothFire) && n == 40) HeadlessControl::Post(WM_RBUTTONDOWN, 0);
  });
  Sound::SetListener(nullptr);
  game::Release();
  Sound::Stop();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  r.sound.resize(static_cast<size_t>(in.tellg()) / 2);
  in.seekg(0).read(reinterpret_cast<char*>(r.sound.data()), std::streamsize(2 * r.sound.size()));
  std::remove(path.c_str());
  // Silence may come before time 0 (written while the device started): the mark ends it.
  size_t first = 0, inMark = 0;
  while (first < r.sound.size() && r.sound[first] == 0) ++first;
  if (first == r.sound.size()) return r;
  while (Sound::ClipOf(SoundMenuMove).samples[inMark] == 0) ++inMark;
  r.sound.erase(r.sound.begin(), r.sound.begin() + long(first - first % 2 - 2 * inMark));
  return r;
}

TEST(SoundRound, EachEventIsHeardInItsFrameOnItsSideAndMFadesTheSoundOut) {
  const Recording r = Record(false);
  ASSERT_GT(r.destroyedAt, 0);
  int volleys = 0, hits = 0, lastVolley = 0, firstHit = 0;
  for (int i = 0; i < static_cast<int>(r.frames.size()); ++i) {
    const double left = r.Energy(i, 0), right = r.Energy(i, 1);
    if (r.frames[i].volley0) {
      lastVolley = i, ++volleys;
      EXPECT_GT(left, 4 * right) << "volley in frame " << i;
      EXPECT_GT(right, 0) << "volley in frame " << i;
    }
    // A strike that leaves the craft whole cracks; the last one blows it up.
    EXPECT_EQ(AskedIn(i, SoundHit, 1), r.frames[i].hit1 && !r.frames[i].destroyed1) << i;
    EXPECT_EQ(AskedIn(i, SoundDestroyed, 1), r.frames[i].destroyed1) << i;
    if (r.frames[i].hit1) {
      firstHit = hits++ == 0 ? i : firstHit;
      EXPECT_GT(right, 4 * left) << "hit in frame " << i;
    }
    // Nothing between the last volley's sound and the first hit; from M's frame on, nothing
    // after a fade of a few ms.
    if ((volleys > 0 && i >= lastVolley + 2 && hits == 0) || i >= r.destroyedAt + 5) {
      EXPECT_EQ(left + right, 0) << "frame " << i;
    } else if (i >= r.destroyedAt && i < r.destroyedAt + 4) {  // the burst, until M
      EXPECT_GT(right, 4 * left) << "frame " << i;
    }
  }
  EXPECT_EQ(volleys, 10);
  EXPECT_EQ(hits, 10);
  EXPECT_GT(firstHit, lastVolley + 10);
  EXPECT_TRUE(Sound::Muted());
  // The result, though muted, from each player's side: the winner's phrase and the loser's.
  const auto result = std::find_if(AskedFor.begin(), AskedFor.end(),
                                   [](const Asked& a) { return a.effect == SoundWin; });
  ASSERT_NE(result, AskedFor.end());
  EXPECT_EQ(result->side, 0);
  EXPECT_TRUE(AskedIn(result->frame, SoundLose, 1));
}

TEST(SoundRound, BothFiringAreHeardApartAndTheMixNeverReachesFullScale) {
  const Recording r = Record(false, true);
  int both = 0;
  for (int i = 0; i < static_cast<int>(r.frames.size()); ++i) {
    if (!r.frames[i].volley0 || !r.frames[i].volley1) continue;
    ++both;
    const size_t from = 2 * PerMs * (r.frames[i].start - r.frames[i].start % BufferMs);
    double difference = 0, sum = 0;
    for (size_t k = from; k < from + 2 * 50 * PerMs && k + 1 < r.sound.size(); k += 2) {
      difference += std::pow(r.sound[k] - r.sound[k + 1], 2);
      sum += std::pow(r.sound[k] + r.sound[k + 1], 2);
    }
    EXPECT_GT(difference, 0.2 * sum) << "frame " << i;
  }
  EXPECT_GE(both, 8);
  // Each kind of item collected by player 1 sounds its own tone, from player 1's side.
  std::vector<std::pair<int, int>> tones;
  for (const Asked& a : AskedFor)
    if (a.effect >= SoundItemSpeed && a.effect <= SoundItemGrip)
      tones.emplace_back(a.effect, a.side);
  std::sort(tones.begin(), tones.end());
  EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{
                       {SoundItemSpeed, 1}, {SoundItemPower, 1}, {SoundItemGrip, 1}}));
  const auto [low, high] = std::minmax_element(r.sound.begin(), r.sound.end());
  EXPECT_GT(*low, -32768);
  EXPECT_LT(*high, 32767);
}

TEST(SoundRound, StartedMutedTheGameIsSilent) {
  const Recording r = Record(true);
  // Opening scene, menu, intro and 40 frames of play, with volleys: all of it silent.
  EXPECT_GT(r.frames.size(), 30u);
  EXPECT_GT(r.sound.size(), 2u * 8000 * PerMs);
  EXPECT_EQ(std::count(r.sound.begin(), r.sound.end(), 0), static_cast<long>(r.sound.size()));
}

}  // namespace
