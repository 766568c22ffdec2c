// The settings: four bytes kept as they are in "option.dat" in the working directory.
#pragma once

#include <cstdint>

constexpr int OptionReserved = 0, OptionFullScreen = 1, OptionScreenSize = 2, OptionQuality = 3;

extern int8_t Options[4];
extern int32_t FullScreen;
extern int32_t ScreenWidth;
extern int32_t ScreenHeight;

void LoadOptions();
void SaveOptions();

// Makes the program's own directory the working directory when the current one has no "data"
// directory but the program's has, so that a player who starts the game from elsewhere still gets
// its models and its option.dat.
void EnterGameDirectory();
