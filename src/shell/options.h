// The settings: four bytes kept as they are in "option.dat", normally in the working directory.
#pragma once

#include <cstdint>
#include <string>

constexpr int OptionReserved = 0, OptionFullScreen = 1, OptionScreenSize = 2, OptionQuality = 3;

extern int8_t Options[4];
extern int32_t FullScreen;
extern int32_t ScreenWidth;
extern int32_t ScreenHeight;

// Where the settings file is read and written.
struct OptionsFiles {
  std::string path = "option.dat";  // read at start-up, replaced when the config screen is left
  std::string previous;             // read instead while `path` does not exist yet; "" for none
};

// The files LoadOptions and SaveOptions use: "option.dat" in the working directory unless
// EnterGameDirectory chose otherwise.
extern OptionsFiles OptionsFile;

// Where the settings are kept for a game whose working directory may (`gameDirWritable`) or may
// not be written: beside the game, or else in the user's configuration directory
// ($XDG_CONFIG_HOME, or $HOME/.config when that is unset or not absolute) as gronka/option.dat,
// picking up the option.dat beside the game until that file exists. With neither directory known
// the file stays beside the game, where saving it will fail.
OptionsFiles OptionsFilesFor(bool gameDirWritable, const char* configHome, const char* home);

void LoadOptions();
// Replaces the file with the four bytes (creating the directories on its path); ends the process
// with exit code 1 when it cannot. Temporary files of earlier saves that were killed midway
// (option.dat.XXXXXX from before this run) are removed first.
void SaveOptions();

// The directory the game works in when the program is the file `program`: the installed game's
// directory (../share/gronka from the program, as installed) when that has a "data" directory,
// whatever the current directory holds; else "" to stay in the current directory when that has
// one (a game run from its build or source tree); else the program's own directory when that has
// one; else "". `installed`, when given, says whether the first case held.
std::string GameDirectoryFor(const std::string& program, bool* installed = nullptr);

// Makes the game's directory (GameDirectoryFor this program) the working directory, so that
// "data" and "pal.bmp" resolve, then chooses OptionsFile for it once: an installed game, or a game
// directory that cannot be written, keeps the settings in the user's configuration directory (below
// $HOME, or the account's home directory when $HOME is unset or not an absolute path).
void EnterGameDirectory();
