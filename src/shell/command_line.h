// The program's command-line options, GNU style.
#pragma once

#include <cstdio>

struct CommandLine {
  bool mute = false;  // --mute: start with the sound off
};

// Reads the arguments after the program's name into `options`. Returns -1 when the game should
// start, else the exit code to end with at once: 0 after --help (the list of options printed on
// `out`), 2 after an unknown option or any other argument (one line on `err`).
int ParseCommandLine(int argc, const char* const* argv, CommandLine& options, std::FILE* out,
                     std::FILE* err);
