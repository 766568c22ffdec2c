// The program's command-line options, GNU style.
#pragma once

#include <cstdio>
#include <string>

struct CommandLine {
  bool mute = false;                  // --mute: start with the sound off
  std::string record, replay;         // --record FILE, --replay FILE
  bool headless = false;              // --headless (with --replay): no window, as fast as it can
  bool computer[2] = {false, false};  // --computer 1|2|1,2
  int level = 1;                      // --level easy|normal|hard: 0, 1, 2
  bool host = false;                  // --host [PORT]: wait for the other player on PORT
  std::string join;                   // --join HOST[:PORT]: the host's name or address
  int port = 27315;                   // of --host or --join (0 with --host: any free port)
  bool noUpnp = false;                // --no-upnp: the host asks the router for nothing
  long netFrames = 0;                 // --net-frames N (with --headless)
  bool netRealTime = false;           // --net-realtime (with --headless)
  long netDesyncAt = 0;               // --net-desync-at N (with --headless)
  bool netMispredict = false;         // --net-mispredict (with --headless)
  long inputDelay = -1;               // --input-delay N (0-8), -1 when not given
};

// Reads the arguments after the program's name into `options` ("--name VALUE" or "--name=VALUE").
// Returns -1 when the game should start, else the exit code to end with at once: 0 after --help
// (the list of options printed on `out`) or --version, 2 after an unknown option, a missing or
// wrong value or any other argument (one line on `err`).
int ParseCommandLine(int argc, const char* const* argv, CommandLine& options, std::FILE* out,
                     std::FILE* err);
