// The command-line options.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "build_info.h"

namespace {

struct Outcome {
  int code;
  bool mute;
  std::string out, err, join;
  int port;
};

std::string Contents(std::FILE* f) {
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

Outcome Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "gronka");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CommandLine options;
  const int code = ParseCommandLine(static_cast<int>(args.size()), args.data(), options, out, err);
  return {code, options.mute, Contents(out), Contents(err), options.join, options.port};
}

TEST(CommandLine, OptionsAndMistakes) {
  const struct {
    std::vector<const char*> args;
    int code;
    bool mute;
    const char* err;
    const char* join = "";
    int port = 27315;
  } cases[] = {
      {{}, -1, false, ""},
      {{"--mute"}, -1, true, ""},
      {{"--mute", "--mute"}, -1, true, ""},
      {{"--mut"}, 2, false, "gronka: unknown option '--mut' (see --help)\n"},
      {{"--mute", "-m"}, 2, true, "gronka: unknown option '-m' (see --help)\n"},
      {{"save.dat"}, 2, false, "gronka: unexpected argument 'save.dat' (see --help)\n"},
      {{"--record", "a", "--computer", "1,2", "--level=hard"}, -1, false, ""},
      {{"--replay=a", "--headless", "--mute"}, -1, true, ""},
      {{"--level"}, 2, false, "gronka: option '--level' needs a value (see --help)\n"},
      {{"--computer", "3"}, 2, false, "gronka: invalid value '3' for --computer (see --help)\n"},
      {{"--mute=1"}, 2, false, "gronka: unknown option '--mute=1' (see --help)\n"},
      {{"--headless"}, 2, false, "gronka: --headless needs --replay FILE, --host or --join\n"},
      {{"--replay", "a", "--computer", "2"},
       2,
       false,
       "gronka: --replay plays alone, without --record, --computer, --host or --join\n"},
      {{"--host"}, -1, false, ""},
      {{"--host", "4000", "--mute"}, -1, true, "", "", 4000},
      {{"--host=65536"}, 2, false, "gronka: invalid value '65536' for --host (see --help)\n"},
      {{"--join", "box:4000", "--headless", "--net-frames", "9"}, -1, false, "", "box", 4000},
      {{"--join", "10.0.0.2"}, -1, false, "", "10.0.0.2"},
      {{"--join", "10.0.0.2:5"}, -1, false, "", "10.0.0.2", 5},
      {{"--join", "::1"}, -1, false, "", "::1"},
      {{"--join", "2001:db8::7:4000"}, -1, false, "", "2001:db8::7:4000"},
      {{"--join=[2001:db8::7]:4000"}, -1, false, "", "2001:db8::7", 4000},
      {{"--join", "[fe80::1%eth0]"}, -1, false, "", "fe80::1%eth0"},
      {{"--join"}, 2, false, "gronka: option '--join' needs a value (see --help)\n"},
      {{"--no-upnp", "--join", "box"}, 2, false, "gronka: --no-upnp goes with --host\n"},
      {{"--host", "--join", "box"}, 2, false, "gronka: --host and --join exclude each other\n"},
      {{"--host", "--net-desync-at", "5"},
       2,
       false,
       "gronka: --net-frames, --net-realtime, --net-desync-at and --net-mispredict go with "
       "--headless and a game over the network\n"},
      {{"--join", "box", "--input-delay", "8"}, -1, false, "", "box"},
      {{"--host", "--input-delay=9"},
       2,
       false,
       "gronka: invalid value '9' for --input-delay (see --help)\n"},
      {{"--input-delay", "0"}, 2, false, "gronka: --input-delay goes with --host or --join\n"},
      {{"--host", "--computer", "1,2"},
       2,
       false,
       "gronka: with --host the computer can play only player 1\n"},
      {{"--join", "box", "--computer", "1"},
       2,
       false,
       "gronka: with --join the computer can play only player 2\n"},
  };
  for (const auto& c : cases) {
    const Outcome o = Parse(c.args);
    const std::string line = c.args.empty() ? "" : c.args.back();
    EXPECT_EQ(o.code, c.code) << line;
    EXPECT_EQ(o.mute, c.mute) << line;
    EXPECT_EQ(o.err, c.err) << line;
    EXPECT_EQ(o.out, "") << line;
    if (c.code != -1) continue;
    EXPECT_EQ(o.join, c.join) << line;
    EXPECT_EQ(o.port, c.port) << line;
  }
}

TEST(CommandLine, AnAddressToJoinThatIsNotOneIsRefused) {
  for (const char* wrong : {"box:0", "[::1", "[::1]x", "[::1]:0", "[]:5", "::1]:5", ":5"}) {
    const Outcome o = Parse({"--join", wrong});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err,
              std::string("gronka: invalid value '") + wrong + "' for --join (see --help)\n");
  }
}

TEST(CommandLine, HelpListsEveryOptionAndStops) {
  const Outcome o = Parse({"--help", "--bogus"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.err, "");
  for (const char* option :
       {"--help", "--mute", "--record", "--replay", "--headless", "--computer", "--level", "--host",
        "--join", "--net-frames", "--net-realtime", "--net-desync-at", "--no-upnp", "--version"})
    EXPECT_NE(o.out.find(option), std::string::npos);
  const Outcome version = Parse({"--version", "--bogus"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("gronka ") + GameVersionText + "\n");
}

}  // namespace
