// No heap allocation in a frame of play, nor in saving a snapshot of a match and restoring it:
// every global allocation function of the program is replaced by one that counts, and whole frames
// of play run with a full bullet pool, both players firing level-4 volleys after collecting items,
// and later with debris flying. Only the frames that spawn an item or destroy a craft may allocate
// (they create frames). Counted: every operator new (the game's code allocates through it alone).
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "replay/session.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"
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
// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// The library's other forms of new and delete (arrays, sized, nothrow) come through these two.
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace {

// Which frames drew the random numbers of an item spawn (its type, 0..2) or of a destruction (the
// first debris spin, -90..90). The numbers themselves still come from the game's generator.
int SpawnDraws = 0;
int DebrisDraws = 0;
int32_t Observe(int32_t lo, int32_t hi) {
  if (lo == 0 && hi == 2) ++SpawnDraws;
  if (lo == -90 && hi == 90) ++DebrisDraws;
  RandomIntHook = nullptr;
  const int32_t value = RandomInt(lo, hi);
  RandomIntHook = &Observe;
  return value;
}

struct FrameRecord {
  int frame;
  long news;
  bool spawned;
  bool destroyed;
  Match::FrameOutcome outcome;
};

class AllocationTest : public MatchTest {
 protected:
  void SetUp() override {
    MatchTest::SetUp();
    HeadlessControl::SetTimeLimit(0x70000000);
    RandomIntHook = &Observe;
    records.reserve(4000);
  }
  void TearDown() override {
    Counting = false;
    RandomIntHook = nullptr;
    if (Match.groundFrame) Match.TeardownRound();
    MatchTest::TearDown();
  }

  // One frame of play, its allocations counted.
  Match::FrameOutcome Frame() {
    SpawnDraws = DebrisDraws = 0;
    const long news = NewCalls;
    Counting = true;
    const Match::FrameOutcome outcome = Match.PlayFrame();
    Counting = false;
    records.push_back({++frames, NewCalls - news, SpawnDraws > 0, DebrisDraws > 0, outcome});
    int active = 0;
    for (const Bullet& bullet : Match.bullets) active += bullet.active;
    // Volleys leave the pool full; the same frame's update then lets the oldest bullets out.
    if (active >= BulletCount - 10) ++fullPoolFrames;
    mostBullets = std::max(mostBullets, active);
    return outcome;
  }

  static void Hold(int player, int role, bool down) {
    KeyState[PlayerKey(player, role)] = down ? 1 : 0;
  }

  // Puts the player where the item stands, so that this frame collects it.
  static void FlyInto(int player) {
    Match.x[player] = Match.itemX;
    Match.y[player] = Match.itemY;
    Match.z[player] = Match.itemZ;
  }

  // Short taps on every key: turns both ways, dives and climbs, the camera key.
  static void Steer(int step) {
    for (int p = 0; p < 2; ++p) {
      const int t = (step + 11 * p) % 48;
      Hold(p, RoleLeft, t < 3);
      Hold(p, RoleRight, t >= 24 && t < 27);
      Hold(p, RoleUp, t >= 12 && t < 14);
      Hold(p, RoleDown, t >= 36 && t < 38);
      if (step % 53 == 7 * p) Hold(p, RoleCamera, true);
    }
  }

  // Each player on a lane along one side of the arena, facing across it, so that a volley flies
  // the whole width before it leaves: with four bullets a frame the pool stays full.
  static void KeepOnLanes() {
    Match.x[0] = -20;
    Match.z[0] = -38;
    Match.x[1] = 20;
    Match.z[1] = 38;
    Match.y[0] = 8;
    Match.y[1] = 12;
    Match.life[0] = Match.life[1] = 10;
  }

  // Both players fire, collect items until their volleys are level 4, then fly on with a full pool.
  void PlayWithFullPool(int count) {
    Hold(0, RoleFire, true);
    Hold(1, RoleFire, true);
    int step = 0;
    while (Match.power[0] < 4 || Match.power[1] < 4) {
      ASSERT_LT(step, 400) << "too few power items";
      if (step % 2 == 0) FlyInto(Match.power[0] < 4 ? 0 : 1);
      Steer(step++);
      ASSERT_EQ(Frame(), Match::FrameOutcome::Continue);
    }
    Match.yaw[0] = 0;
    Match.yaw[1] = 180;
    for (int i = 0; i < count; ++i) {
      KeepOnLanes();
      if (i % 97 == 50) FlyInto(i % 2);
      Steer(step++);
      ASSERT_EQ(Frame(), Match::FrameOutcome::Continue);
    }
  }

  // Player 1, down to one life point, meets player 0's volleys head on and is destroyed; the
  // countdown runs out with its debris flying and player 0 still firing; the result is dismissed.
  void DestroyOneAndEndTheRound() {
    for (int p = 0; p < 2; ++p)
      for (int role : {RoleLeft, RoleRight, RoleUp, RoleDown}) Hold(p, role, false);
    Match.life[1] = 1;
    Match.x[0] = Match.x[1] = 0;
    Match.y[0] = Match.y[1] = 10;
    Match.z[0] = -2;
    Match.z[1] = 2;
    Match.yaw[0] = 0;
    Match.yaw[1] = 180;
    Match.pitch[0] = Match.pitch[1] = Match.bank[0] = Match.bank[1] = 0;
    PlayOutTheRound();
  }

  // Frames until the round ends; the frame that ends it waits for a fire key, so one is sent then.
  void PlayOutTheRound() {
    for (int i = 0; i < 400; ++i) {
      for (int p = 0; p < 2; ++p)
        if (Match.life[p] == 0 && Match.deathTimer[p] == 50)
          HeadlessControl::PostAt(timeGetTime() + 5, WM_KEYDOWN, PlayerKey(0, RoleFire));
      if (Frame() == Match::FrameOutcome::RoundOver) return;
    }
    FAIL() << "the round did not end";
  }

  std::vector<FrameRecord> records;
  int frames = 0;
  int fullPoolFrames = 0;
  int mostBullets = 0;
};

TEST_F(AllocationTest, FramesOfPlayAllocateOnlyToSpawnItemsAndDestroyCraft) {
  // Two rounds: the first grows whatever grows once, the second must be as quiet as the first.
  for (int round = 0; round < 2; ++round) {
    Match.SetupRound();
    Match.PlayIntro();
    PlayWithFullPool(round == 0 ? 900 : 400);
    DestroyOneAndEndTheRound();
    Match.TeardownRound();
  }

  int spawnFrames = 0, spawnOnly = 0, destroyFrames = 0, spawnAllocations = 0, offending = 0;
  for (const FrameRecord& r : records) {
    spawnFrames += r.spawned;
    destroyFrames += r.destroyed;
    if (r.spawned && !r.destroyed) {
      ++spawnOnly;
      spawnAllocations += r.news > 0;  // each creates the item's two frames
    } else if (r.news > 0 && !r.destroyed && r.outcome == Match::FrameOutcome::Continue) {
      ++offending;
      ADD_FAILURE() << "frame " << r.frame << ": " << r.news << " new";
    }
  }
  EXPECT_EQ(offending, 0) << "frames of play allocated without spawning or destroying";
  // The scenario really had what it is about, and the counter really counts.
  EXPECT_GT(fullPoolFrames, 1000);
  EXPECT_EQ(mostBullets, BulletCount);
  EXPECT_EQ(destroyFrames, 2);  // one a round
  EXPECT_GT(spawnFrames, 20);
  EXPECT_EQ(spawnAllocations, spawnOnly) << "a new item's frames are allocated";
}

// A snapshot holds the whole future of a match: from states met in rounds of random play (volleys,
// hits, items, destroyed craft), frames stepped after a restore come out as they did the first
// time.
constexpr int Frames = 12;

// Both players' seven keys held, bit by role.
void Press(uint16_t keys) {
  for (int p = 0; p < 2; ++p)
    for (int role = 0; role < KeysPerPlayer; ++role)
      KeyState[PlayerKey(p, role)] = (keys >> (KeysPerPlayer * p + role)) & 1;
}

TEST_F(AllocationTest, FramesRunAgainFromASnapshotAreTheSameAndAllocateNothing) {
  // Steps the frames with their keys, writing the hash after each (0 for a frame that ended the
  // round, which ends the run).
  auto run = [](const std::vector<uint16_t>& keys, uint64_t* hashes) {
    for (int i = 0; i < Frames; ++i) {
      Press(keys[i]);
      const bool over = Match.Step() != Match::FrameOutcome::Continue;
      hashes[i] = over ? 0 : replay::MatchHash(Match);
      Match.soundCount = 0;
      if (over) return;
    }
  };
  std::mt19937 random(5);
  SnapshotRing ring;
  int checks = 0, withDebris = 0, withBullets = 0;
  for (int round = 0; round < 10; ++round) {
    Match.SetupRound();
    for (int frame = 0; frame < 1500; ++frame) {
      // Random keys, fire held often; now and then the players meet head on, so that volleys hit.
      Press(static_cast<uint16_t>(random() & random() & 0x3FFF) | 1u << RoleFire);
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

      std::vector<uint16_t> keys(Frames);
      for (uint16_t& k : keys) k = static_cast<uint16_t>(random() & 0x3FFF);
      uint64_t first[Frames] = {}, again[Frames] = {};
      const long news = NewCalls;
      Counting = true;
      ring.Save(frame);
      run(keys, first);
      ASSERT_TRUE(ring.Restore(frame));
      run(keys, again);
      Counting = false;
      for (int i = 0; i < Frames; ++i) ASSERT_EQ(again[i], first[i]) << "frame " << frame + i;
      ASSERT_EQ(NewCalls - news, 0) << "frame " << frame;
      ++checks;
      withDebris += Match.life[0] == 0 || Match.life[1] == 0;
      for (const Bullet& b : Match.bullets) withBullets += b.active && b.owner == 1;
    }
    Match.TeardownRound();
  }
  // The states tried had what they are about.
  EXPECT_GT(checks, 200);
  EXPECT_GT(withDebris, 5);
  EXPECT_GT(withBullets, 100);
}

}  // namespace
