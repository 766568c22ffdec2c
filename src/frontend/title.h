// The opening title scene, the title menu and the config screen.
#pragma once

#include "render/renderer.h"

struct TitleScene {
  ModelHandle model;
  FrameHandle frame;

  void Play();
  void Build();
};

struct TitleMenu {
  FrameHandle craftFrame;
  FrameHandle groundFrame;
  int32_t cursor;

  [[noreturn]] void Run();
  void Show();
  void DrawMenu();
  void MoveCursor(int delta);
  void ReleaseFrames();
  void RunConfig();
  void DrawConfig(int row);
  void MoveConfigCursor(int delta, int& row);
  void ReleaseAll();
};

// Called at the start of every pass of the title menu's loop, before its keys are read (the game
// over the network starts its matches from there).
extern void (*TitleMenuHook)();

// The game's title and credit line, shown on the title menu and in the window caption.
inline constexpr char TitleWord[] = "GRONKA";
inline constexpr char CreditLine[] = "(C) GRONKA TEAM";

// Releases every loaded model: the match's and the title scene's.
void ReleaseModels();

extern struct TitleScene TitleScene;
extern struct TitleMenu TitleMenu;
