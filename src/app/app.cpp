// The program's entry: settings, window, scene, models, the opening scene and the title menu.
#include "app/app.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "app/assets.h"
#include "audio/sound.h"
#include "frontend/title.h"
#include "match/match.h"
#include "overlay/overlay.h"
#include "render/frames.h"
#include "shell/keyboard.h"
#include "shell/options.h"
#include "shell/pacing.h"

LightHandle SceneLight = nullptr;
FrameHandle LightFrame = nullptr;

namespace {

constexpr const char* ClassName = "PlayfieldWnd";

void Complain(const char* why) {
  std::fprintf(stderr, "gronka: %s\n", why);
}

}  // namespace

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char*, int showCommand) {
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  LoadOptions();

  if (!previousInstance) {
    WNDCLASSA windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "GRK");
    windowClass.hCursor = arrow;
    windowClass.hbrBackground = nullptr;  // the layer paints an empty window black
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = ClassName;
    if (!RegisterClassA(&windowClass)) {
      Complain("the window class could not be registered");
      return 0;
    }
  }

  DWORD style = FullScreen != 0 ? (WS_POPUP | WS_BORDER | WS_SYSMENU)
                                : (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  int width = ScreenWidth + 2 * GetSystemMetrics(SM_CXBORDER) + 4;
  int height =
      ScreenHeight + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4;
  char caption[sizeof TitleWord + 1 + sizeof CreditLine];
  std::snprintf(caption, sizeof caption, "%s %s", TitleWord, CreditLine);
  MainWindow = CreateWindowExA(WS_EX_APPWINDOW, ClassName, caption, style, CW_USEDEFAULT,
                               CW_USEDEFAULT, width, height, nullptr, nullptr, instance, nullptr);
  ConfigureExtraControls();
  ShowWindow(MainWindow, showCommand);
  UpdateWindow(MainWindow);

  if (!SessionSeed) SessionSeed = static_cast<uint32_t>(std::time(nullptr));
  SeedRandom(*SessionSeed);

  if (!InitScene(MainWindow)) {
    Complain(MainWindow ? "the display could not be started" : LastWindowError());
    return -1;
  }
  // Headless runs (tests) have no display and stay silent unless they open the sound themselves.
  if (!HeadlessControl::Enabled()) Sound::Start();
  LoadAllModels();
  TitleScene.Play();
  TitleMenu.Run();
}

bool InitScene(HWND window) {
  if (!Renderer.Init(window, ScreenWidth, ScreenHeight, FullScreen)) return false;
  // A white light straight down: its frame high above the origin, turned to look along -y.
  Renderer.CreateLight(&SceneLight, D3DRMLIGHT_DIRECTIONAL, 1.0, 1.0, 1.0);
  Renderer.CreateSceneFrame(&LightFrame);
  Renderer.SetFramePosition(LightFrame, 0.0, 100.0, 0.0);
  Renderer.SetOrientationAngles(LightFrame, 90, 0, 0);
  AttachLight(LightFrame, SceneLight);
  Overlay.Init();
  return true;
}

void QuitGame() {
  ReleaseFrame(LightFrame);
  DropReference(SceneLight);
  ExitProcess(1);
}
