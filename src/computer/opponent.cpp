// The computer opponent's mind: pick a goal (the item when it is much nearer than the opponent,
// else the point where the opponent will be when a bullet gets there, the shortest way), steer and
// climb towards it, fire when the line of fire is inside the level's cone, and, with the opponent
// on its tail, get out of its line (or, as a beginner, run from it).
#include "computer/opponent.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "match/match.h"

namespace computer {

namespace {

constexpr double Pi = 3.1415926535;  // the game's own, so that angles agree with the craft's
constexpr double BulletStep = 0.8;   // horizontal distance a bullet flies per frame
constexpr double BulletClimb = 1.2;  // its vertical speed per unit of sin(pitch)
constexpr double CraftStep = 0.2;    // the craft's speed at the start of a round
constexpr float WrapPeriod = 78;     // a craft leaving past +40 comes back at -38
// After 45 seconds of a round the firing cone widens by 60 degrees a minute, so that no round
// between two computers goes on for ever.
constexpr int PatientFrames = 900;
constexpr double ImpatiencePerFrame = 1.0 / 20;
// Pursued for this long in a turn, it turns the other way for a moment.
constexpr int WeaveTurn = 60, WeaveReverse = 20;
// A pursuer is one whose nose points at us within this.
constexpr double PursuitCone = 15;
// The item is worth a detour when it is nearer than this share of the way to the opponent.
constexpr double ItemFactor = 0.5;
// A beginner (a level that does not evade) pursued runs straight for this long, now and then
// (one frame in this many, while pursued).
constexpr int PanicFrames = 20;
constexpr uint32_t PanicChance = 24;
// On an opponent's tail the cone widens by this factor and the height allowed by this much.
constexpr double TailCone = 1.5, TailHeight = 1.0;

double Degrees(double radians) {
  return radians * 180.0 / Pi;
}

double Radians(double degrees) {
  return degrees * Pi / 180.0;
}

double Wrap180(double angle) {
  angle = std::fmod(angle, 360.0);
  if (angle > 180) angle -= 360;
  if (angle < -180) angle += 360;
  return angle;
}

// How many more degrees the heading turns after the turn keys are let go at this bank, while the
// bank returns to 0 by 6 a frame and drifts the heading by trunc(4 sin bank).
int ResidualTurn(int bank) {
  int sum = 0;
  while (bank != 0) {
    bank += bank > 0 ? -6 : 6;
    if (bank > -6 && bank < 6) bank = 0;
    sum += static_cast<int>(4.0 * std::sin(Radians(bank)));
  }
  return sum;
}

// How much higher the craft still gets after the pitch keys are let go at this pitch.
double ResidualClimb(int pitch) {
  double sum = 0;
  while (pitch != 0) {
    pitch += pitch > 0 ? -6 : 6;
    if (pitch > -6 && pitch < 6) pitch = 0;
    sum -= std::sin(Radians(pitch)) * CraftStep;
  }
  return sum;
}

// The copy of `value` by whole wrap periods that lies nearest to `from`.
float NearestImage(float value, float from) {
  while (value - from > WrapPeriod / 2) value -= WrapPeriod;
  while (from - value > WrapPeriod / 2) value += WrapPeriod;
  return value;
}

}  // namespace

View ViewOf(const struct Match& match, int self) {
  View v;
  for (int p = 0; p < 2; ++p) {
    v.x[p] = match.x[p];
    v.y[p] = match.y[p];
    v.z[p] = match.z[p];
    v.heading[p] = match.yaw[p] + match.bank[p];
  }
  v.yaw = match.yaw[self];
  v.pitch = match.pitch[self];
  v.bank = match.bank[self];
  v.grip = match.grip[self];
  v.life = match.life[self];
  v.otherLife = match.life[1 - self];
  v.item = match.itemActive != 0;
  v.itemX = match.itemX;
  v.itemY = match.itemY;
  v.itemZ = match.itemZ;
  return v;
}

Skill SkillOf(Level level) {
  switch (level) {
    case Level::Easy:
      return Skill{15, 10.0, 30.0, false, 1.0, false, false, 720};
    case Level::Hard:
      return Skill{1, 30.0, 1.0, true, 1.0, true, true, 720};
    default:
      return Skill{7, 12.0, 6.0, true, 1.0, true, true, 720};
  }
}

Opponent::Opponent(int self, Level level, uint32_t seed)
    : self_(self), level_(level), skill_(SkillOf(level)), random_(seed | 1) {}

uint32_t Opponent::Random() {
  // xorshift32: the opponent's own generator, apart from the match's.
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  return random_;
}

Keys Opponent::Think(const View& now) {
  seen_[frames_ % MaxDelay] = now;
  ++frames_;
  if (level_ == Level::RandomKeys) {
    // Each key changes its state now and then, at random.
    bool* keys[] = {&randomKeys_.dive, &randomKeys_.climb, &randomKeys_.left, &randomKeys_.right,
                    &randomKeys_.fire};
    for (bool* key : keys)
      if (Random() % 8 == 0) *key = !*key;
    return randomKeys_;
  }
  Keys keys;
  if (now.life == 0) return keys;
  ++roundFrames_;

  // The world as seen `reactionFrames` ago; its own craft as it is now.
  // A long round sharpens it: past its patience the delay shrinks by a frame every 5 seconds.
  const int focus = std::max(0, roundFrames_ - PatientFrames) / 100;
  const int lag = std::min(frames_ - 1, std::max(1, skill_.reactionFrames - focus));
  const View& world = seen_[(frames_ - 1 - lag) % MaxDelay];
  const View& before = seen_[(frames_ - 1 - lag - (frames_ - 1 - lag > 0 ? 1 : 0)) % MaxDelay];
  const int self = self_, other = 1 - self_;
  const double mx = now.x[self], my = now.y[self], mz = now.z[self];

  // Where the opponent goes: its last step, unless it wrapped or is not known yet.
  double ovx = world.x[other] - before.x[other], ovz = world.z[other] - before.z[other];
  double ovy = world.y[other] - before.y[other];
  if (std::fabs(ovx) + std::fabs(ovz) > 1 || (ovx == 0 && ovz == 0)) {
    ovx = std::sin(Radians(world.heading[other])) * CraftStep;
    ovz = std::cos(Radians(world.heading[other])) * CraftStep;
    ovy = 0;
  }
  // Bullets do not wrap at the edges: the opponent is gone for where it is, not through the edge.
  const double ox = world.x[other], oz = world.z[other];
  const double oy = world.y[other];
  const double opponentDistance = std::hypot(ox - mx, oz - mz, oy - my);
  // Lead the target: where it will be when a bullet fired now reaches it.
  const double flight = std::hypot(ox - mx, oz - mz) / BulletStep;
  const double lx = ox + ovx * flight, lz = oz + ovz * flight;
  const double ly = std::fmin(19.0, std::fmax(0.0, oy + ovy * flight));
  double gx = lx, gz = lz, gy = ly;
  // Steering goes the shortest way, through an edge when that is nearer: the opponent is in reach
  // of bullets once both are on the same side.
  const double ix0 = NearestImage(world.x[other], static_cast<float>(mx));
  const double iz0 = NearestImage(world.z[other], static_cast<float>(mz));
  const double chaseDistance = std::hypot(ix0 - mx, iz0 - mz, oy - my);
  if (skill_.wraps && (ix0 != ox || iz0 != oz)) {
    const double imageFlight = std::hypot(ix0 - mx, iz0 - mz) / BulletStep;
    gx = ix0 + ovx * imageFlight;
    gz = iz0 + ovz * imageFlight;
  }

  // Pursued: the opponent behind, pointing at us, near enough to hit.
  const double towardsUs = Degrees(std::atan2(mx - ox, mz - oz));
  const double aim = Wrap180(Degrees(std::atan2(ox - mx, oz - mz)) - (now.yaw + now.bank));
  const bool pursued = std::fabs(Wrap180(towardsUs - world.heading[other])) < PursuitCone &&
                       opponentDistance < 30 && std::fabs(aim) > 60;
  // A straight run hands a pursuer its shots: one who evades turns on instead.
  const bool mayRun = !(pursued && skill_.evades) || circled_ > 2 * skill_.circleDegrees;
  if (!mayRun) breakFrames_ = 0;

  // Round and round with nobody hit (two circles) or too close to shoot: a straight run at another
  // height, then back.
  if (now.life != lastLife_ || now.otherLife != lastOtherLife_) circled_ = 0;
  lastLife_ = now.life;
  lastOtherLife_ = now.otherLife;
  if (frames_ > 1) circled_ += std::abs(Wrap180(now.yaw - lastYaw_));
  lastYaw_ = now.yaw;
  if (breakFrames_ == 0 && mayRun &&
      (circled_ > skill_.circleDegrees || (opponentDistance < 3 && frames_ > 60))) {
    breakFrames_ = 30 + static_cast<int>(Random() % 40);
    breakHeight_ = static_cast<float>(2 + Random() % 16);
    circled_ = 0;
  }
  // A beginner with a pursuer on its tail runs for it, straight on.
  if (pursued && !skill_.evades && breakFrames_ == 0 && Random() % PanicChance == 0) {
    breakFrames_ = PanicFrames;
    breakHeight_ = static_cast<float>(my);
  }
  if (breakFrames_ > 0) {
    --breakFrames_;
    gx = mx + std::sin(Radians(now.yaw)) * 10;
    gz = mz + std::cos(Radians(now.yaw)) * 10;
    gy = breakHeight_;
  } else if (world.item) {
    const double ix = NearestImage(world.itemX, now.x[self]);
    const double iz = NearestImage(world.itemZ, now.z[self]);
    if (std::hypot(ix - mx, iz - mz, world.itemY - my) <
        ItemFactor * (skill_.wraps ? chaseDistance : opponentDistance)) {
      gx = ix;
      gz = iz;
      gy = world.itemY;
    }
  }

  // Turning, towards the heading that points at the goal.
  const double wanted = Degrees(std::atan2(gx - mx, gz - mz));
  double error = skill_.anticipates ? Wrap180(wanted - (now.yaw + ResidualTurn(now.bank)))
                                    : Wrap180(wanted - now.yaw);
  // A long round sharpens the disciplined: a shot just off to the side, flying on in parallel,
  // is not left to miss for ever.
  const double impatience = std::max(0, roundFrames_ - PatientFrames) * ImpatiencePerFrame;
  // Nor is a target straight ahead missed by a little more than a bullet's reach to the side.
  const double narrow = Degrees(std::atan2(0.6, std::hypot(gx - mx, gz - mz)));
  const double deadband =
      skill_.anticipates
          ? std::fmax(std::fmax(1.0, std::fmin(narrow, skill_.deadbandDegrees - impatience)),
                      (now.grip + 1) * 0.5)
          : skill_.deadbandDegrees;
  if (error > deadband) keys.right = true;
  if (error < -deadband) keys.left = true;
  // Pursued for long, in a circle that gives neither side a shot: now and then a turn the other
  // way, which the pursuer overshoots.
  weave_ = pursued && skill_.evades ? weave_ + 1 : 0;
  if (weave_ > 0 && weave_ % (WeaveTurn + WeaveReverse) >= WeaveTurn) {
    keys.left = !weaveRight_;
    keys.right = weaveRight_;
  } else if (weave_ > 0) {
    weaveRight_ = !(error > 0);
  }

  // Climbing and diving, towards the goal's height.
  double rise = gy - my;
  if (skill_.anticipates) rise -= ResidualClimb(now.pitch);
  const double tolerance = skill_.anticipates ? 0.25 : 0.6;

  // Being fired at: the opponent points at us and we cannot answer; get out of its bullets' height.
  if (pursued && skill_.evades) {
    rise = (my >= oy && my < 15) || my < 2 ? 3 : -3;
  }
  if (rise > tolerance) keys.climb = true;
  if (rise < -tolerance && my > 0) keys.dive = true;

  // Firing: the line of fire inside the cone, the bullets arriving at the target's height.
  const double off = Wrap180(Degrees(std::atan2(lx - mx, lz - mz)) - (now.yaw + now.bank));
  const double bulletY = my - 0.1 - std::sin(Radians(now.pitch)) * BulletClimb * flight;
  // On the opponent's tail (it flies away from us, near enough): bullets cost nothing, and a craft
  // that cannot answer is fired at freely.
  const double away = Wrap180(world.heading[other] - Degrees(std::atan2(ox - mx, oz - mz)));
  const bool onTail = std::fabs(away) < 60 && opponentDistance < 30;
  const double cone = (onTail ? TailCone * skill_.coneDegrees : skill_.coneDegrees) + impatience;
  if (std::fabs(off) < cone &&
      std::fabs(bulletY - ly) <
          skill_.heightTolerance + (onTail ? TailHeight : 0) + impatience / 15 &&
      flight * BulletStep < 45)
    keys.fire = true;
  return keys;
}

}  // namespace computer
