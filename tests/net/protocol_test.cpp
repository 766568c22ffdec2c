// The messages' bytes, the lockstep schedule and the delay for a round trip.
#include "net/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/lockstep.h"

namespace {

using namespace net;

std::vector<uint8_t> Bytes(const Message& m) {
  uint8_t out[MaxPacket];
  return std::vector<uint8_t>(out, out + Encode(m, out));
}

TEST(NetProtocol, MessagesComeBackAsTheyWent) {
  Message hello;
  hello.kind = Kind::Hello;
  hello.protocol = 0x1234;
  std::strcpy(hello.version, "v1.2-3-gabc");
  Message inputs;
  inputs.kind = Kind::Inputs;
  inputs.tick = 0x01020304;
  inputs.wanted = 77;
  inputs.frame = 0x0A0B0C0D;
  inputs.match = 9;
  inputs.count = MaxWords;
  for (int i = 0; i < MaxWords; ++i) inputs.words[i] = static_cast<Word>(0x8001 + 3 * i);
  Message hash;
  hash.kind = Kind::Hash;
  hash.tick = 40;
  hash.hash = 0xFEDCBA9876543210ull;
  Message start;
  start.kind = Kind::Start;
  start.randomState = 0xDEADBEEF;
  start.delay = MaxDelay;
  start.match = 200;
  Message desync = hash;
  desync.kind = Kind::Desync;
  for (const Message& m : {hello, inputs, hash, start, desync}) {
    const std::vector<uint8_t> bytes = Bytes(m);
    Message back;
    ASSERT_TRUE(Decode(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(Bytes(back), bytes);
  }
  // Little-endian fields in order, after the kind byte.
  const std::vector<uint8_t> h = Bytes(hash);
  EXPECT_EQ(h,
            (std::vector<uint8_t>{7, 40, 0, 0, 0, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}));
  EXPECT_EQ(Bytes(hello).size(), 1u + 4 + 2 + 1 + 11);
}

TEST(NetProtocol, AnythingElseIsRefused) {
  Message inputs;
  inputs.kind = Kind::Inputs;
  inputs.count = 2;
  const std::vector<uint8_t> good = Bytes(inputs);
  struct Case {
    const char* why;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> extra = good, shorter = good, tooMany = good, far = good;
  extra.push_back(0);
  shorter.pop_back();
  tooMany[13] = MaxWords + 1;
  far[4] = 0x80;  // a frame number in the upper half of its range
  const Case cases[] = {
      {"empty", {}},
      {"unknown kind", {0}},
      {"kind past the last", {static_cast<uint8_t>(Kind::Desync) + 1, 0, 0, 0, 0}},
      {"extra byte", extra},
      {"missing byte", shorter},
      {"too many words", tooMany},
      {"frame too far", far},
      {"delay above", {static_cast<uint8_t>(Kind::Delay), MaxDelay + 1}},
      {"bad magic", {1, 'G', 'R', 'N', 'X', 1, 0, 0}},
      {"version past the end", {1, 'G', 'R', 'N', 'K', 1, 0, 2, 'a'}},
      {"version too long", std::vector<uint8_t>{1, 'G', 'R', 'N', 'K', 1, 0, VersionLength}},
      {"unprintable version", {1, 'G', 'R', 'N', 'K', 1, 0, 1, 0x7F}},
      {"longer than any message", std::vector<uint8_t>(MaxPacket + 1, 5)},
  };
  for (const Case& c : cases) {
    Message m;
    EXPECT_FALSE(Decode(c.bytes.data(), c.bytes.size(), &m)) << c.why;
  }
}

TEST(NetLockstep, WordsGoToFramePlusDelayAndGapsHoldTheKeys) {
  Lockstep a;
  a.Begin(2);
  ASSERT_TRUE(a.Schedule(0x0101));  // frame 2; frames 0 and 1 hold nothing
  a.Advance();
  a.SetDelay(4);
  ASSERT_TRUE(a.Schedule(0x0202));  // frame 5; frames 3 and 4 hold frame 2's keys, not pressed
  EXPECT_EQ(a.Local(0), 0);
  EXPECT_EQ(a.Local(2), 0x0101);
  EXPECT_EQ(a.Local(3), 0x01);
  EXPECT_EQ(a.Local(4), 0x01);
  EXPECT_EQ(a.Local(5), 0x0202);
  a.Advance();
  a.SetDelay(2);
  EXPECT_FALSE(a.Schedule(0x0404));  // frame 4 is taken: wait
  a.Advance();
  a.Advance();
  EXPECT_TRUE(a.Schedule(0x0404));  // frame 6
  Message m;
  a.FillInputs(&m);
  EXPECT_EQ(m.tick, 0u);
  EXPECT_EQ(m.count, 7);
  EXPECT_EQ(m.words[6], 0x0404);
}

TEST(NetLockstep, TheOtherSidesWordsArriveInAnyOrder) {
  Lockstep a, b;
  a.Begin(2);
  b.Begin(2);
  for (int i = 0; i < 3; ++i) {
    b.Schedule(static_cast<Word>(0x10 + i));
    b.Advance();
  }
  Message all;
  b.FillInputs(&all);  // frames 0..4
  ASSERT_EQ(all.count, 5);
  Message late = all, early = all;
  late.tick = 3, late.count = 2;
  std::memmove(late.words, all.words + 3, 4);
  early.count = 3;
  ASSERT_TRUE(a.Take(late));
  EXPECT_FALSE(a.RemoteKnown());
  ASSERT_TRUE(a.Take(early));
  EXPECT_TRUE(a.RemoteKnown());
  EXPECT_EQ(a.Remote(2), 0x10);
  EXPECT_EQ(a.Remote(4), 0x12);
  for (int i = 0; i < 4; ++i) a.Advance();
  EXPECT_TRUE(a.RemoteKnown());
  a.Advance();
  EXPECT_FALSE(a.RemoteKnown());  // frame 5 not had yet
  // What a well-behaved peer cannot send.
  Message wantsUnmade = early;
  wantsUnmade.wanted = 1;  // a has scheduled nothing
  EXPECT_FALSE(a.Take(wantsUnmade));
  Message tooFar = early;
  tooFar.tick = 5 + Lockstep::AheadLimit - 2;  // its last word 2 frames too far
  EXPECT_FALSE(a.Take(tooFar));
  tooFar.tick -= 1;
  EXPECT_TRUE(a.Take(tooFar));
}

TEST(NetLockstep, DelayFollowsTheRoundTrip) {
  // Lockstep (the result screen), and play, where guesses cover up to 8 frames.
  const struct {
    uint32_t ms;
    int lockstep, play;
  } rows[] = {{0, 1, 0},   {40, 1, 0},  {60, 2, 0},  {140, 2, 0},  {160, 3, 0},
              {300, 4, 0}, {640, 7, 0}, {700, 8, 1}, {1000, 8, 4}, {5000, 8, 8}};
  for (const auto& row : rows) {
    EXPECT_EQ(DelayFor(row.ms), row.lockstep) << row.ms;
    EXPECT_EQ(RollbackDelayFor(row.ms), row.play) << row.ms;
  }
}

}  // namespace
