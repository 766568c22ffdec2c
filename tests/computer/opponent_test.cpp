// The computer opponent's keys in hand-set situations, and how they reach the message queue.
#include "computer/opponent.h"

#include <gtest/gtest.h>

#include "computer/player.h"
#include "match/match.h"
#include "platform/win.h"
#include "shell/keyboard.h"

namespace {

using computer::Keys;
using computer::Level;
using computer::View;

// Player 0 at (X0, 5, Z0) flying along +z, the opponent at (ox, oy, oz) from there heading `oh`.
constexpr float X0 = -7, Z0 = 3;
View Situation(float ox, float oy, float oz, int oh = 0) {
  View v;
  v.x[0] = X0;
  v.y[0] = 5;
  v.z[0] = Z0;
  v.heading[0] = 0;
  v.x[1] = X0 + ox;
  v.y[1] = oy;
  v.z[1] = Z0 + oz;
  v.heading[1] = oh;
  v.yaw = v.pitch = v.bank = v.grip = 0;
  v.life = 10;
  return v;
}

// What the opponent holds after seeing the same situation long enough to react at any level.
Keys Settled(const View& view, Level level) {
  computer::Opponent mind(0, level, 7);
  Keys keys;
  for (int i = 0; i < 20; ++i) keys = mind.Think(view);
  return keys;
}

struct Case {
  const char* what;
  View view;
  bool left, right, climb, dive, fire;
};

TEST(OpponentTest, KeysInHandSetSituations) {
  View itemRight = Situation(30, 5, -30, 0);
  itemRight.item = true;
  itemRight.itemX = X0 + 8;
  itemRight.itemY = 9;
  itemRight.itemZ = Z0 + 2;
  View turned = Situation(10, 5, 0, 90);  // turned a quarter right, the target ahead
  turned.yaw = turned.heading[0] = 90;
  View far = Situation(32.2f, 5, 32.2f, 45);  // 45.5 away: out of reach
  far.yaw = far.heading[0] = 45;
  View itemFar = itemRight;
  itemFar.itemX = X0 - 30;
  itemFar.itemZ = Z0 - 30;
  const Case cases[] = {
      {"target ahead: fires", Situation(0, 5, 10, 0), false, false, false, false, true},
      {"turned, target ahead: fires", turned, false, false, false, false, true},
      {"target ahead, out of reach", far, false, false, false, false, false},
      {"head on: fires back and holds its line", Situation(0, 5, 6, 180), false, false, false,
       false, true},
      {"target behind on the left: turns left", Situation(-3, 5, -10, 0), true, false, false, false,
       false},
      {"target behind on the right: turns right", Situation(3, 5, -10, 0), false, true, false,
       false, false},
      {"target ahead and below: dives", Situation(0, 1, 12, 0), false, false, false, true, false},
      {"item nearer: goes for it", itemRight, false, true, true, false, false},
      {"item farther: stays on the opponent", itemFar, false, true, false, false, false},
  };
  for (Level level : {Level::Easy, Level::Normal, Level::Hard}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", level " << static_cast<int>(level));
      const Keys keys = Settled(c.view, level);
      EXPECT_EQ(keys.left, c.left);
      EXPECT_EQ(keys.right, c.right);
      EXPECT_EQ(keys.climb, c.climb);
      EXPECT_EQ(keys.dive, c.dive);
      EXPECT_EQ(keys.fire, c.fire);
    }
  }
}

