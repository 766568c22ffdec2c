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
