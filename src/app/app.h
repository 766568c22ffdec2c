// The program's entry, its window and the scene light.
#pragma once

#include "platform/win.h"
#include "render/renderer.h"

extern LightHandle SceneLight;
extern FrameHandle LightFrame;

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandLine, int showCommand);
LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool InitScene(HWND window);
[[noreturn]] void QuitGame();
