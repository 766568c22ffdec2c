// The program's entry, its window and the scene light.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/win.h"
#include "render/renderer.h"

// The game's title and credit line, shown in the window caption and on the title menu.
extern const char TitleWord[];
extern const char CreditLine[];

extern HWND MainWindow;
// The seed of the match's random generator: the time at start-up unless it was given before
// (replays give the recorded one).
extern std::optional<uint32_t> SessionSeed;
extern LightHandle SceneLight;
extern FrameHandle LightFrame;

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandLine, int showCommand);
LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool InitScene(HWND window);
[[noreturn]] void QuitGame();
