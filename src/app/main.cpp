// The process entry: the command line, then the game.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "app/command_line.h"
#include "audio/sound.h"
#include "computer/player.h"
#include "net/session.h"
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
  const bool network = line.host || !line.join.empty();
  std::error_code noDirectory;
  const std::string startDirectory = std::filesystem::current_path(noDirectory).string();
  EnterGameDirectory();
  replay::BeginSession();
  const auto seed = static_cast<uint32_t>(std::time(nullptr));
  const computer::Level levels[] = {computer::Level::Easy, computer::Level::Normal,
                                    computer::Level::Hard};
  for (int p = 0; p < 2; ++p) computer::SetPlayer(p, line.computer[p], levels[line.level], seed);
  // A game over the network is always recorded, in memory when no file is named, so that a desync
  // can be reported with it.
  if (!line.record.empty() || network) {
    std::string why;
    if (!replay::StartRecording(line.record, &why)) {
      std::fprintf(stderr, "gronka: the recording %s cannot be written: %s\n", line.record.c_str(),
                   why.c_str());
      return 2;
    }
  }
  if (network) {
    net::Settings settings;
    settings.host = line.host;
    settings.address = line.join;
    settings.port = static_cast<uint16_t>(line.port);
    settings.headless = line.headless;
    settings.frames = static_cast<uint64_t>(line.netFrames);
    settings.realTime = line.netRealTime;
    settings.desyncAt = static_cast<uint32_t>(line.netDesyncAt);
    settings.mispredict = line.netMispredict;
    settings.inputDelay = static_cast<int>(line.inputDelay);
    settings.reportDir = startDirectory;
    settings.upnp = !line.noUpnp;
    if (!net::Start(settings)) return 2;
    if (line.headless) {
      HeadlessControl::Enable();
      SkipViewDrawing = true;
    }
  }
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
