// The soak run: the whole program, headless, played by seeded random key presses of both players
// (steering, fire, cameras, Ctrl, chases, results, Esc, the config screen, quitting and closing
// the window), the match checked after every frame of play and the reference counts after every
// match and every run of the program, which is started afresh until the frames are played.
// Header only: used by the soak test and by the soak tool, which links the game alone.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/game.h"

namespace soak {

// Problems found, the first few of them in words.
struct Problems {
  long count = 0;
  std::vector<std::string> first;

  void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    ++count;
    if (first.size() >= 20) return;
    char text[300];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    first.emplace_back(text);
  }
};

inline bool Attached(FrameHandle frame) {
  return frame != nullptr && Renderer.scene != nullptr && frame->parent == Renderer.scene;
}

// What the checks need to know of the state in which a frame of play begins.
struct FrameStart {
  bool valid = false;
  int32_t life[2] = {};
  float x[2] = {}, y[2] = {}, z[2] = {};
  int32_t itemActive = 0, itemType = 0;
  float itemX = 0, itemY = 0, itemZ = 0;

  void Take() {
    valid = true;
    for (int p = 0; p < 2; ++p) {
      life[p] = Match.life[p];
      x[p] = Match.x[p];
      y[p] = Match.y[p];
      z[p] = Match.z[p];
    }
    itemActive = Match.itemActive;
    itemType = Match.itemType;
    itemX = Match.itemX;
    itemY = Match.itemY;
    itemZ = Match.itemZ;
  }

  // The player who collects the item in the frame (player 0 is tested first), or -1.
  int Collector() const {
    if (!valid || itemActive == 0) return -1;
    for (int p = 0; p < 2; ++p) {
      const double d = std::fabs(double(x[p]) - itemX) + std::fabs(double(y[p]) - itemY) +
                       std::fabs(double(z[p]) - itemZ);
      if (d < 2.0) return p;
    }
    return -1;
  }
};

// The invariants of a match after a frame of play; `frame` numbers the frame in the messages.
inline void CheckFrameOfPlay(Problems& problems, long frame) {
  const auto& m = Match;
  const bool roundOver =
      (m.life[0] == 0 && m.deathTimer[0] > 50) || (m.life[1] == 0 && m.deathTimer[1] > 50);
  // The frame in which a countdown ran out ended the round halfway: player 0's steps may have
  // collected the item before player 1's countdown was tested, and no new item came.
  const bool itemExpected = !roundOver || m.itemActive;
  // In the scene: the two cameras, the light, the ground, the item and its marker, then what
  // the players and the bullets add.
  size_t expectedChildren = 2 + (LightFrame != nullptr ? 1 : 0) + 1 + (itemExpected ? 2 : 0);
  for (int p = 0; p < 2; ++p) {
    if (m.life[p] < 0 || m.life[p] > 10)
      problems.Add("frame %ld: life[%d] = %d", frame, p, m.life[p]);
    if (!(m.y[p] >= 0 && m.y[p] <= 19)) problems.Add("frame %ld: y[%d] = %g", frame, p, m.y[p]);
    if (!(m.x[p] >= -40 && m.x[p] <= 40)) problems.Add("frame %ld: x[%d] = %g", frame, p, m.x[p]);
    if (!(m.z[p] >= -40 && m.z[p] <= 40)) problems.Add("frame %ld: z[%d] = %g", frame, p, m.z[p]);
    if (m.pitch[p] < -48 || m.pitch[p] > 48 || m.pitch[p] % 6 != 0)
      problems.Add("frame %ld: pitch[%d] = %d", frame, p, m.pitch[p]);
    if (m.bank[p] < -48 || m.bank[p] > 48 || m.bank[p] % 6 != 0)
      problems.Add("frame %ld: bank[%d] = %d", frame, p, m.bank[p]);
    if (m.life[p] > 0) {
      if (!Attached(m.craftFrame[p]) || !Attached(m.shadowFrame[p]))
        problems.Add("frame %ld: player %d flies without its craft or shadow in the scene", frame,
                     p);
      expectedChildren += 2;
    } else {
      if (m.craftFrame[p] != nullptr || m.shadowFrame[p] != nullptr)
        problems.Add("frame %ld: destroyed player %d still has its craft or shadow", frame, p);
      if (m.deathTimer[p] < 0 || m.deathTimer[p] > 51)
        problems.Add("frame %ld: deathTimer[%d] = %d", frame, p, m.deathTimer[p]);
      for (int i = 0; i < DebrisCount; ++i)
        if (!Attached(m.debrisFrame[p][i]))
          problems.Add("frame %ld: debris %d of player %d is not in the scene", frame, i, p);
      expectedChildren += DebrisCount;
    }
  }
  if (!itemExpected) {
    if (m.itemFrame != nullptr || m.itemShadowFrame != nullptr)
      problems.Add("frame %ld: the item is gone but not its frames", frame);
  } else if (!m.itemActive || !Attached(m.itemFrame) || !Attached(m.itemShadowFrame)) {
    problems.Add("frame %ld: no item in the arena after the frame", frame);
  } else if (m.itemX != std::floor(m.itemX) || m.itemX < -39 || m.itemX > 39 ||
             m.itemZ != std::floor(m.itemZ) || m.itemZ < -39 || m.itemZ > 39 ||
             m.itemY != std::floor(m.itemY) || m.itemY < 1 || m.itemY > 19 || m.itemType < 0 ||
             m.itemType > 2) {
    problems.Add("frame %ld: item %d at (%g, %g, %g)", frame, m.itemType, m.itemX, m.itemY,
                 m.itemZ);
  }
  int flying = 0;
  for (int i = 0; i < BulletCount; ++i) {
    const Bullet& b = m.bullets[i];
    const FrameHandle frameOf = m.bulletFrame[i];
    if (frameOf == nullptr) {
      problems.Add("frame %ld: bullet %d has no frame", frame, i);
      continue;
    }
    if (b.active) {
      ++flying;
      if (!Attached(frameOf))
        problems.Add("frame %ld: flying bullet %d not in the scene", frame, i);
      if (!(b.x >= -40 && b.x <= 40 && b.z >= -40 && b.z <= 40 && b.y >= -1 && b.y <= 20))
        problems.Add("frame %ld: bullet %d flies outside the box at (%g, %g, %g)", frame, i, b.x,
                     b.y, b.z);
    } else if (frameOf->parent != nullptr) {
      problems.Add("frame %ld: idle bullet %d is in the scene", frame, i);
    }
  }
  expectedChildren += static_cast<size_t>(flying);
  const size_t children = Renderer.scene != nullptr ? Renderer.scene->children.size() : 0;
  if (children != expectedChildren)
    problems.Add("frame %ld: %zu frames in the scene, %zu expected", frame, children,
                 expectedChildren);
}

