#include "support/headless.h"

void HeadlessTest::SetUp() {
  HeadlessControl::Enable(0);
  HeadlessControl::SetTimeLimit(10 * 60 * 1000);
  SetExitHandler([](int code) { throw game::Exit{code}; });
  game::ResetGlobals();
}

void HeadlessTest::TearDown() {
  SetExitHandler(nullptr);
  HeadlessControl::SetPumpHook(nullptr);
  HeadlessControl::Enable(0);
  game::ResetGlobals();
}

void MatchTest::SetUp() {
  HeadlessTest::SetUp();
  SeedRandom(1);
  ASSERT_NE(OpenHeadlessWindow(), nullptr);
  ASSERT_TRUE(Renderer.Init(MainWindow, ScreenWidth, ScreenHeight, 0));
  Overlay.Init();
  struct {
    ModelHandle* slot;
    const char* name;
  } const models[] = {
      {&Match.craftModel, "my.x"},       {&Match.groundModel, "zimen.x"},
      {&Match.bulletModel, "beam.x"},    {&Match.shadowModel, "shadow.x"},
      {&Match.itemModels[0], "speed.x"}, {&Match.itemModels[1], "power.x"},
      {&Match.itemModels[2], "grip.x"},  {&Match.itemShadowModel, "items.x"},
      {&Match.debrisModel, "die.x"},
  };
  for (const auto& model : models)
    Renderer.LoadModel(model.slot, (game::SourceDir() + "/data/" + model.name).c_str());
}

void MatchTest::TearDown() {
  game::Release();
  HeadlessTest::TearDown();
}

HWND OpenHeadlessWindow() {
  WNDCLASSA windowClass;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.lpszClassName = "PlayfieldWnd";
  RegisterClassA(&windowClass);  // fails harmlessly when it is registered already
  DWORD style = FullScreen != 0 ? (WS_POPUP | WS_BORDER | WS_SYSMENU)
                                : (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  int width = ScreenWidth + 2 * GetSystemMetrics(SM_CXBORDER) + 4;
  int height =
      ScreenHeight + 2 * GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYCAPTION) + 4;
  MainWindow = CreateWindowExA(WS_EX_APPWINDOW, "PlayfieldWnd", "GRONKA", style, CW_USEDEFAULT,
                               CW_USEDEFAULT, width, height, nullptr, nullptr, nullptr, nullptr);
  return MainWindow;
}

std::optional<int> ExitCodeOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const game::Exit& exit) {
    return exit.code;
  }
  return std::nullopt;
}
