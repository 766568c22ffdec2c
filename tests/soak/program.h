// Running the whole program inside a test or a tool, headless: the globals as at a fresh start,
// the real entry point (settings, window, scene, models, opening scene, title menu), a hook that
// acts at every message pump, and the end of the process caught as an exception instead of ending
// the process. Afterwards, Release gives back what the end of the process would have given back, so
// that the next run starts from nothing and the reference counts can be checked.
//
// Header only: the soak tool links the game alone, without the test support.
#pragma once

#include <cstring>
#include <functional>
#include <utility>

#include "../support/release.h"
#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "platform/win.h"
#include "render/renderer.h"
#include "shell/app.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "shell/pacing.h"

namespace program {

// Thrown by the exit handler where the process would have ended with `code`.
struct Exit {
  int code;
};

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

// The globals of the shell and the game as they are when the process starts. (The entry point's
// caller, which may choose another working directory and settings file, is not run: the program
// runs in the working directory it is given.)
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
// clock starts at `clock`; the program may run for about a week of it.
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

}  // namespace program
