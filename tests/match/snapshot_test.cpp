// A snapshot holds the whole future of a match: from states met in rounds of random play (volleys,
// hits, items, destroyed craft), frames stepped after a restore come out as they did the first
// time, and saving, restoring and stepping allocate nothing.
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "replay/session.h"
#include "shell/keyboard.h"
#include "support/headless.h"

namespace {

std::atomic<bool> Counting{false};
std::atomic<long> NewCalls{0};

}  // namespace

void* operator new(size_t size) {
  if (Counting.load(std::memory_order_relaxed)) NewCalls.fetch_add(1);
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace {

constexpr int Frames = 12;

// Both players' seven keys held (bit by role), for one frame.
using Keys = uint16_t;

void Press(Keys keys) {
  for (int p = 0; p < 2; ++p)
    for (int role = 0; role < KeysPerPlayer; ++role)
      KeyState[PlayerKey(p, role)] = (keys >> (KeysPerPlayer * p + role)) & 1;
}

class SnapshotTest : public MatchTest {
 protected:
  void TearDown() override {
    Counting = false;
    if (Match.groundFrame) Match.TeardownRound();
    MatchTest::TearDown();
  }

  // Steps the frames with their keys, writing the hash after each (0 for a frame that ended the
  // round, which ends the run).
  static void Run(const std::vector<Keys>& keys, uint64_t* hashes) {
    for (int i = 0; i < Frames; ++i) {
      Press(keys[i]);
      const bool over = Match.Step() != Match::FrameOutcome::Continue;
      hashes[i] = over ? 0 : replay::MatchHash(Match);
      Match.soundCount = 0;
      if (over) return;
    }
  }
};

TEST_F(SnapshotTest, FramesRunAgainFromASnapshotAreTheSameAndAllocateNothing) {
  std::mt19937 random(5);
  SnapshotRing ring;
  int checks = 0, withDebris = 0, withBullets = 0;
  for (int round = 0; round < 10; ++round) {
    Match.SetupRound();
    for (int frame = 0; frame < 1500; ++frame) {
      // Random keys, fire held often; now and then the players meet head on, so that volleys hit.
      Press(static_cast<Keys>(random() & random() & 0x3FFF) | 1u << RoleFire);
      if (frame % 150 == 40 && Match.life[0] && Match.life[1]) {
        Match.x[0] = Match.x[1] = 0;
        Match.z[0] = -3;
        Match.z[1] = 3;
        Match.y[0] = Match.y[1] = 5;
        Match.yaw[0] = 0;
        Match.yaw[1] = 180;
      }
      if (Match.Step() != Match::FrameOutcome::Continue) break;
      Match.soundCount = 0;
      if (frame % 7 != 0) continue;

      std::vector<Keys> keys(Frames);
      for (Keys& k : keys) k = static_cast<Keys>(random() & 0x3FFF);
      uint64_t first[Frames] = {}, again[Frames] = {};
      const uint64_t before = replay::MatchHash(Match);
      const long news = NewCalls;
      Counting = true;
      ring.Save(frame);
      Run(keys, first);
      ASSERT_TRUE(ring.Restore(frame));
      const uint64_t restored = replay::MatchHash(Match);
      Run(keys, again);
      ring.Restore(frame);
      Counting = false;
      ASSERT_EQ(restored, before) << "frame " << frame;
      for (int i = 0; i < Frames; ++i) ASSERT_EQ(again[i], first[i]) << "frame " << frame + i;
      ASSERT_EQ(NewCalls - news, 0) << "frame " << frame;
      ++checks;
      withDebris += Match.life[0] == 0 || Match.life[1] == 0;
      for (const Bullet& b : Match.bullets) withBullets += b.active && b.owner == 1;
    }
    Match.TeardownRound();
  }
  // The states tried had what they are about.
  std::printf("%d checks, %d with debris, %d bullets of player 2\n", checks, withDebris,
              withBullets);
  EXPECT_GT(checks, 200);
  EXPECT_GT(withDebris, 5);
  EXPECT_GT(withBullets, 100);
}

TEST_F(SnapshotTest, TheRingKeepsOnlyItsLastFrames) {
  SnapshotRing ring;
  Match.SetupRound();
  for (uint32_t frame = 0; frame < 40; ++frame) {
    ring.Save(frame);
    Match.Step();
  }
  const uint64_t now = replay::MatchHash(Match);
  EXPECT_FALSE(ring.Restore(40 - SnapshotRing::Size - 1));
  EXPECT_EQ(replay::MatchHash(Match), now) << "a refused restore changed the match";
  EXPECT_TRUE(ring.Restore(40 - SnapshotRing::Size));
  EXPECT_NE(replay::MatchHash(Match), now);
}

}  // namespace