// What sets the levels apart: who evades a pursuer and who runs, who fires more freely on a tail
// than head on, who knows the way through the arena's edge.
TEST(OpponentTest, LevelsDifferInPursuitAndAtTheEdges) {
  const View pursued = Situation(1, 5, -8, -7);
  for (Level level : {Level::Normal, Level::Hard}) {
    SCOPED_TRACE(static_cast<int>(level));
    // Fired at from behind: climbs out of the line and turns, and never flies straight for long.
    const Keys keys = Settled(pursued, level);
    EXPECT_TRUE(keys.climb && keys.right && !keys.left);
    computer::Opponent mind(0, level, 7);
    int straight = 0;
    for (int i = 0; i < 600; ++i) {
      const Keys k = mind.Think(pursued);
      straight = k.left || k.right ? 0 : straight + 1;
      EXPECT_LT(straight, 3) << "frame " << i;
    }
  }
  // Easy runs straight, now and then, from a pursuer.
  computer::Opponent easy(0, Level::Easy, 7);
  int straight = 0;
  for (int i = 0; i < 600; ++i) {
    const Keys k = easy.Think(pursued);
    straight += k.left || k.right ? 0 : 1;
  }
  EXPECT_GT(straight, 100);

  // 14 degrees off at 10 units: on the tail of a craft flying away, every level fires, banked in a
  // turn or not (the same heading); normal does not at a craft coming head on.
  View banked = Situation(2.5f, 5, 10, 0);
  banked.yaw = -6;
  banked.bank = 6;
  for (Level level : {Level::Easy, Level::Normal, Level::Hard})
    for (const View& view : {Situation(2.5f, 5, 10, 0), banked})
      EXPECT_TRUE(Settled(view, level).fire) << static_cast<int>(level);
  EXPECT_FALSE(Settled(Situation(2.5f, 5, 10, 180), Level::Normal).fire);

  // The opponent far to the right, but two units away to the left through the edge.
  View edge = Situation(0, 5, 0, 90);
  edge.x[0] = -38.5f;
  edge.x[1] = 38.5f;
  edge.z[1] = Z0 + 1;
  EXPECT_TRUE(Settled(edge, Level::Hard).left);
  EXPECT_TRUE(Settled(edge, Level::Normal).left);
  EXPECT_TRUE(Settled(edge, Level::Easy).right);
}

TEST(OpponentTest, ReactsAfterItsLevelsDelay) {
  // The target jumps from straight ahead to behind on the right: each level keeps flying
  // straight for its reaction delay and only then turns.
  for (Level level : {Level::Easy, Level::Normal, Level::Hard}) {
    computer::Opponent mind(0, level, 7);
    for (int i = 0; i < 20; ++i) mind.Think(Situation(0, 5, 10));
    int straight = 0;
    while (!mind.Think(Situation(3, 5, -10)).right && straight < 30) ++straight;
    EXPECT_EQ(straight, computer::SkillOf(level).reactionFrames) << static_cast<int>(level);
  }
}

TEST(OpponentTest, ADestroyedCraftHoldsNothing) {
  View view = Situation(0, 5, 10);
  view.life = 0;
  const Keys keys = Settled(view, Level::Hard);
  EXPECT_FALSE(keys.fire || keys.left || keys.right || keys.climb || keys.dive);
}

TEST(OpponentTest, PostsItsPlayersKeysAndLetsGoAtTheRoundsEnd) {
  HeadlessControl::Enable();
  Match = {};
  Match.z[0] = -10;
  Match.yaw[0] = 0;
  Match.y[0] = Match.y[1] = 5;
  Match.yaw[1] = 180;  // player 2 faces player 1, 10 units ahead
  Match.life[0] = Match.life[1] = 10;
  computer::SetPlayer(1, true, Level::Hard, 3);
  for (int i = 0; i < 3; ++i) computer::OnFramePlayed();
  computer::OnRoundOver();
  std::vector<std::pair<UINT, WPARAM>> posted;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) posted.emplace_back(msg.message, msg.wParam);
  const std::vector<std::pair<UINT, WPARAM>> expected = {{WM_KEYDOWN, PlayerKey(1, RoleFire)},
                                                         {WM_KEYUP, PlayerKey(1, RoleFire)}};
  EXPECT_EQ(posted, expected);
  computer::Reset();
}

// F2 steps player 2 through off, easy, normal, hard and off; the half of the screen says which.
TEST(OpponentTest, F1AndF2StepTheirPlayerThroughTheLevels) {
  HeadlessControl::Enable();
  computer::Reset();
  MSG f2;
  f2.message = WM_KEYDOWN;
  f2.wParam = VK_F1 + 1;
  f2.lParam = 1;
  const char* labels[] = {"CPU EASY", "CPU NORMAL", "CPU HARD", nullptr, "CPU EASY"};
  for (const char* label : labels) {
    computer::OnMessage(f2);
    SCOPED_TRACE(label ? label : "off");
    EXPECT_FALSE(computer::Plays(0));
    EXPECT_EQ(PilotLabel[0], nullptr);
    EXPECT_EQ(computer::Plays(1), label != nullptr);
    EXPECT_STREQ(PilotLabel[1], label);
    f2.lParam = 1 | (1 << 30);  // the key's auto-repeat changes nothing
    computer::OnMessage(f2);
    EXPECT_STREQ(PilotLabel[1], label);
    f2.lParam = 1;
  }
  EXPECT_EQ(computer::LevelOf(1), Level::Easy);
  computer::Reset();
  EXPECT_EQ(PilotLabel[1], nullptr);
}

}  // namespace
