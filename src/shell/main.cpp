// The process entry.
#include "audio/sound.h"
#include "shell/app.h"
#include "shell/command_line.h"
#include "shell/options.h"

int main(int argc, char** argv) {
  CommandLine options;
  const int code = ParseCommandLine(argc, argv, options, stdout, stderr);
  if (code >= 0) return code;
  Sound::SetMuted(options.mute);
  EnterGameDirectory();
  char commandLine[] = "";
  return WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL);
}
