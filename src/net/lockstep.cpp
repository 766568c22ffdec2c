// The lockstep schedule.
#include "net/lockstep.h"

#include <algorithm>

namespace net {

void Lockstep::Begin(int delay) {
  *this = Lockstep{};
  delay_ = delay;
}

bool Lockstep::Schedule(Word word) {
  const uint32_t target = now_ + static_cast<uint32_t>(delay_);
  if (target < localNext_) return false;
  const Word held = lastLocal_ & 0xFF;
  for (; localNext_ < target; ++localNext_) local_[localNext_ % Ring] = held;
  local_[target % Ring] = word;
  localNext_ = target + 1;
  lastLocal_ = word;
  return true;
}

void Lockstep::FillInputs(Message* m) const {
  m->kind = Kind::Inputs;
  const uint32_t oldest = localNext_ > Ring / 2 ? localNext_ - Ring / 2 : 0;
  const uint32_t first = std::max(peerWanted_, oldest);
  m->tick = first;
  m->wanted = remoteNext_;
  m->count = static_cast<uint8_t>(std::min<uint32_t>(MaxWords, localNext_ - first));
  for (int i = 0; i < m->count; ++i) m->words[i] = local_[(first + i) % Ring];
}

bool Lockstep::Take(const Message& m) {
  if (m.wanted > localNext_) return false;
  if (m.tick + m.count > now_ + AheadLimit) return false;
  peerWanted_ = std::max(peerWanted_, m.wanted);
  for (uint32_t i = 0; i < m.count; ++i) {
    const uint32_t frame = m.tick + i;
    if (frame < remoteNext_) continue;
    remote_[frame % Ring] = m.words[i];
    remoteTag_[frame % Ring] = frame + 1;
  }
  while (remoteTag_[remoteNext_ % Ring] == remoteNext_ + 1) ++remoteNext_;
  return true;
}

int DelayFor(uint32_t roundTripMs) {
  // Half the round trip plus 30 ms of variance, in whole frames (a word is sent as soon as its
  // keys are sampled).
  const int frames = static_cast<int>((roundTripMs / 2 + 30 + 49) / 50);
  return std::clamp(frames, 1, MaxDelay);
}

int RollbackDelayFor(uint32_t roundTripMs) {
  const int frames = static_cast<int>((roundTripMs / 2 + 30 + 49) / 50);
  return std::clamp(frames - static_cast<int>(MaxRollback) + 1, 0, MaxDelay);
}

}  // namespace net
