// The one harness: the whole program inside a test, a tool or a benchmark, headless. The real entry
// point runs (settings, window, scene, models, opening scene, title menu) in a working directory of
// the run's own; a hook acts at every message pump (posting key messages, reading the game's state
// and the frames it presents); the clock is virtual; the end of the process is caught as an
// exception. Afterwards, Release gives back what the end of the process would have given back, so
// that the next run starts from nothing and the reference counts can be checked.
//
// Header only: the soak tool and the benchmarks link the game alone, without GoogleTest.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "platform/win.h"
#include "render/frames.h"
#include "render/renderer.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "shell/pacing.h"

namespace game {

// Thrown by the exit handler where the process would have ended with `code`.
struct Exit {
  int code;
};

// The source tree ($GRONKA_SOURCE_DIR, else the working directory).
inline std::string SourceDir() {
  const char* root = std::getenv("GRONKA_SOURCE_DIR");
  return root != nullptr ? root : ".";
}

inline std::string FileBytes(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void WriteFile(const std::filesystem::path& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

// Gives back every frame a round of the Match may hold.
inline void ReleaseMatchFrames() {
  for (int p = 0; p < 2; ++p) {
    ReleaseFrame(Match.craftFrame[p]);
    ReleaseFrame(Match.shadowFrame[p]);
    for (FrameHandle& piece : Match.debrisFrame[p]) ReleaseFrame(piece);
  }
  ReleaseFrame(Match.groundFrame);
  ReleaseFrame(Match.itemFrame);
  ReleaseFrame(Match.itemShadowFrame);
  for (FrameHandle& bullet : Match.bulletFrame) ReleaseFrame(bullet);
}

// Gives back every frame, light and model the game's globals hold, and the Renderer's interfaces,
// as the end of the process would; then the globals are as at a fresh start.
inline void Release() {
  ReleaseMatchFrames();
  ReleaseFrame(TitleMenu.craftFrame);
  ReleaseFrame(TitleMenu.groundFrame);
  ReleaseFrame(TitleScene.frame);
  ReleaseFrame(LightFrame);
  if (SceneLight != nullptr) {
    SceneLight->Release();
    SceneLight = nullptr;
  }
  ReleaseModels();
  Renderer.Teardown();
  Renderer.Reset();
  Match = {};
  TitleMenu = {};
  TitleScene = {};
  Overlay = {};
}

// The globals of the shell and the game as they are when the process starts (the entry point's
// caller, which chooses the working directory and settings file, is not run).
inline void ResetGlobals() {
  std::memset(KeyState, 0, sizeof KeyState);
  WaitEnabled = 1;
  std::memset(Options, 0, sizeof Options);
  OptionsFile = {};  // "option.dat" in the working directory
  FullScreen = 0;
  ScreenWidth = 320;
  ScreenHeight = 240;
  FrameStartTime = 0;
  ClientOrigin = ClientOriginPoint{};
  MainWindow = nullptr;
  FrameParity = 0;
  RandomIntHook = nullptr;
}

// Starts the program in the working directory and runs it until it ends, calling `pump` at every
// message pump. Returns the exit code: what the entry point returned when start-up failed, else
// the code the program ended with. Other exceptions (from `pump`, say) pass through. The virtual
// clock starts at `clock`; the program may run for about a week of it. Release is left to the
// caller, who may look at what the program left first.
inline int Run(std::function<void()> pump, DWORD clock = 0) {
  ResetGlobals();
  HeadlessControl::Enable(clock);
  HeadlessControl::SetTimeLimit(clock + 0x40000000u);
  HeadlessControl::SetPumpHook(std::move(pump));
  SetExitHandler([](int code) { throw Exit{code}; });
  struct Unhook {
    ~Unhook() {
      HeadlessControl::SetPumpHook(nullptr);
      SetExitHandler(nullptr);
    }
  } unhook;
  char commandLine[] = "";
  try {
    return WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL);
  } catch (const Exit& exit) {
    return exit.code;
  }
}

// A hash of the frame last presented (FNV-1a over its pixels), 0 before the first.
inline uint64_t ShownHash() {
  int w = 0, h = 0;
  const uint32_t* pixels = HeadlessControl::LastPresentedPixels(&w, &h);
  uint64_t hash = 14695981039346656037ull;
  for (long i = 0; pixels != nullptr && i < long(w) * h; ++i)
    hash = (hash ^ pixels[i]) * 1099511628211ull;
  return pixels != nullptr ? hash : 0;
}

// Player 1 on the menus, once the title menu is shown: each key goes down when the game has handled
// everything sent before and up again once the game has taken it. `atMenu` runs at the first pump
// on the title menu, before any key. A pump hook for Run.
class MenuPlayer {
 public:
  explicit MenuPlayer(std::vector<KeyRole> keys, std::function<void()> atMenu = nullptr)
      : keys_(std::move(keys)), atMenu_(std::move(atMenu)) {}

  // Keys the game has taken so far (a key that ended the program is not counted).
  int Taken() const { return taken_; }

  void operator()() {
    MSG waiting;
    if (PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) return;
    if (!reachedMenu_) {
      if (TitleScene.frame != nullptr || TitleMenu.craftFrame == nullptr) return;
      reachedMenu_ = true;
      if (atMenu_) atMenu_();
    }
    if (pending_ != 0) {
      if (KeyState[pending_] != 0) return;
      HeadlessControl::KeyUp(pending_);
      pending_ = 0;
      ++taken_;
    }
    if (static_cast<size_t>(taken_) < keys_.size()) {
      pending_ = PlayerKey(0, keys_[taken_]);
      HeadlessControl::KeyDown(pending_);
    } else if (++idle_ > 100000) {
      throw std::runtime_error("the program waits for keys the player does not press");
    }
  }

  // Down to "CONFIG", in, up to "QUALITY", one step of quality, down to "EXIT" and out (the last
  // key saves option.dat); from "START" down to "QUIT" and out.
  static std::vector<KeyRole> ChangeQualityThenQuit() {
    return {RoleDown, RoleFire, RoleUp, RoleFire, RoleDown, RoleFire, RoleDown, RoleDown, RoleFire};
  }
  static std::vector<KeyRole> Quit() { return {RoleDown, RoleDown, RoleFire}; }

 private:
  std::vector<KeyRole> keys_;
  std::function<void()> atMenu_;
  bool reachedMenu_ = false;
  uint8_t pending_ = 0;
  int taken_ = 0;
  int idle_ = 0;
};

// A working directory of the run's own, made current while it lives: "data" and "pal.bmp" are the
// source tree's or those of `data` (linked, or copied when the test is to damage them); with
// `options`, option.dat starts with those four bytes. Others may enter and read it (some runs give
// up root's rights).
class WorkDirectory {
 public:
  explicit WorkDirectory(bool copy = false, const char* options = nullptr,
                         std::filesystem::path data = SourceDir() + "/data") {
    namespace fs = std::filesystem;
    home_ = fs::current_path();
    const char* base = std::getenv("TMPDIR");
    std::string name =
        std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/gronka-run-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("no temporary directory");
    path_ = name;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    data = fs::absolute(data);
    const fs::path palette =
        fs::exists(data / "pal.bmp") ? data / "pal.bmp" : data.parent_path() / "pal.bmp";
    if (copy) {
      fs::copy(data, path_ / "data");
      fs::copy_file(palette, path_ / "pal.bmp");
    } else {
      fs::create_directory_symlink(data, path_ / "data");
      fs::create_symlink(palette, path_ / "pal.bmp");
    }
    if (options != nullptr) WriteFile(path_ / "option.dat", std::string(options, 4));
    fs::current_path(path_);
  }
  ~WorkDirectory() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::current_path(home_, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
      if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::owner_all, ignored);
    fs::permissions(path_, fs::perms::owner_all, ignored);
    fs::remove_all(path_, ignored);
  }
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path home_, path_;
};

// Without the privileges of root while it lives, where the test runs as root (root writes into
// read-only files and directories alike): the effective user and group become nobody (65534).
class Unprivileged {
 public:
  Unprivileged() : root_(geteuid() == 0) {
    if (root_) dropped_ = setegid(65534) == 0 && seteuid(65534) == 0;
  }
  ~Unprivileged() {
    if (root_ && (seteuid(0) != 0 || setegid(0) != 0)) std::abort();
  }
  Unprivileged(const Unprivileged&) = delete;
  Unprivileged& operator=(const Unprivileged&) = delete;
  // False when the test runs as root and the privileges could not be given up.
  bool Ok() const { return !root_ || dropped_; }

 private:
  bool root_;
  bool dropped_ = false;
};

}  // namespace game
