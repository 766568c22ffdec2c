// GoogleTest fixtures on the harness (support/game.h) for tests that call the game's code directly.
//
// HeadlessTest switches the platform layer to headless operation (no SDL video; messages come from
// what the test posts; a virtual clock from 0 that moves only when the test advances it or the game
// waits, and a wait more than ten minutes past the start throws), makes the end of the process
// throw game::Exit, and puts the globals back to their values at program start.
//
// MatchTest adds what the start-up leaves for a match: a window with the game's window procedure,
// the Renderer and Overlay at 320 x 240, the Match's models from the source tree, the random
// generator seeded with 1. Everything is given back in TearDown.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "support/game.h"

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

class MatchTest : public HeadlessTest {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Opens a ScreenWidth x ScreenHeight window as WinMain does (windowed or full screen by FullScreen)
// with the game's window procedure, and stores it in MainWindow.
HWND OpenHeadlessWindow();

// Runs `body`; returns the exit code if it ended the process, nothing if it returned normally.
std::optional<int> ExitCodeOf(const std::function<void()>& body);