// Where the program is at a pump.
enum class Screen { Opening, Intro, Play, Result, Menu, Config };

struct Settings {
  uint64_t seed = 1;
  long frames = 3000;  // frames of play
  // Chances per frame of play.
  double escape = 1.0 / 1500;        // leave the match with Esc
  double closeWindow = 1.0 / 40000;  // Pause or a right click: the program ends
  // Chances per choice on the title menu.
  double config = 0.15;
  double quit = 0.03;
  // Called at every pump once the keys sent have been handled, when set.
  std::function<void(Screen)> observe;
  // When set, called with one line for every frame shown (a hash of its pixels) and for every frame
  // of play (the match's state after it): a run's whole trajectory, to compare with a recording.
  std::function<void(const std::string& line)> trace;
  // Called every `progressEvery` frames of play, when set.
  long progressEvery = 0;
  std::function<void(long framesOfPlay)> progress;
};

struct Report {
  long framesOfPlay = 0;
  long framesShown = 0;  // every presented frame: opening scenes, intros, menus and play
  long runs = 0;         // starts of the program
  long matches = 0, rounds = 0, results = 0;
  long destroyed = 0, collected = 0;
  long configVisits = 0, saves = 0, displayChanges = 0, quits = 0, windowClosed = 0;
  long fullPool = 0;  // frames of play after which at least 190 bullets were flying
  int mostBullets = 0;
  // The model slots left empty in the last run, one bit per file in the order of loading.
  unsigned missingModels = 0;
  double seconds = 0;
  Problems problems;
};

namespace detail {

// Model slots and their references, to compare after each match with the menu's.
inline std::vector<ULONG> ModelReferences() {
  const ModelHandle models[] = {Match.craftModel,    Match.groundModel,   Match.bulletModel,
                                Match.shadowModel,   TitleScene.model,    Match.itemModels[0],
                                Match.itemModels[1], Match.itemModels[2], Match.itemShadowModel,
                                Match.debrisModel};
  std::vector<ULONG> counts;
  for (ModelHandle model : models) counts.push_back(model != nullptr ? model->RefCount() : 0);
  return counts;
}

class Player {
 public:
  Player(const Settings& settings, Report& report)
      : settings_(settings), report_(report), random_(settings.seed) {}

