// The recording file: what is written reads back the same, and the reader refuses every damaged
// file with a reason instead of reading it.
#include "replay/recording.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using replay::Recording;

Recording Sample() {
  Recording r;
  r.options[2] = 1;
  r.options[3] = 3;
  r.seed = 0xDEADBEEF;
  r.events = {{3, true, 'Z'}, {4, false, 'Z'}, {300, true, 0x68}, {300, false, 0x68}};
  r.endWait = 301;
  r.frames = 200;
  r.rounds = {{1, 180, 0x0123456789ABCDEFull}, {2, 20, 42}};
  return r;
}

TEST(RecordingTest, ReadsBackWhatWasWritten) {
  const Recording r = Sample();
  const std::vector<uint8_t> bytes = replay::Encode(r);
  Recording back;
  std::string why;
  ASSERT_TRUE(replay::Decode(bytes.data(), bytes.size(), &back, &why)) << why;
  EXPECT_EQ(std::vector<int8_t>(back.options, back.options + 4), (std::vector<int8_t>{0, 0, 1, 3}));
  EXPECT_EQ(back.seed, r.seed);
  ASSERT_EQ(back.events.size(), 4u);
  EXPECT_EQ(back.events[2].wait, 300u);
  EXPECT_TRUE(back.events[2].down);
  EXPECT_EQ(back.events[3].key, 0x68);
  EXPECT_EQ(back.endWait, 301u);
  EXPECT_EQ(back.frames, 200u);
  ASSERT_EQ(back.rounds.size(), 2u);
  EXPECT_EQ(back.rounds[0].winner, 1);
  EXPECT_EQ(back.rounds[0].frames, 180u);
  EXPECT_EQ(back.rounds[0].hash, 0x0123456789ABCDEFull);
  // Small: 18 bytes of header, 3 or 4 per key message, 10 or 11 per round, 5 for the counts.
  EXPECT_EQ(bytes.size(), 58u);
}

TEST(RecordingTest, RefusesDamagedFiles) {
  const std::vector<uint8_t> good = replay::Encode(Sample());
  struct Damage {
    const char* why;
    size_t at;
    int value;  // -1: cut the file here
  };
  const size_t events = 18;  // the event count's byte
  const Damage damages[] = {
      {"not a recording (bad magic)", 0, 'g'},   {"unsupported recording version", 8, 2},
      {"settings out of range", 11, 2},          {"settings out of range", 13, 4},
      {"truncated events", events, 100},         {"bad event kind", events + 2, 2},
      {"event after the end", events + 14, 0},   {"bad round winner", good.size() - 21, 3},
      {"truncated rounds", good.size() - 22, 3}, {"truncated header", 9, -1},
      {"bad event count", events, -1},           {"truncated round", good.size() - 1, -1},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> bytes = good;
    if (d.value < 0)
      bytes.resize(d.at);
    else
      bytes[d.at] = static_cast<uint8_t>(d.value);
    Recording r;
    std::string why;
    EXPECT_FALSE(replay::Decode(bytes.data(), bytes.size(), &r, &why)) << d.why;
    EXPECT_EQ(why, d.why) << "byte " << d.at;
  }
  // A round count past the bound is refused for that, before the bytes it would need are looked
  // for.
  std::vector<uint8_t> rounds = good;
  rounds.resize(good.size() - 22);                  // up to the round count
  rounds.insert(rounds.end(), {0x81, 0x80, 0x40});  // (1 << 20) + 1
  Recording r;
  std::string why;
  EXPECT_FALSE(replay::Decode(rounds.data(), rounds.size(), &r, &why));
  EXPECT_EQ(why, "bad round count");
  why.clear();
  EXPECT_FALSE(replay::ReadRecordingFile("no-such-dir/a.grec", &r, &why));
  EXPECT_EQ(why, "cannot be opened");
  EXPECT_FALSE(replay::ReadRecordingFile(testing::TempDir(), &r, &why));  // a directory
  EXPECT_EQ(why, "not a regular file");
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(replay::Decode(longer.data(), longer.size(), &r, &why));
  EXPECT_EQ(why, "extra bytes after the recording");
}

// Files that are no recording are refused without waiting on them or reading them whole: a pipe
// nobody writes into, a file far larger than any session (sparse: it takes no room on disk).
TEST(RecordingTest, RefusesPipesAndHugeFilesWithoutReadingThem) {
  const std::filesystem::path dir =
      testing::TempDir() + "recording-test-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string pipe = (dir / "pipe").string(), huge = (dir / "huge.grec").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  Recording r;
  std::string why;
  EXPECT_FALSE(replay::ReadRecordingFile(pipe, &r, &why));
  EXPECT_EQ(why, "not a regular file");
  std::vector<uint8_t> bytes = replay::Encode(Sample());
  FILE* file = std::fopen(huge.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fclose(file), 0);
  std::filesystem::resize_file(huge, uint64_t{200} << 20);
  EXPECT_FALSE(replay::ReadRecordingFile(huge, &r, &why));
  EXPECT_EQ(why, "too large for a recording");
  // The same start without the tail reads back.
  std::filesystem::resize_file(huge, bytes.size());
  EXPECT_TRUE(replay::ReadRecordingFile(huge, &r, &why)) << why;
  std::filesystem::remove_all(dir);
}

}  // namespace
