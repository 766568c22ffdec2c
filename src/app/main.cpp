// The process entry: the command line, then the game.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "app/command_line.h"
#include "audio/sound.h"
#include "computer/player.h"
#include "render/renderer.h"
#include "replay/session.h"
#include "shell/options.h"

int main(int argc, char** argv) {
  CommandLine line;
  const int parsed = ParseCommandLine(argc, argv, line, stdout, stderr);
  if (parsed >= 0) return parsed;
  replay::Recording recording;
  if (!line.replay.empty()) {
    std::string why;
    if (!replay::ReadRecordingFile(line.replay, &recording, &why)) {
      std::fprintf(stderr, "gronka: %s: %s\n", line.replay.c_str(), why.c_str());
      return 2;
    }
  }
  Sound::SetMuted(line.mute);
  // The recording is written at the end, from the game's directory: the name given is the
  // current directory's.
  if (!line.record.empty()) {
    std::error_code error;
    const auto whole = std::filesystem::absolute(line.record, error);
    if (!error) line.record = whole.string();
  }
  EnterGameDirectory();
  replay::BeginSession();
  const auto seed = static_cast<uint32_t>(std::time(nullptr));
  const computer::Level levels[] = {computer::Level::Easy, computer::Level::Normal,
                                    computer::Level::Hard};
  for (int p = 0; p < 2; ++p) computer::SetPlayer(p, line.computer[p], levels[line.level], seed);
  if (!line.record.empty()) replay::StartRecording(line.record);
  if (!line.replay.empty()) {
    if (line.headless) {
      HeadlessControl::Enable();
      SkipViewDrawing = true;
    }
    replay::StartReplay(recording);
  }
  char commandLine[] = "";
  const int code = WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL);
  return line.replay.empty() ? code : 2;
}
