// The process entry: the command line, then the game.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "computer/player.h"
#include "render/renderer.h"
#include "replay/session.h"
#include "shell/app.h"
#include "shell/options.h"

namespace {

struct CommandLine {
  std::string record, replay;
  bool headless = false;
  bool computer[2] = {false, false};
  computer::Level level = computer::Level::Normal;
};

constexpr const char* Usage =
    "usage: gronka [OPTION]...\n"
    "  --record FILE      record the session into FILE\n"
    "  --replay FILE      play the recording FILE back\n"
    "  --headless         with --replay: no window, as fast as possible; print the result\n"
    "  --computer 1|2|1,2 let the computer play player 1, player 2 or both (F1/F2 switch it)\n"
    "  --level LEVEL      the computer's level: easy, normal (the default) or hard\n"
    "  --help             show this help\n";

// GNU-style options ("--name VALUE" or "--name=VALUE"). Returns -1 to go on, else the exit code.
int ParseCommandLine(int argc, char** argv, CommandLine* line) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i], value;
    const size_t equals = name.find('=');
    const bool attached = name.rfind("--", 0) == 0 && equals != std::string::npos;
    if (attached) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    auto takeValue = [&]() {
      if (attached) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    const bool needsValue =
        name == "--record" || name == "--replay" || name == "--computer" || name == "--level";
    if (needsValue && !takeValue()) {
      std::fprintf(stderr, "gronka: option '%s' needs a value (see --help)\n", name.c_str());
      return 2;
    }
    if (!needsValue && attached) name = argv[i];  // a flag given a value: unknown as written
    if (name == "--help") {
      std::fputs(Usage, stdout);
      return 0;
    } else if (name == "--record") {
      line->record = value;
    } else if (name == "--replay") {
      line->replay = value;
    } else if (name == "--headless") {
      line->headless = true;
    } else if (name == "--computer" && (value == "1" || value == "2" || value == "1,2")) {
      line->computer[0] = value != "2";
      line->computer[1] = value != "1";
    } else if (name == "--level" && (value == "easy" || value == "normal" || value == "hard")) {
      line->level = value == "easy"   ? computer::Level::Easy
                    : value == "hard" ? computer::Level::Hard
                                      : computer::Level::Normal;
    } else if (needsValue) {
      std::fprintf(stderr, "gronka: invalid value '%s' for %s (see --help)\n", value.c_str(),
                   name.c_str());
      return 2;
    } else {
      std::fprintf(stderr, "gronka: unknown option '%s' (see --help)\n", argv[i]);
      return 2;
    }
  }
  if (line->headless && line->replay.empty()) {
    std::fprintf(stderr, "gronka: --headless needs --replay FILE\n");
    return 2;
  }
  if (!line->replay.empty() && (!line->record.empty() || line->computer[0] || line->computer[1])) {
    std::fprintf(stderr, "gronka: --replay plays alone, without --record or --computer\n");
    return 2;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (int code = ParseCommandLine(argc, argv, &line); code >= 0) return code;
  replay::Recording recording;
  if (!line.replay.empty()) {
    std::string why;
    if (!replay::ReadRecordingFile(line.replay, &recording, &why)) {
      std::fprintf(stderr, "gronka: %s: %s\n", line.replay.c_str(), why.c_str());
      return 2;
    }
  }
  // The recording is written at the end, from the game's directory: the name given is the
  // current directory's.
  std::error_code error;
  if (!line.record.empty()) line.record = std::filesystem::absolute(line.record, error).string();
  EnterGameDirectory();
  replay::BeginSession();
  const auto seed = static_cast<uint32_t>(std::time(nullptr));
  for (int p = 0; p < 2; ++p) computer::SetPlayer(p, line.computer[p], line.level, seed);
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
