// What runs beside the game's loops in one session: the recorder, the player of a recording and the
// computer at the keys, all through the pump's and the match's hooks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/recording.h"

struct Match;
struct MatchSnapshot;

namespace replay {

// A fingerprint of everything the match's future depends on: both craft, the item, the bullets,
// the debris, the frame parity and the random generator's state (FNV-1a over their values).
uint64_t MatchHash(const struct Match& match);
// The same fingerprint of a match kept in a snapshot.
uint64_t SnapshotHash(const MatchSnapshot& snapshot);
// 0 or 1 when only that player's craft is left, 2 for a draw.
uint8_t RoundWinner(const struct Match& match);

// What the session has played so far.
struct Tally {
  uint64_t frames = 0;  // frames of play in all
  uint32_t roundFrames = 0;
  uint64_t lastPlayedWait = 0;
  std::vector<RoundResult> rounds;
};
const Tally& SessionTally();

// Called at the end of every round with its result, after the recorder and the player of a
// recording have seen it (the arena counts with it).
extern void (*RoundResultHook)(const RoundResult& round);

// Installs the hooks and empties the tally: every session calls it once before WinMain.
void BeginSession();
// Records the session into `path`, written when the process ends (or on SIGTERM, which ends the
// session at its next wait). The file is opened at once: false, with the reason in `why`, when it
// cannot be written or is not a regular file; nothing is recorded then.
bool StartRecording(const std::string& path, std::string* why = nullptr);
// Adds a key message that the game received outside the pump (the network's keys, dispatched at
// the start of wait `wait`), so that a replay dispatches it there too; the key messages of a wait
// that is past go in after those already there.
void RecordKey(uint64_t wait, bool down, uint8_t key);
// The seed a recording gives for the random generator's state at start-up (a game over the
// network takes the host's state before its first match).
void SetRecordedSeed(uint32_t seed);
// Writes what has been recorded so far into `path` without ending the recording.
bool WriteRecordingNow(const std::string& path);
// Ends the recording and writes it (a recording started with an empty path is kept in memory
// only); false (after one stderr line) when the file cannot be
// written.
bool FinishRecording();
// Plays `recording` back: its seed and settings (in a scratch settings file, so that the player's
// own stay untouched), its key messages at their waits, the keyboard's ignored. When the recording
// ends, or the game ends or a round's hash differs, one line goes to stdout and the process ends:
// 0 when every round's hash was the recorded one, 1 on a desync.
void StartReplay(const Recording& recording);

}  // namespace replay
