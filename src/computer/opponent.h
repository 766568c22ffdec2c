// The computer opponent's mind: from what it knows (the positions and headings of both craft and
// the position of the item, even off screen or nearer through the arena's edge, its own craft and
// life, and whether the other craft was hit) it chooses, once per frame of play, which of its
// player's keys to hold. It knows nothing else of the match and draws from a random generator of
// its own.
#pragma once

#include <cstdint>

struct Match;

namespace computer {

enum class Level : uint8_t { Easy, Normal, Hard, RandomKeys };

// What player `self` knows in a frame of play.
struct View {
  float x[2], y[2], z[2];
  int32_t heading[2];              // where each craft points as drawn (yaw + bank)
  int32_t yaw, pitch, bank, grip;  // its own craft
  int32_t life, otherLife = 10;
  bool item = false;
  float itemX = 0, itemY = 0, itemZ = 0;
};

View ViewOf(const struct Match& match, int self);

struct Keys {
  bool dive = false, climb = false, left = false, right = false, fire = false;
};

// How a level plays: how many frames late it sees the world, how far off the line of fire it
// still opens fire (a wide cone fills the air with bullets; a narrow one waits for a sure shot that
// seldom comes), and how well it judges a turn (a disciplined pilot lets go early enough for the
// bank's drift to finish the turn; an undisciplined one steers until the error is within a wide
// dead band and overshoots).
struct Skill {
  int reactionFrames;
  double coneDegrees;
  double deadbandDegrees;
  bool anticipates;
  double heightTolerance;  // how far above or below the target its bullets may pass and it fires
  bool evades;             // with an opponent on its tail it turns and weaves out of its line
  bool wraps;              // it knows the way through the arena's edges
  double circleDegrees;    // how far it turns round with nobody hit before a straight run
};
Skill SkillOf(Level level);

class Opponent {
 public:
  Opponent() = default;
  Opponent(int self, Level level, uint32_t seed);
  // Called once per frame of play with what the player sees now.
  Keys Think(const View& now);
  // A round has ended: the next frame of play begins a new one.
  void NewRound() {
    roundFrames_ = 0;
    circled_ = 0;
    breakFrames_ = 0;
  }

 private:
  static constexpr int MaxDelay = 16;
  uint32_t Random();

  int self_ = 0;
  Level level_ = Level::Normal;
  Skill skill_{};
  uint32_t random_ = 1;
  View seen_[MaxDelay];  // the last frames' views, a ring
  int frames_ = 0;
  Keys randomKeys_;
  // Breaking off: a circle in which nobody gets a shot is left for a straight run at another
  // height.
  double circled_ = 0;  // degrees turned since a craft was last hit
  int32_t lastYaw_ = 0;
  int32_t lastLife_ = 0, lastOtherLife_ = 0;
  int roundFrames_ = 0;  // the longer a round lasts, the more readily it fires
  int breakFrames_ = 0;
  float breakHeight_ = 10;
  int weave_ = 0;  // frames into weaving out of a pursuer's line of fire
  bool weaveRight_ = false;
};

}  // namespace computer
