// A whole round, headless, with the sound going to SDL's "disk" driver and kept in step with the
// game's clock: each 50 ms frame of play owns 50 ms of the recording.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "audio/sound.h"
#include "support/game.h"

namespace {

constexpr int SamplesPerMs = Sound::Rate / 1000;
constexpr int BufferMs = Sound::BufferFrames / SamplesPerMs;

// What a frame of play did, as the pump after it sees it.
struct PlayFrame {
  DWORD start;
  bool volley0, hit1, destroyed1;
};

// Runs the program with the sound open on the disk driver and returns the recording (interleaved
// left, right), starting where the sound's time 0 is (the game's clock 0). `script` is called once
// per frame of play with its index and may post input; true from it ends the program.
std::vector<int16_t> Record(bool muted, const std::function<bool(int, const PlayFrame&)>& script) {
  // Per process: the tests of this file run side by side.
  const std::string path = testing::TempDir() + "gronka_sound_" + std::to_string(getpid()) + ".raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  Sound::SetMuted(muted);
  Sound::HoldUntilGranted();
  EXPECT_TRUE(Sound::Start());
  Sound::Play(SoundMenuMove);  // a mark at time 0, to find it in the file

  uint64_t granted = 0;
  int frame = -1, parity = 0, active[BulletCount] = {}, life1 = 10;
  bool started = false, done = false;
  game::Run([&] {
    RandomIntHook = [](int32_t, int32_t hi) { return hi; };  // the item far away in a corner
    // The sound up to the game's clock: what a frame asks for starts at the frame's start.
    const uint64_t due = timeGetTime() / BufferMs;
    if (due > granted) {
      Sound::GrantBuffers(static_cast<int>(due - granted));
      granted = due;
      while (Sound::BuffersMixed() < granted)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (!started && TitleMenu.craftFrame != nullptr) {  // the title menu: START
      started = true;
      HeadlessControl::KeyDown('Z');
      HeadlessControl::PostAt(timeGetTime() + 20, WM_KEYUP, 'Z');
    }
    if (done || FrameParity == parity) return;
    parity = FrameParity;
    PlayFrame f{FrameStartTime, false, Match.life[1] < life1, Match.life[1] == 0 && life1 > 0};
    life1 = Match.life[1];
    for (int i = 0; i < BulletCount; ++i) {
      f.volley0 |= Match.bullets[i].active && !active[i] && Match.bullets[i].owner == 0;
      active[i] = Match.bullets[i].active;
    }
    if (script(++frame, f)) {
      done = true;
      HeadlessControl::Post(WM_RBUTTONDOWN, 0);
    }
  });
  Sound::Stop();

  std::ifstream in(path, std::ios::binary);
  std::vector<int16_t> file((std::istreambuf_iterator<char>(in)), {});
  file.resize(file.size() / 2);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(2 * file.size()));
  std::remove(path.c_str());
  if (muted) return file;
  // Silence may come before time 0 (written while the device started); the mark ends it.
  const Sound::Clip mark = Sound::ClipOf(SoundMenuMove);
  size_t first = 0, firstInMark = 0;
  while (first < file.size() && file[first] == 0) ++first;
  while (mark.samples[firstInMark] == 0) ++firstInMark;
  const size_t zero = first - first % 2 - 2 * firstInMark;
  EXPECT_EQ(file[zero + 2 * 40], (mark.samples[40] * 24576) >> 15);
  return std::vector<int16_t>(file.begin() + static_cast<long>(zero), file.end());
}

// Sum of squares of one channel over the 50 ms of sound that a frame starting at `start` (ms of
// the game's clock) asks for: they begin with the device buffer in which the frame starts.
double Energy(const std::vector<int16_t>& sound, DWORD start, int channel) {
  start -= start % BufferMs;
  double sum = 0;
  for (size_t i = 2 * start * SamplesPerMs + channel; i < 2 * (start + 50) * SamplesPerMs; i += 2)
    sum += i < sound.size() ? double(sound[i]) * sound[i] : 0;
  return sum;
}

TEST(SoundRound, EachEventIsHeardInItsFrameOnItsSideAndMCutsTheSound) {
  std::vector<PlayFrame> frames;
  int destroyedAt = -1;
  const std::vector<int16_t> sound = Record(false, [&](int frame, const PlayFrame& f) {
    frames.push_back(f);
    if (frame == 9) HeadlessControl::KeyDown('Z');  // player 0 fires ten volleys
    if (frame == 29) HeadlessControl::KeyUp('Z');
    if (f.destroyed1) destroyedAt = frame;
    if (destroyedAt >= 0 && frame == destroyedAt + 4) HeadlessControl::KeyDown('M');
    return destroyedAt >= 0 && frame == destroyedAt + 30;
  });
  ASSERT_GT(destroyedAt, 0);
  int volleys = 0, hits = 0, lastVolley = 0, firstHit = 0;
  for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
    const PlayFrame& f = frames[i];
    const double left = Energy(sound, f.start, 0), right = Energy(sound, f.start, 1);
    if (f.volley0) {
      ++volleys;
      lastVolley = i;
      EXPECT_GT(left, 4 * right) << "volley in frame " << i;
      EXPECT_GT(right, 0) << "volley in frame " << i;
    }
    if (f.hit1) {
      firstHit = hits++ == 0 ? i : firstHit;
      EXPECT_GT(right, 4 * left) << "hit in frame " << i;
    }
  }
  EXPECT_EQ(volleys, 10);
  EXPECT_EQ(hits, 10);
  ASSERT_GT(firstHit, lastVolley + 3);
  // Nothing between the last volley's sound and the first hit.
  for (int i = lastVolley + 2; i < firstHit; ++i)
    EXPECT_EQ(Energy(sound, frames[i].start, 0) + Energy(sound, frames[i].start, 1), 0) << i;
  // The burst goes on after the last hit until M; from M's frame on, nothing.
  for (int i = destroyedAt; i < destroyedAt + 4; ++i)
    EXPECT_GT(Energy(sound, frames[i].start, 1), 4 * Energy(sound, frames[i].start, 0)) << i;
  for (int i = destroyedAt + 4; i < static_cast<int>(frames.size()); ++i)
    EXPECT_EQ(Energy(sound, frames[i].start, 0) + Energy(sound, frames[i].start, 1), 0) << i;
  EXPECT_TRUE(Sound::Muted());
}

TEST(SoundRound, StartedMutedTheGameIsSilent) {
  const std::vector<int16_t> sound = Record(true, [](int frame, const PlayFrame&) {
    if (frame == 1) HeadlessControl::KeyDown('Z');
    return frame == 10;
  });
  // Opening scene, menu, intro and ten frames of play, volleys among them: all of it silent.
  EXPECT_GT(sound.size(), 2u * 7000 * SamplesPerMs);
  EXPECT_EQ(std::count(sound.begin(), sound.end(), 0), static_cast<long>(sound.size()));
}

}  // namespace