  bool Finishing() const { return finishing_; }

  // A fresh start of the program.
  void Start() {
    for (auto& keys : held_) std::fill(std::begin(keys), std::end(keys), false);
    ctrl_ = false;
    leaving_ = false;
    inMatch_ = inIntro_ = inResult_ = inConfig_ = false;
    lastRole_ = -1;
    firstPump_ = true;
    pending_ = 0;
    menuTarget_ = -1;
    configTarget_ = -1;
    saveToCheck_ = false;
    baselineTaken_ = false;
    parity_ = 0;  // as FrameParity is at the start of the program
    start_ = FrameStart{};
    idlePumps_ = 0;
    shown_ = 0;
    leavingConfig_ = false;
    ++report_.runs;
  }

  // The end of a run. Leaving the config screen after a change of the display settings ends the
  // program: the settings file must hold what was saved.
  void Ended() {
    report_.framesShown += HeadlessControl::PresentCount();
    if (leavingConfig_ && pending_ != 0) {
      ++report_.saves;
      ++report_.displayChanges;
      if (Options[OptionFullScreen] == entry_[0] && Options[OptionScreenSize] == entry_[1])
        report_.problems.Add(
            "run %ld: the program ended when the config screen was left "
            "without a change of the display",
            report_.runs);
      saveToCheck_ = true;
    }
    if (saveToCheck_) CheckSaved();
  }

  void Pump() {
    if (firstPump_) {
      firstPump_ = false;
      // The game seeds its generator with the time; the run is made repeatable here.
      SeedRandom(static_cast<uint32_t>(random_()));
      std::string stored = game::FileBytes("option.dat");
      if (stored.size() == 4 && std::memcmp(stored.data(), Options, 4) != 0)
        report_.problems.Add("run %ld: the settings read differ from option.dat", report_.runs);
      report_.missingModels = 0;
      const std::vector<ULONG> models = ModelReferences();
      for (size_t i = 0; i < models.size(); ++i)
        if (models[i] == 0) report_.missingModels |= 1u << i;
    }
    if (++idlePumps_ > 2000000)
      throw std::runtime_error("the game has shown nothing and taken no key for 2000000 pumps");
    if (HeadlessControl::PresentCount() != shown_) {
      shown_ = HeadlessControl::PresentCount();
      idlePumps_ = 0;
      if (settings_.trace) settings_.trace(ShownLine());
    }

    // What was sent is handled first: one look at the queue (the hook is not run again for it).
    MSG waiting;
    if (PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) return;
    if (pending_ != 0) {
      if (KeyState[pending_] != 0) return;  // not taken yet
      HeadlessControl::KeyUp(pending_);
      pending_ = 0;
      idlePumps_ = 0;
      Taken();
    }
    if (TitleScene.frame != nullptr) {  // the opening scene reads no key
      Observe(Screen::Opening);
      return;
    }
    if (Match.groundFrame != nullptr) {
      PumpMatch();
    } else {
      PumpMenu();
    }
  }

 private:
  void Observe(Screen screen) {
    if (settings_.observe) settings_.observe(screen);
  }

  // "S WxH Q HASH": the frame last shown, its size, the quality set and a hash of its pixels.
  static std::string ShownLine() {
    int w = 0, h = 0;
    HeadlessControl::LastPresentedPixels(&w, &h);
    char line[64];
    std::snprintf(line, sizeof line, "S %dx%d %d %016llx", w, h, Options[OptionQuality],
                  static_cast<unsigned long long>(game::ShownHash()));
    return line;
  }

  // "P" and, for each player, position, pitch, yaw, bank, life, speed, power, grip, death timer,
  // shake and camera; then the bullets flying and the item.
  static std::string StateLine() {
    const auto& m = Match;
    std::string line = "P";
    char part[200];
    for (int p = 0; p < 2; ++p) {
      std::snprintf(part, sizeof part, " | %.3f %.3f %.3f %d %d %d %d %.3f %d %d %d %d %d", m.x[p],
                    m.y[p], m.z[p], m.pitch[p], m.yaw[p], m.bank[p], m.life[p], m.speed[p],
                    m.power[p], m.grip[p], m.deathTimer[p], m.hitShake[p], m.cameraMode[p]);
      line += part;
    }
    int flying = 0;
    for (const Bullet& b : m.bullets) flying += b.active;
    std::snprintf(part, sizeof part, " | %d %d %d %.0f %.0f %.0f", flying, m.itemActive, m.itemType,
                  m.itemX, m.itemY, m.itemZ);
    return line + part;
  }

  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  void Set(int player, int role, bool down) {
    bool& held = held_[player][role];
    if (held == down) return;
    held = down;
    uint8_t key = PlayerKey(player, role);
    down ? HeadlessControl::KeyDown(key) : HeadlessControl::KeyUp(key);
  }

