// A scripted round, headless, with the sound going to SDL's "disk" driver and kept in step with
// the game's clock: each 50 ms frame of play owns 50 ms of the recording. Player 0 fires ten
// volleys, which strike player 1 ten times, a second later, and destroy it; M follows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
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
  bool volley0, hit1, destroyed1;
};

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

Recording Record(bool muted) {
  const std::string path = testing::TempDir() + "gronka_sound_" + std::to_string(getpid());
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  Sound::SetMuted(muted);
  Sound::HoldUntilGranted();
  EXPECT_TRUE(Sound::Start());
  Sound::Play(SoundMenuMove);  // a mark at time 0, to find it in the file
  Recording r;
  uint64_t granted = 0;
  int parity = 0, active[BulletCount] = {}, life1 = 10;
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
    if (FrameParity == parity) return;
    parity = FrameParity;
    PlayFrame f{FrameStartTime, false, Match.life[1] < life1, Match.life[1] == 0 && life1 > 0};
    life1 = Match.life[1];
    for (int i = 0; i < BulletCount; ++i) {
      f.volley0 |= Match.bullets[i].active && !active[i] && Match.bullets[i].owner == 0;
      active[i] = Match.bullets[i].active;
    }
    const int n = static_cast<int>(r.frames.size());
    r.frames.push_back(f);
    if (f.destroyed1) r.destroyedAt = n;
    if (n == 9 || n == 29) HeadlessControl::Post(n == 9 ? WM_KEYDOWN : WM_KEYUP, 'Z');
    if (r.destroyedAt >= 0 && n == r.destroyedAt + 4) HeadlessControl::KeyDown('M');
    if ((r.destroyedAt >= 0 && n == r.destroyedAt + 30) || (muted && n == 30))
      HeadlessControl::Post(WM_RBUTTONDOWN, 0);
  });
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

TEST(SoundRound, EachEventIsHeardInItsFrameOnItsSideAndMCutsTheSound) {
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
    if (r.frames[i].hit1) {
      firstHit = hits++ == 0 ? i : firstHit;
      EXPECT_GT(right, 4 * left) << "hit in frame " << i;
    }
    // Nothing between the last volley's sound and the first hit; from M's frame on, nothing.
    if ((volleys > 0 && i >= lastVolley + 2 && hits == 0) || i >= r.destroyedAt + 4) {
      EXPECT_EQ(left + right, 0) << "frame " << i;
    } else if (i >= r.destroyedAt) {  // the burst, until M
      EXPECT_GT(right, 4 * left) << "frame " << i;
    }
  }
  EXPECT_EQ(volleys, 10);
  EXPECT_EQ(hits, 10);
  EXPECT_GT(firstHit, lastVolley + 10);
  EXPECT_TRUE(Sound::Muted());
}

TEST(SoundRound, StartedMutedTheGameIsSilent) {
  const Recording r = Record(true);
  // Opening scene, menu, intro and 30 frames of play, with volleys: all of it silent.
  EXPECT_GT(r.frames.size(), 30u);
  EXPECT_GT(r.sound.size(), 2u * 8000 * PerMs);
  EXPECT_EQ(std::count(r.sound.begin(), r.sound.end(), 0), static_cast<long>(r.sound.size()));
}

}  // namespace
