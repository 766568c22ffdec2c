// The lockstep schedule of one machine: which input word each player has for each frame. The local
// player's word sampled at frame f goes to frame f + delay; the other player's words come from the
// network. A frame may run only when both are known.
#pragma once

#include <cstdint>

#include "net/protocol.h"

namespace net {

class Lockstep {
 public:
  static constexpr uint32_t Ring = 256;       // frames of words kept on each side
  static constexpr uint32_t AheadLimit = 64;  // the other side's words may run this far ahead

  // Frame 0 of a match: nothing known yet; frames below `delay` hold no keys on either side.
  void Begin(int delay);
  void SetDelay(int delay) { delay_ = delay; }
  int Delay() const { return delay_; }
  uint32_t Now() const { return now_; }

  // The local word sampled at frame Now() goes to Now() + Delay(). A raised delay fills the frames
  // skipped with the keys still held (nothing newly pressed); after a lowered one the frame is
  // already taken: false, and the caller keeps gathering keys for a later frame.
  bool Schedule(Word word);
  // The words the other side still lacks, oldest first, at most MaxWords of them.
  void FillInputs(Message* message) const;
  // Takes the other side's words and what it still wants; false when they cannot come from a
  // well-behaved peer (words too far ahead, wanting words that were never scheduled).
  bool Take(const Message& inputs);

  bool RemoteKnown() const { return remoteNext_ > now_; }
  // The first frame whose remote word has not come; every frame before it has its word.
  uint32_t RemoteNext() const { return remoteNext_; }
  Word Local(uint32_t frame) const { return local_[frame % Ring]; }
  Word Remote(uint32_t frame) const { return remote_[frame % Ring]; }
  void Advance() { ++now_; }

 private:
  int delay_ = MinDelay;
  uint32_t now_ = 0;
  Word local_[Ring] = {};
  uint32_t localNext_ = 0;  // first frame without a local word
  Word lastLocal_ = 0;
  uint32_t peerWanted_ = 0;  // first local frame the other side has not had
  Word remote_[Ring] = {};
  uint32_t remoteTag_[Ring] = {};  // frame + 1 of the word held in each place, 0 for none
  uint32_t remoteNext_ = 0;        // first frame whose remote word is missing
};

// The input delay for a measured round trip when every frame waits for the other side's word (the
// result screen): the word sent at frame f must arrive before frame f + delay starts, with room
// for the variance: 1 frame on a LAN, at most MaxDelay.
int DelayFor(uint32_t roundTripMs);

// Frames a guess of the other player's keys may run ahead of what has come from them; the frames
// run again after a wrong guess are never more.
constexpr uint32_t MaxRollback = 8;

// The input delay of play, where the other player's keys are guessed: 0 while the other side's
// words come within the frames a guess may run ahead (the frames run again after a wrong guess
// cost well under a millisecond); past that, the frames the delay must make up.
int RollbackDelayFor(uint32_t roundTripMs);

}  // namespace net