  void ReleaseAllKeys() {
    for (int p = 0; p < 2; ++p)
      for (int role = 0; role < KeysPerPlayer; ++role) Set(p, role, false);
    if (ctrl_) HeadlessControl::KeyUp(VK_CONTROL);
    ctrl_ = false;
  }

  void CloseWindow() {
    ++report_.windowClosed;
    if (Chance(0.5)) {
      HeadlessControl::Post(WM_RBUTTONDOWN, 0);
    } else {
      HeadlessControl::KeyDown(VK_PAUSE);
    }
  }

  // One key press on a screen that consumes keys: down now, up once it has been taken.
  void Press(int player, int role) {
    lastRole_ = role;
    pending_ = PlayerKey(player, role);
    HeadlessControl::KeyDown(pending_);
  }

  void PumpMatch() {
    if (!inMatch_) {
      inMatch_ = true;
      ++report_.matches;
      parity_ = FrameParity;  // each match starts its parity afresh
    }
    const bool intro = Match.itemActive == 0;
    if (intro && !inIntro_) ++report_.rounds;
    inIntro_ = intro;
    const bool result = (Match.life[0] == 0 && Match.deathTimer[0] > 50) ||
                        (Match.life[1] == 0 && Match.deathTimer[1] > 50);
    if (FrameParity != parity_) {
      parity_ = FrameParity;
      AfterFrameOfPlay(result);
    }
    Observe(result ? Screen::Result : intro ? Screen::Intro : Screen::Play);
    if (result) {
      if (!inResult_) ++report_.results;
      inResult_ = true;
      // Either player's fire key, pressed anew, goes on to the next round.
      if (Chance(0.05)) {
        const int p = Below(2);
        held_[p][RoleFire] = true;
        HeadlessControl::KeyDown(PlayerKey(p, RoleFire));
      }
    } else {
      inResult_ = false;
    }
    start_.Take();
  }

  void AfterFrameOfPlay(bool roundOver) {
    ++report_.framesOfPlay;
    if (settings_.trace) settings_.trace(StateLine());
    idlePumps_ = 0;
    if (settings_.progress && settings_.progressEvery > 0 &&
        report_.framesOfPlay % settings_.progressEvery == 0)
      settings_.progress(report_.framesOfPlay);
    CheckFrameOfPlay(report_.problems, report_.framesOfPlay);
    int flying = 0;
    for (const Bullet& b : Match.bullets) flying += b.active;
    report_.mostBullets = std::max(report_.mostBullets, flying);
    if (flying >= BulletCount - 10) ++report_.fullPool;
    if (start_.Collector() >= 0 && !roundOver) ++report_.collected;
    for (int p = 0; p < 2; ++p)
      if (start_.valid && start_.life[p] > 0 && Match.life[p] == 0) ++report_.destroyed;
    if (report_.framesOfPlay >= settings_.frames) finishing_ = true;
    if (roundOver || leaving_) return;

    if (finishing_ || Chance(settings_.escape)) {
      // Nothing held may reach the menu: let go of every key, then Esc.
      ReleaseAllKeys();
      HeadlessControl::KeyDown(VK_ESCAPE);
      leaving_ = true;
      return;
    }
    if (Chance(settings_.closeWindow)) {
      CloseWindow();
      return;
    }
    for (int p = 0; p < 2; ++p) Steer(p);
    if (Chance(1.0 / 400)) {
      ctrl_ = !ctrl_;
      ctrl_ ? HeadlessControl::KeyDown(VK_CONTROL) : HeadlessControl::KeyUp(VK_CONTROL);
    }
  }

  // Each player wanders, chases the other or goes for the item, and changes its mind now and then.
  enum Aim { Wander, Chase, Collect };

  void SteerTowards(int p, double x, double y, double z) {
    const double heading = std::atan2(x - Match.x[p], z - Match.z[p]) * 180 / 3.14159265358979;
    const double turn = std::remainder(heading - Match.yaw[p], 360.0);
    Set(p, RoleLeft, turn < -4);
    Set(p, RoleRight, turn > 4);
    const double rise = y - Match.y[p];
    Set(p, RoleUp, rise < -0.5);   // dive
    Set(p, RoleDown, rise > 0.5);  // climb
  }

