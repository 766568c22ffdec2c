// The command-line options.
#include "app/command_line.h"

#include <algorithm>

#include "build_info.h"

namespace {

constexpr const char* Usage =
    "Usage: gronka [OPTION]...\n"
    "A two-player versus 3-D shooting game for one keyboard.\n"
    "\n"
    "  --computer 1|2|1,2  let the computer play player 1, player 2 or both (F1/F2\n"
    "                      step a player through off, easy, normal, hard)\n"
    "  --level LEVEL       the computer's level: easy, normal (the default) or hard\n"
    "  --record FILE       record the session into FILE\n"
    "  --replay FILE       play the recording FILE back\n"
    "  --headless          with --replay: no window, as fast as it can; print the result;\n"
    "                      with --host or --join (tests): no window, the match starts once\n"
    "                      both are there, one line on stdout when it ends\n"
    "  --host [PORT]       wait for the other player over the network, on IPv4 and IPv6\n"
    "                      (port 27315 by default); the host plays player 1, on the left\n"
    "  --join HOST[:PORT]  play over the network against the player who hosts at HOST: a\n"
    "                      name, an IPv4 or an IPv6 address; with a port, an IPv6 address\n"
    "                      goes in brackets ([2001:db8::7]:27315)\n"
    "  --no-upnp           with --host: do not ask the home router to forward the port\n"
    "  --input-delay N     over the network: your own keys act N frames late (0 to 8), so that\n"
    "                      the other craft's moves are guessed for fewer frames (default:\n"
    "                      chosen from the round trip, 0 on any usual line)\n"
    "  --net-frames N      (tests) with --headless: leave the match after N frames of play\n"
    "  --net-realtime      (tests) with --headless: frames at 50 ms of real time, not at once\n"
    "  --net-desync-at N   (tests) with --headless: this side's state goes wrong at frame N\n"
    "  --net-mispredict    (tests) with --headless: guess the other player's keys wrong\n"
    "  --mute              start with the sound off (M switches it on and off)\n"
    "  --help              show this list and leave\n"
    "  --version           show the game's version and leave\n";

bool ParseNumber(const std::string& text, long lo, long hi, long* out) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const long value = std::stol(text);
  if (value < lo || value > hi) return false;
  *out = value;
  return true;
}

bool ParsePort(const std::string& text, long lo, int* port) {
  long value = 0;
  if (!ParseNumber(text, lo, 65535, &value)) return false;
  *port = static_cast<int>(value);
  return true;
}

// NAME, NAME:PORT, a.b.c.d, a.b.c.d:PORT, an IPv6 address alone (two colons or more: all of it is
// the address), [IPv6] or [IPv6]:PORT; a port of 1 to 65535.
bool ParseJoin(const std::string& text, CommandLine* options) {
  std::string host = text;
  size_t colon = std::string::npos;  // before the port, when one is given
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size() && text[close + 1] != ':') return false;
    if (close + 1 < text.size()) colon = close + 1;
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    colon = text.find(':');
    host = text.substr(0, colon);
  }
  if (host.empty() || host.find_first_of("[]") != std::string::npos) return false;
  if (colon != std::string::npos && !ParsePort(text.substr(colon + 1), 1, &options->port))
    return false;
  options->join = host;
  return true;
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, CommandLine& options, std::FILE* out,
                     std::FILE* err) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i], value;
    const size_t equals = name.find('=');
    bool attached = name.rfind("--", 0) == 0 && equals != std::string::npos;
    if (attached) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const bool needsValue = name == "--record" || name == "--replay" || name == "--computer" ||
                            name == "--level" || name == "--join" || name == "--net-frames" ||
                            name == "--net-desync-at" || name == "--input-delay";
    // --host takes a port when one follows.
    if (name == "--host" && !attached && i + 1 < argc && argv[i + 1][0] != '-') {
      value = argv[++i];
      attached = true;
    }
    if (needsValue && !attached) {
      if (i + 1 >= argc) {
        std::fprintf(err, "gronka: option '%s' needs a value (see --help)\n", name.c_str());
        return 2;
      }
      value = argv[++i];
    }
    if (!needsValue && attached && name != "--host") name = argv[i];  // unknown as written
    if (name == "--help") {
      std::fputs(Usage, out);
      return 0;
    } else if (name == "--version") {
      std::fprintf(out, "gronka %s\n", GameVersionText);
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
    } else if (name == "--host" && (!attached || ParsePort(value, 0, &options.port))) {
      options.host = true;
    } else if (name == "--join" && ParseJoin(value, &options)) {
    } else if (name == "--net-frames" && ParseNumber(value, 1, 100000000, &options.netFrames)) {
    } else if (name == "--net-desync-at" &&
               ParseNumber(value, 1, 100000000, &options.netDesyncAt)) {
    } else if (name == "--input-delay" && ParseNumber(value, 0, 8, &options.inputDelay)) {
    } else if (name == "--net-mispredict") {
      options.netMispredict = true;
    } else if (name == "--net-realtime") {
      options.netRealTime = true;
    } else if (name == "--no-upnp") {
      options.noUpnp = true;
    } else if (needsValue || name == "--host") {
      std::fprintf(err, "gronka: invalid value '%s' for %s (see --help)\n", value.c_str(),
                   name.c_str());
      return 2;
    } else {
      std::fprintf(err, "gronka: %s '%s' (see --help)\n",
                   argv[i][0] == '-' ? "unknown option" : "unexpected argument", argv[i]);
      return 2;
    }
  }
  const bool net = options.host || !options.join.empty();
  if (options.headless && options.replay.empty() && !net) {
    std::fprintf(err, "gronka: --headless needs --replay FILE, --host or --join\n");
    return 2;
  }
  if (options.noUpnp && !options.host) {
    std::fprintf(err, "gronka: --no-upnp goes with --host\n");
    return 2;
  }
  if (options.host && !options.join.empty()) {
    std::fprintf(err, "gronka: --host and --join exclude each other\n");
    return 2;
  }
  if ((options.netFrames != 0 || options.netRealTime || options.netDesyncAt != 0 ||
       options.netMispredict) &&
      !(net && options.headless)) {
    std::fprintf(err,
                 "gronka: --net-frames, --net-realtime, --net-desync-at and --net-mispredict go "
                 "with --headless and a game over the network\n");
    return 2;
  }
  // Over the network the computer sees the match from this side's craft: it can fly only that one.
  if (options.computer[options.host ? 1 : 0] && net) {
    std::fprintf(err, "gronka: with --%s the computer can play only player %d\n",
                 options.host ? "host" : "join", options.host ? 1 : 2);
    return 2;
  }
  if (options.inputDelay >= 0 && !net) {
    std::fprintf(err, "gronka: --input-delay goes with --host or --join\n");
    return 2;
  }
  if (!options.replay.empty() &&
      (!options.record.empty() || options.computer[0] || options.computer[1] || net)) {
    std::fprintf(err,
                 "gronka: --replay plays alone, without --record, --computer, --host or --join\n");
    return 2;
  }
  return -1;
}
