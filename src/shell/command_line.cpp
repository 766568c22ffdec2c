// The command-line options.
#include "shell/command_line.h"

#include <cstring>

int ParseCommandLine(int argc, const char* const* argv, CommandLine& options, std::FILE* out,
                     std::FILE* err) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0) {
      std::fputs(
          "Usage: gronka [OPTION]...\n"
          "A two-player versus 3-D shooting game for one keyboard.\n"
          "\n"
          "  --help   show this list and leave\n"
          "  --mute   start with the sound off (M switches it on and off)\n",
          out);
      return 0;
    }
    if (std::strcmp(arg, "--mute") == 0) {
      options.mute = true;
      continue;
    }
    std::fprintf(err, "gronka: %s '%s' (see --help)\n",
                 arg[0] == '-' ? "unknown option" : "unexpected argument", arg);
    return 2;
  }
  return -1;
}