  void Steer(int p) {
    if (Chance(1.0 / 150)) aim_[p] = static_cast<Aim>(Below(3));
    bool& fire = held_[p][RoleFire];
    Set(p, RoleFire, fire ? !Chance(1.0 / 60) : Chance(0.25));
    // The camera key acts once per key-down: up again in the next frame.
    Set(p, RoleCamera, !held_[p][RoleCamera] && Chance(1.0 / 120));
    const int o = 1 - p;
    if (aim_[p] == Chase && Match.life[o] > 0) {
      SteerTowards(p, Match.x[o], Match.y[o], Match.z[o]);
    } else if (aim_[p] == Collect) {
      SteerTowards(p, Match.itemX, Match.itemY, Match.itemZ);
    } else {
      for (int role : {RoleUp, RoleDown, RoleLeft, RoleRight})
        if (Chance(1.0 / 12)) Set(p, role, !held_[p][role]);
    }
    if (Chance(1.0 / 5)) Set(p, RoleSpare, !held_[p][RoleSpare]);
    // The keyboard repeats a held key now and then.
    for (int role = 0; role < KeysPerPlayer; ++role)
      if (held_[p][role] && role != RoleCamera && Chance(1.0 / 30))
        HeadlessControl::KeyDown(PlayerKey(p, role));
  }

  void PumpMenu() {
    if (inMatch_) {
      inMatch_ = false;
      inIntro_ = inResult_ = false;
      if (leaving_) HeadlessControl::KeyUp(VK_ESCAPE);
      leaving_ = false;
      start_ = FrameStart{};
      CheckReferences("a match");
    }
    if (!baselineTaken_) {
      baselineTaken_ = true;
      liveObjects_ = RefCounted::LiveObjectCount();
      models_ = ModelReferences();
    }
    if (saveToCheck_) {
      saveToCheck_ = false;
      CheckSaved();
      CheckReferences("the config screen");
      if (Renderer.device == nullptr ||
          Renderer.device->quality != RenderQuality[Options[OptionQuality] & 3])
        report_.problems.Add("run %ld: the quality chosen is not applied", report_.runs);
    }
    Observe(inConfig_ ? Screen::Config : Screen::Menu);
    if (pending_ != 0) return;
    if (inConfig_) {
      Configure();
      return;
    }
    if (!finishing_ && Chance(settings_.closeWindow * 20)) {
      CloseWindow();
      pending_ = 0;
      return;
    }
    if (menuTarget_ < 0) {
      const double r = std::uniform_real_distribution<double>(0, 1)(random_);
      menuTarget_ = finishing_                              ? 2
                    : r < settings_.quit                    ? 2
                    : r < settings_.quit + settings_.config ? 1
                                                            : 0;
    }
    const int p = Below(2);
    if (TitleMenu.cursor != menuTarget_) {
      Press(p, Chance(0.5) ? RoleUp : RoleDown);
    } else {
      // "QUIT" ends the program before the key is seen to be taken.
      chosen_ = menuTarget_;
      menuTarget_ = -1;
      if (chosen_ == 2) ++report_.quits;
      Press(p, RoleFire);
    }
  }

  // A key of a menu screen has been taken.
  void Taken() {
    if (inConfig_) {
      if (lastRole_ == RoleUp) row_ = row_ == 0 ? 3 : row_ - 1;
      if (lastRole_ == RoleDown) row_ = (row_ + 1) % 4;
      if (lastRole_ == RoleFire && row_ == 0) {
        // Back on the menu: the display settings did not change.
        inConfig_ = false;
        leavingConfig_ = false;
        saveToCheck_ = true;
        ++report_.saves;
      }
      return;
    }
    if (lastRole_ == RoleFire && chosen_ == 1) {
      inConfig_ = true;
      row_ = 0;
      configTarget_ = -1;
      entry_[0] = Options[OptionFullScreen];
      entry_[1] = Options[OptionScreenSize];
      ++report_.configVisits;
    }
  }

