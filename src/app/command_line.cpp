// The command-line options.
#include "app/command_line.h"

namespace {

constexpr const char* Usage =
    "Usage: gronka [OPTION]...\n"
    "A two-player versus 3-D shooting game for one keyboard.\n"
    "\n"
    "  --computer 1|2|1,2  let the computer play player 1, player 2 or both (F1/F2 switch it)\n"
    "  --level LEVEL       the computer's level: easy, normal (the default) or hard\n"
    "  --record FILE       record the session into FILE\n"
    "  --replay FILE       play the recording FILE back\n"
    "  --headless          with --replay: no window, as fast as it can; print the result\n"
    "  --mute              start with the sound off (M switches it on and off)\n"
    "  --help              show this list and leave\n";

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, CommandLine& options, std::FILE* out,
                     std::FILE* err) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i], value;
    const size_t equals = name.find('=');
    const bool attached = name.rfind("--", 0) == 0 && equals != std::string::npos;
    if (attached) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const bool needsValue =
        name == "--record" || name == "--replay" || name == "--computer" || name == "--level";
    if (needsValue && !attached) {
      if (i + 1 >= argc) {
        std::fprintf(err, "gronka: option '%s' needs a value (see --help)\n", name.c_str());
        return 2;
      }
      value = argv[++i];
    }
    if (!needsValue && attached) name = argv[i];  // a flag given a value: unknown as written
    if (name == "--help") {
      std::fputs(Usage, out);
      return 0;
    } else if (name == "--mute") {
      options.mute = true;
    } else if (name == "--headless") {
      options.headless = true;
    } else if (name == "--record" && !value.empty()) {
      options.record = value;
    } else if (name == "--replay" && !value.empty()) {
      options.replay = value;
    } else if (name == "--computer" && (value == "1" || value == "2" || value == "1,2")) {
      options.computer[0] = value != "2";
      options.computer[1] = value != "1";
    } else if (name == "--level" && (value == "easy" || value == "normal" || value == "hard")) {
      options.level = value == "easy" ? 0 : value == "hard" ? 2 : 1;
    } else if (needsValue) {
      std::fprintf(err, "gronka: invalid value '%s' for %s (see --help)\n", value.c_str(),
                   name.c_str());
      return 2;
    } else {
      std::fprintf(err, "gronka: %s '%s' (see --help)\n",
                   argv[i][0] == '-' ? "unknown option" : "unexpected argument", argv[i]);
      return 2;
    }
  }
  if (options.headless && options.replay.empty()) {
    std::fprintf(err, "gronka: --headless needs --replay FILE\n");
    return 2;
  }
  if (!options.replay.empty() &&
      (!options.record.empty() || options.computer[0] || options.computer[1])) {
    std::fprintf(err, "gronka: --replay plays alone, without --record or --computer\n");
    return 2;
  }
  return -1;
}