  void Configure() {
    if (finishing_) configTarget_ = 0;
    if (configTarget_ < 0) {
      // The next row to change, or EXIT. The screen size is changed seldom (the larger one is
      // slower to draw) and changed back soon.
      if (Chance(0.35)) {
        configTarget_ = 0;
      } else {
        configTarget_ = 1 + Below(3);
        if (configTarget_ == 2 && Options[OptionScreenSize] == 0 && !Chance(0.2)) configTarget_ = 3;
        presses_ = configTarget_ == 2 ? 1 : 1 + Below(3);
      }
    }
    int role;
    if (row_ != configTarget_) {
      role = Chance(0.5) ? RoleUp : RoleDown;
    } else {
      role = RoleFire;
      if (configTarget_ == 0) leavingConfig_ = true;
      if (configTarget_ != 0 && --presses_ <= 0) configTarget_ = -1;
    }
    Press(Below(2), role);
  }

  void CheckSaved() {
    std::string stored = game::FileBytes("option.dat");
    if (stored.size() != 4 || std::memcmp(stored.data(), Options, 4) != 0)
      report_.problems.Add("run %ld: option.dat holds %zu bytes, not the 4 saved", report_.runs,
                           stored.size());
  }

  void CheckReferences(const char* after) {
    if (RefCounted::LiveObjectCount() != liveObjects_)
      report_.problems.Add("run %ld: %ld objects alive after %s, %ld before", report_.runs,
                           RefCounted::LiveObjectCount(), after, liveObjects_);
    if (ModelReferences() != models_)
      report_.problems.Add("run %ld: model references changed by %s", report_.runs, after);
  }

  const Settings& settings_;
  Report& report_;
  std::mt19937_64 random_;
  bool held_[2][KeysPerPlayer] = {};
  Aim aim_[2] = {Wander, Wander};
  bool ctrl_ = false;
  bool leaving_ = false, finishing_ = false;
  bool inMatch_ = false, inIntro_ = false, inResult_ = false, inConfig_ = false;
  bool firstPump_ = true;
  int32_t parity_ = 0;
  FrameStart start_;
  long idlePumps_ = 0;
  int shown_ = 0;
  // Menu screens.
  uint8_t pending_ = 0;
  int lastRole_ = -1;
  int menuTarget_ = -1, chosen_ = -1;
  int row_ = 0, configTarget_ = -1, presses_ = 0;
  int8_t entry_[2] = {};
  bool saveToCheck_ = false, leavingConfig_ = false;
  bool baselineTaken_ = false;
  long liveObjects_ = 0;
  std::vector<ULONG> models_;
};

}  // namespace detail

// Runs the soak in the current working directory, which must hold the game's data directory and
// may hold pal.bmp; option.dat is written there.
inline Report Run(const Settings& settings) {
  Report report;
  detail::Player player(settings, report);
  const long objectsBefore = RefCounted::LiveObjectCount();
  const auto began = std::chrono::steady_clock::now();
  DWORD clock = 0;
  for (;;) {
    player.Start();
    int code = 0;
    try {
      code = game::Run([&player] { player.Pump(); }, clock);
    } catch (const std::exception& error) {
      report.problems.Add("run %ld: %s", report.runs, error.what());
      game::Release();
      break;
    }
    clock = timeGetTime() + 1000;
    player.Ended();
    if (code != 1) report.problems.Add("run %ld: the program ended with %d", report.runs, code);
    game::Release();
    if (RefCounted::LiveObjectCount() != objectsBefore)
      report.problems.Add("run %ld: %ld objects alive after the program ended, %ld before",
                          report.runs, RefCounted::LiveObjectCount(), objectsBefore);
    if (player.Finishing() || code != 1) break;
  }
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return report;
}

inline void Print(const Report& r, std::FILE* out) {
  std::fprintf(out, "frames of play: %ld in %.1f s, %.0f per second (%ld frames shown in all)\n",
               r.framesOfPlay, r.seconds, r.seconds > 0 ? r.framesOfPlay / r.seconds : 0.0,
               r.framesShown);
  std::fprintf(
      out,
      "program runs: %ld (quit %ld, display changed %ld, window closed %ld); matches: %ld; "
      "rounds: %ld; results: %ld\n",
      r.runs, r.quits, r.displayChanges, r.windowClosed, r.matches, r.rounds, r.results);
  std::fprintf(out,
               "craft destroyed: %ld; items collected: %ld; config visits: %ld, saves: %ld; "
               "frames with a full pool: %ld (most bullets %d)\n",
               r.destroyed, r.collected, r.configVisits, r.saves, r.fullPool, r.mostBullets);
  std::fprintf(out, "violations: %ld\n", r.problems.count);
  for (const std::string& line : r.problems.first) std::fprintf(out, "  %s\n", line.c_str());
}

}  // namespace soak
