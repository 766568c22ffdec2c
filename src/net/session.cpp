// The game over the network: ENet's host and peer, the handshake with its version check, the
// frames of the match through the pump's hooks (the other player's keys guessed and the frames
// run again when a guess was wrong; the result screen frame by frame in lockstep), the hash
// exchange, the lines on the title menu and the ways a match over the network ends.
#include "net/session.h"

#include <arpa/inet.h>
#include <enet/enet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "build_info.h"
#include "frontend/title.h"
#include "match/match.h"
#include "net/bridge.h"
#include "net/lockstep.h"
#include "net/store.h"
#include "net/upnp.h"
#include "overlay/overlay.h"
#include "replay/session.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"

namespace net {

namespace {

constexpr uint32_t FrameMs = 50;
constexpr uint32_t LossMs = 3000;          // no packet for this long: the connection is lost
constexpr uint32_t PeerTimeoutMs = 60000;  // ENet's own limit for an unacknowledged message
constexpr uint32_t AnswerMs = 5000;   // a host that does not answer, a peer that does not say Hello
constexpr uint32_t ResendMs = 20;     // a stalled machine sends its words again this often
constexpr uint32_t ShowEndMs = 2000;  // how long the line that ended a match stands
constexpr uint32_t TailMs = 1000;     // the last words of a match go out again for this long
constexpr int ResultFrames = 30;      // headless: frames on the result screen before fire
constexpr uint8_t ChannelControl = 0, ChannelInputs = 1;
constexpr uint32_t LeftData = 1;  // disconnection data: the other player quit
constexpr int KeyBits = 8;        // the seven keys of a player and Esc
// Esc, held or pressed, in a word.
constexpr Word EscBits = (1u << KeysPerPlayer) | (1u << (KeyBits + KeysPerPlayer));
// A word's Esc acts this many frames after the word's own frame: by then the other side has had
// the word (it runs at most this far ahead of the words it has), so both leave at the same frame
// and never after a guess.
constexpr uint32_t EscLag = MaxRollback;
constexpr uint32_t Frames = SnapshotRing::Size;  // frames kept to be run again
constexpr uint32_t SlowMsMax = 8;                // the most a frame of the side ahead is stretched

enum class State { Waiting, Connecting, Handshake, Connected, Playing, Offline };

struct Session {
  Settings settings;
  ENetHost* host = nullptr;
  ENetPeer* peer = nullptr;
  ENetAddress hostAddress{};   // to join
  uint32_t lastHeard = 0;      // when the other side was last heard from (ENet's clock)
  uint32_t handshakeFrom = 0;  // when the connection was made, to bound the versions' exchange
  uint32_t connectFrom = 0;    // when the joiner began to connect, to bound the wait for an answer
  uint32_t tailUntil = 0;      // after a match: its last words are sent again until then
  State state = State::Waiting;
  std::string version;
  char status[80] = {};
  bool statusChanged = true;
  uint64_t lastMenuWait = UINT64_MAX;
  bool leaving = false;  // a match ended by the network runs out fast into the title menu

  bool localReady = false, remoteReady = false;
  bool startPending = false;
  uint32_t startState = 0;
  uint8_t match = 0, startMatch = 0;  // the match being played or last played; the one to begin
  bool seedRecorded = false;
  int playDelay = 0;  // the input delay of play (the result screen's follows the round trip)

  Lockstep lock;
  bool keyDown[2 * KeysPerPlayer + 1] = {};  // the local keyboard's player keys and Esc
  uint8_t pressed = 0;                       // keys pressed since the last word was scheduled
  Word applied[2] = {};                      // each player's last word applied
  bool result = false;                       // on the result screen: each frame waits for both
  uint32_t roundSeen = 0;                    // Match.roundsSetUp when the round was last seen
  uint32_t remoteFrame = 0;                  // the frame the other side last said it was at
  uint32_t remoteFrameAt = 0;                // when that was heard (ENet's clock)

  // The frames that may be run again: the match before each (its snapshot and the keys held),
  // the other player's word it ran with (heard or guessed), its wait and whether a step followed.
  SnapshotRing snapshots;
  struct FrameKeys {
    uint8_t keys[2 * KeysPerPlayer + 1];
    Word applied[2];
    Word remote;
    uint64_t wait;
    bool stepped;
  } frames[Frames] = {};
  uint32_t checked = 0;   // frames below ran with the other player's words as they came
  uint32_t recorded = 0;  // frames below have their keys in the recording
  uint32_t hashed = 0;    // the last frame whose hash was sent
  Word recordedWord[2] = {};
  uint64_t stepsAfterTick = 0;
  uint64_t rollbacks = 0, framesRunAgain = 0, worstRollbackUs = 0;
  uint32_t mostRunAgain = 0;
  uint32_t lastTick = 0, lastSend = 0;
  uint64_t hashes[8][2] = {};  // per exchange: mine, theirs
  uint32_t hashTick[8][2] = {};
  bool hashHave[8][2] = {};

  uint64_t framesPlayed = 0;  // frames of play of this match
  uint64_t stalls = 0, ticks = 0, barrierWaits = 0;
  uint64_t systemBlocks = 0;  // ENet's blocks from the system's allocator when the match began
  uint32_t matchStart = 0;
  int resultCountdown = 0;
  int autoRelease = -1;  // headless: the key pressed for the player, let go at the next frame
  bool escapeSent = false;

  upnp::Forwarder router;                     // the home router's forwarding of the host's port
  upnp::State routerTold = upnp::State::Off;  // what the player was last told of it
  std::string lanAddress;                     // this machine's, for a port forwarded by hand
  std::string waitingLine;                    // the host's line while it waits for a player
  Bridge bridge;  // IPv6 players on the host; the host's IPv6 address on a joiner that has no IPv4

  void (*prevWait)(uint64_t) = nullptr;
  bool (*prevMessage)(const MSG&) = nullptr;
  void (*prevFrame)() = nullptr;
  void (*prevRoundOver)() = nullptr;
};

Session S;

int LocalPlayer() {
  return S.settings.host ? 0 : 1;
}

void SetStatus(const char* text) {
  std::snprintf(S.status, sizeof S.status, "%s", text);
  S.statusChanged = true;
}

// The joiner is on its own now: START plays a match on this machine alone, and its line says so.
void JoinerAlone(const char* line) {
  S.state = State::Offline;
  char menuLine[sizeof S.status];
  std::snprintf(menuLine, sizeof menuLine, "%s: START PLAYS HERE", line);
  SetStatus(menuLine);
}

// The network's line runs along the top edge, above the title, where it covers neither the menu
// nor the craft; a line too long for the width is drawn with narrower letters.
void DrawStatus() {
  constexpr int Height = 13, Room = OverlayWidth - 8;
  int width = 0;  // the face's own
  while (width != 1 &&
         Overlay.MeasureStyledText(S.status, Height, width, 800, 0, StyledFace, 128) > Room)
    width = width == 0 ? Height / 2 : width - 1;
  Overlay.DrawStyledText(-1, 1, OverlayWidth / 2, 0, S.status, Height, width, 800, 2, 0x00FFFF, 0,
                         StyledFace, 128, 0);
  PresentOverlay();
}

void Send(const Message& message, uint8_t channel, bool reliable) {
  if (S.peer == nullptr) return;
  uint8_t bytes[MaxPacket];
  const size_t size = Encode(message, bytes);
  ENetPacket* packet = enet_packet_create(
      bytes, size, reliable ? ENET_PACKET_FLAG_RELIABLE : ENET_PACKET_FLAG_UNSEQUENCED);
  if (packet != nullptr) enet_peer_send(S.peer, channel, packet);
}

void SendVersion(Kind kind) {
  Message m;
  m.kind = kind;
  m.protocol = ProtocolVersion;
  std::snprintf(m.version, sizeof m.version, "%s", S.version.c_str());
  Send(m, ChannelControl, true);
}

void SendInputs() {
  Message m;
  S.lock.FillInputs(&m);
  m.match = S.match;
  m.frame = S.lock.Now();
  if (m.count > 0 || m.wanted > 0) Send(m, ChannelInputs, false);
  enet_host_flush(S.host);
  S.lastSend = enet_time_get();
}

// A key message for the game, recorded as received in wait `wait` (the wait now begun, or the one
// just ended when the title menu's pass dispatches).
void Dispatch(bool down, uint8_t key, uint64_t wait = WaitCount) {
  MSG msg;
  msg.hwnd = MainWindow;
  msg.message = down ? WM_KEYDOWN : WM_KEYUP;
  msg.wParam = key;
  msg.lParam = down ? 1 : static_cast<LPARAM>(0xC0000001u);
  DispatchMessageA(&msg);
  replay::RecordKey(wait, down, key);
}

uint8_t KeyOfBit(int player, int bit) {
  return bit < KeysPerPlayer ? PlayerKey(player, bit) : static_cast<uint8_t>(VK_ESCAPE);
}

// A player's word for a frame acts as key messages would: a key pressed goes down (again), a key
// not held goes up if it was held or pressed. With `wait`, the messages go into the recording
// instead, at that wait, for a replay to dispatch.
void Apply(int player, Word word, Word* applied, const uint64_t* wait = nullptr) {
  for (int bit = 0; bit < KeyBits; ++bit) {
    const bool pressed = (word >> (KeyBits + bit)) & 1;
    const bool held = (word >> bit) & 1;
    const bool was = (*applied >> bit) & 1;
    const uint8_t key = KeyOfBit(player, bit);
    if (pressed) wait ? replay::RecordKey(*wait, true, key) : void(KeyState[key] = 1);
    if (!held && (pressed || was))
      wait ? replay::RecordKey(*wait, false, key) : void(KeyState[key] = 0);
  }
  *applied = word;
}

// The players' keys that a frame's step reads, and Esc.
uint8_t* HeldKey(int index) {
  return &KeyState[index < 2 * KeysPerPlayer ? KeyMap[index] : VK_ESCAPE];
}

Word LocalWord() {
  uint8_t held = 0;
  for (int bit = 0; bit < KeyBits; ++bit) {
    const bool down = bit < KeysPerPlayer ? S.keyDown[bit] || S.keyDown[KeysPerPlayer + bit]
                                          : S.keyDown[2 * KeysPerPlayer];
    held |= static_cast<uint8_t>(down << bit);
  }
  return static_cast<Word>(held | (S.pressed << KeyBits));
}

// Waits for `ms` of real time, keeping the window and the network answered.
void Linger(uint32_t ms);
void Service(uint32_t timeoutMs);

void PrintLine(const char* what) {
  if (!S.settings.headless) return;
  std::printf("net: %s: %" PRIu64 " frames of play, hash %016" PRIx64 ", delay %d, stalls %" PRIu64
              " in %" PRIu64 " frames, waits for both %" PRIu64 ", rollbacks %" PRIu64
              ", frames run again %" PRIu64 " most %u, worst rollback %" PRIu64
              " us, sent %u bytes in %u packets in %u ms,"
              " allocated %" PRIu64 " blocks\n",
              what, S.framesPlayed, replay::MatchHash(Match), S.playDelay, S.stalls, S.ticks,
              S.barrierWaits, S.rollbacks, S.framesRunAgain, S.mostRunAgain, S.worstRollbackUs,
              S.host ? S.host->totalSentData : 0, S.host ? S.host->totalSentPackets : 0,
              enet_time_get() - S.matchStart, SystemBlocks() - S.systemBlocks);
  std::fflush(stdout);
}

// Headless: what was last said to the other side reaches it before the process leaves (a second
// at most): a packet still queued would be lost with a disconnection sent at once.
void LeaveHeadless(int code) {
  if (S.peer != nullptr) {
    enet_peer_disconnect_later(S.peer, LeftData);
    S.peer = nullptr;
    const uint32_t from = enet_time_get();
    ENetEvent event;
    while (enet_time_get() - from < TailMs && enet_host_service(S.host, &event, 1) >= 0) {
      if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
      if (event.type == ENET_EVENT_TYPE_DISCONNECT) break;
    }
  }
  ExitProcess(code);
}

// The match cannot go on (the connection is lost, the states differ): the line stands over the
// last picture, then the match runs out into the title menu on its own.
void EndMatch(const char* line, State next, int headlessCode) {
  const bool playing = S.state == State::Playing;
  S.state = next;
  SetStatus(line);
  if (next == State::Offline && !S.settings.host) JoinerAlone(line);
  if (!playing) {
    // Headless, there is nobody to play alone: a side that lost the other before its first match
    // leaves with its code (after a match it leaves on its own).
    if (S.settings.headless && next == State::Offline && S.match == 0) {
      PrintLine(line);
      LeaveHeadless(headlessCode);
    }
    return;
  }
  Overlay.Clear();
  Overlay.DrawStyledText(-1, -1, 160, 120, line, 30, 0, 800, 3, 0xFFFFFF, 0, StyledFace, 128, 0);
  PresentOverlay();
  if (S.settings.headless) {
    PrintLine(line);
    LeaveHeadless(headlessCode);
  }
  Linger(ShowEndMs);
  // Esc leaves at the first frame of play; fire leaves the result screen; the intro runs fast.
  Dispatch(true, VK_ESCAPE);
  Dispatch(true, PlayerKey(0, RoleFire));
  WaitEnabled = 0;
  S.leaving = true;
}

void Lose(const char* line) {
  if (S.peer != nullptr) enet_peer_reset(S.peer);
  S.peer = nullptr;
  std::fprintf(stderr, "gronka: %s\n", line);
  EndMatch(line, State::Offline, 3);
}

// The states differ: this side's recording goes beside the program for the bug report, and the
// match ends here (the other side ends it on its own comparison or on being told).
void Desynced(uint32_t tick) {
  char path[512];
  std::snprintf(path, sizeof path, "%s/gronka-desync-%s-%ld.grec", S.settings.reportDir.c_str(),
                S.settings.host ? "host" : "join", static_cast<long>(std::time(nullptr)));
  if (replay::WriteRecordingNow(path))
    std::fprintf(stderr, "gronka: desync at frame %u: this side's recording is %s\n", tick, path);
  EndMatch("DESYNC", State::Connected, 1);
}

void CompareHashes(int slot) {
  if (!S.hashHave[slot][0] || !S.hashHave[slot][1]) return;
  if (S.hashTick[slot][0] != S.hashTick[slot][1]) return;
  S.hashHave[slot][0] = S.hashHave[slot][1] = false;
  if (S.hashes[slot][0] == S.hashes[slot][1]) return;
  Message m;
  m.kind = Kind::Desync;
  m.tick = S.hashTick[slot][0];
  Send(m, ChannelControl, true);
  Desynced(m.tick);
}

void Hostile() {
  std::fprintf(stderr, "gronka: a malformed packet came from the other player\n");
  if (S.peer != nullptr) enet_peer_disconnect_now(S.peer, 0);
  S.peer = nullptr;
  if (S.state == State::Handshake && S.settings.host) {
    S.state = State::Waiting;
    return;
  }
  EndMatch("CONNECTION LOST", State::Offline, 3);
}

void Refused(const Message& theirs) {
  char line[160];
  std::snprintf(line, sizeof line,
                "the other player runs version %s (protocol %u), this is %s (protocol %u): refused",
                theirs.version, theirs.protocol, S.version.c_str(), ProtocolVersion);
  std::fprintf(stderr, "gronka: %s\n", line);
  SetStatus("REFUSED: THE OTHER GAME IS ANOTHER VERSION");
}

void Handle(const Message& m) {
  const bool same = m.protocol == ProtocolVersion && S.version == m.version;
  switch (m.kind) {
    case Kind::Hello:
      if (!S.settings.host || S.state != State::Handshake) return;
      if (!same) {
        Refused(m);
        SendVersion(Kind::Refuse);
        enet_peer_disconnect_later(S.peer, 0);
        S.peer = nullptr;
        S.state = State::Waiting;
        enet_host_flush(S.host);
        if (S.settings.headless) ExitProcess(4);
        return;
      }
      SendVersion(Kind::Welcome);
      S.state = State::Connected;
      S.localReady = S.remoteReady = true;
      SetStatus("CONNECTED");
      return;
    case Kind::Welcome:
      if (S.settings.host || S.state != State::Handshake) return;
      S.state = State::Connected;
      SetStatus("CONNECTED");
      return;
    case Kind::Refuse:
      if (S.settings.host || S.state != State::Handshake) return;
      Refused(m);
      enet_peer_disconnect(S.peer, 0);
      S.peer = nullptr;
      JoinerAlone("REFUSED: THE OTHER GAME IS ANOTHER VERSION");
      if (S.settings.headless) ExitProcess(4);
      return;
    case Kind::Ready:
      if (S.settings.host && S.state == State::Connected) S.remoteReady = true;
      return;
    case Kind::Start:
      if (S.settings.host || S.state != State::Connected) return;
      S.startPending = true;
      S.startState = m.randomState;
      S.startMatch = m.match;
      return;
    case Kind::Inputs:
      // Words of an earlier match may still arrive after the next one began: they are old, not
      // hostile. The other side sends the ones still wanted again.
      if (m.match != S.match) return;
      if ((S.state == State::Playing || S.state == State::Connected) && !S.lock.Take(m)) {
        Hostile();
        return;
      }
      if (m.frame >= S.remoteFrame) {
        S.remoteFrame = m.frame;
        S.remoteFrameAt = enet_time_get();
      }
      return;
    case Kind::Hash: {
      if (S.state != State::Playing) return;
      const int slot = static_cast<int>(m.tick / HashInterval % 8);
      S.hashes[slot][1] = m.hash;
      S.hashTick[slot][1] = m.tick;
      S.hashHave[slot][1] = true;
      CompareHashes(slot);
      return;
    }
    case Kind::Delay:  // no longer sent: each side chooses its own delay
      return;
    case Kind::Desync:
      if (S.state == State::Playing) Desynced(m.tick);
      return;
  }
}

// The host was not there, or never let the joiner in.
void NoAnswer() {
  std::fprintf(stderr, "gronka: no answer from %s\n", S.settings.address.c_str());
  JoinerAlone("NO ANSWER FROM THE HOST");
  if (S.settings.headless) ExitProcess(3);
}

void Service(uint32_t timeoutMs) {
  ENetEvent event;
  while (S.host != nullptr && enet_host_service(S.host, &event, timeoutMs) > 0) {
    timeoutMs = 0;
    switch (event.type) {
      case ENET_EVENT_TYPE_CONNECT:
        if (S.settings.host && S.peer != nullptr && event.peer != S.peer) {
          enet_peer_disconnect_now(event.peer, 0);  // one opponent at a time
          break;
        }
        S.peer = event.peer;
        S.lastHeard = enet_time_get();
        // ENet would end the connection when one reliable message stays unacknowledged for a
        // while, which a lossy line or a side stopped for a few seconds causes even while the
        // other side is still heard (and before the words waiting in the socket, a goodbye among
        // them, are read). Silence decides instead: no packet at all for LossMs (below).
        enet_peer_timeout(S.peer, 0, PeerTimeoutMs, PeerTimeoutMs);
        S.state = State::Handshake;
        S.handshakeFrom = enet_time_get();
        if (!S.settings.host) SendVersion(Kind::Hello);
        break;
      case ENET_EVENT_TYPE_RECEIVE: {
        Message m;
        const bool ours = event.peer == S.peer;
        const bool ok = ours && Decode(event.packet->data, event.packet->dataLength, &m);
        enet_packet_destroy(event.packet);
        if (!ours) break;
        S.lastHeard = enet_time_get();
        if (!ok) {
          Hostile();
          return;
        }
        Handle(m);
        break;
      }
      case ENET_EVENT_TYPE_DISCONNECT:
        if (event.peer != S.peer) break;
        S.peer = nullptr;
        if (S.state == State::Connecting) {
          NoAnswer();
        } else if (S.state != State::Offline) {
          Lose(event.data == LeftData ? "THE OTHER PLAYER LEFT" : "CONNECTION LOST");
          if (S.settings.host && S.state == State::Offline) {
            S.state = State::Waiting;  // the host waits for the next player, and says so
            SetStatus(S.waitingLine.c_str());
          }
        }
        return;
      case ENET_EVENT_TYPE_NONE:
        break;
    }
  }
  if (S.state == State::Connecting && S.peer != nullptr &&
      enet_time_get() - S.connectFrom > AnswerMs) {
    enet_peer_reset(S.peer);
    S.peer = nullptr;
    NoAnswer();
    return;
  }
  if (S.peer == nullptr || S.state == State::Connecting) return;
  // The versions are exchanged at once: a side that connected and said nothing within AnswerMs
  // (ENet's pings answer for it) is given up on, and a host frees its place for a real joiner.
  if (S.state == State::Handshake && enet_time_get() - S.handshakeFrom > AnswerMs) {
    enet_peer_disconnect_now(S.peer, 0);
    S.peer = nullptr;
    if (S.settings.host) {
      std::fprintf(stderr, "gronka: a player connected and never said hello: dropped\n");
      S.state = State::Waiting;
      SetStatus(S.waitingLine.c_str());
    } else {
      std::fprintf(stderr, "gronka: %s accepted and never answered\n", S.settings.address.c_str());
      JoinerAlone("NO ANSWER FROM THE HOST");
      if (S.settings.headless) ExitProcess(3);
    }
    return;
  }
  // ENet's own time of the last acknowledgement counts too: its pings keep an idle line alive.
  uint32_t heard = S.lastHeard;
  if (S.peer->lastReceiveTime != 0 && static_cast<int32_t>(S.peer->lastReceiveTime - heard) > 0)
    heard = S.peer->lastReceiveTime;
  if (enet_time_get() - heard > LossMs) Lose("CONNECTION LOST");
}

void Linger(uint32_t ms) {
  const uint32_t from = enet_time_get();
  while (enet_time_get() - from < ms) {
    Service(1);
    if (!PumpMessages()) ExitProcess(1);
  }
}

int ChoosePlayDelay() {
  if (S.settings.inputDelay >= 0) return S.settings.inputDelay;
  return RollbackDelayFor(S.peer != nullptr ? S.peer->roundTripTime : 0);
}

void BeginMatch(uint8_t match) {
  S.match = match;
  // START on the title menu: the cursor is taken there from wherever it stands, then selected.
  const uint64_t wait = WaitCount - 1;
  if (TitleMenu.cursor == 1) Dispatch(true, PlayerKey(0, RoleUp), wait);
  if (TitleMenu.cursor == 2) Dispatch(true, PlayerKey(0, RoleDown), wait);
  Dispatch(true, PlayerKey(0, RoleFire), wait);
  S.state = State::Playing;
  S.playDelay = ChoosePlayDelay();
  S.lock.Begin(S.playDelay);
  S.localReady = S.remoteReady = S.startPending = false;
  S.pressed = 0;
  std::memset(S.keyDown, 0, sizeof S.keyDown);
  S.autoRelease = -1;
  S.applied[0] = S.applied[1] = S.recordedWord[0] = S.recordedWord[1] = 0;
  S.result = false;
  S.roundSeen = Match.roundsSetUp;
  S.remoteFrame = S.remoteFrameAt = 0;
  S.snapshots.Clear();
  S.checked = S.recorded = S.hashed = 0;
  S.stepsAfterTick = StepsRun;
  S.rollbacks = S.framesRunAgain = S.worstRollbackUs = 0;
  S.mostRunAgain = 0;
  S.framesPlayed = S.stalls = S.ticks = S.barrierWaits = 0;
  S.systemBlocks = SystemBlocks();
  S.escapeSent = false;
  S.resultCountdown = 0;
  if (S.settings.headless) {
    std::printf("net: the match begins\n");
    std::fflush(stdout);
  }
  std::memset(S.hashHave, 0, sizeof S.hashHave);
  S.matchStart = S.lastTick = S.lastSend = enet_time_get();
  if (S.host != nullptr) S.host->totalSentData = S.host->totalSentPackets = 0;
}

// The other player's word for a frame whose word has not come: the keys last heard, still held,
// nothing newly pressed (in the test mode, the steering and fire keys the other way round).
Word Guess() {
  const uint32_t next = S.lock.RemoteNext();
  const Word last = next > 0 ? S.lock.Remote(next - 1) & 0xFF : 0;
  return S.settings.mispredict ? last ^ 0x1F : last;
}

// Both players' words for a frame set the keys its step reads; Esc comes from the words of
// EscLag frames before. The other player's word is the one heard, else the guess.
void ApplyWords(uint32_t frame) {
  const int me = LocalPlayer();
  const bool heard = frame < S.lock.RemoteNext();
  const Word remote = heard ? S.lock.Remote(frame) : Guess();
  S.frames[frame % Frames].remote = remote & ~EscBits;
  for (int p = 0; p < 2; ++p) {
    const Word word = p == me ? S.lock.Local(frame) : remote;
    const Word lagged = frame < EscLag ? 0
                        : p == me      ? S.lock.Local(frame - EscLag)
                                       : S.lock.Remote(frame - EscLag);
    Apply(p, static_cast<Word>((word & ~EscBits) | (lagged & EscBits)), &S.applied[p]);
  }
}

// The same keys, once both words of the frame are sure, into the recording at the frame's wait.
void RecordWords(uint32_t frame) {
  for (int p = 0; p < 2; ++p) {
    const bool mine = p == LocalPlayer();
    const Word word = mine ? S.lock.Local(frame) : S.lock.Remote(frame);
    const Word lagged = frame < EscLag ? 0
                        : mine         ? S.lock.Local(frame - EscLag)
                                       : S.lock.Remote(frame - EscLag);
    Apply(p, static_cast<Word>((word & ~EscBits) | (lagged & EscBits)), &S.recordedWord[p],
          &S.frames[frame % Frames].wait);
  }
}

// The start of a frame, the first time or again: the match before it is kept, then (tests) the
// fault of a desync, then the keys.
void StartFrame(uint32_t frame, bool again) {
  Session::FrameKeys& keep = S.frames[frame % Frames];
  if (again) {
    S.snapshots.Restore(frame);
    for (int i = 0; i <= 2 * KeysPerPlayer; ++i) *HeldKey(i) = keep.keys[i];
    S.applied[0] = keep.applied[0];
    S.applied[1] = keep.applied[1];
  } else {
    S.snapshots.Save(frame);
    for (int i = 0; i <= 2 * KeysPerPlayer; ++i) keep.keys[i] = *HeldKey(i);
    keep.applied[0] = S.applied[0];
    keep.applied[1] = S.applied[1];
  }
  // (tests) A fault of the game, as a desync would come from one.
  if (S.settings.desyncAt != 0 && frame == S.settings.desyncAt) Match.x[LocalPlayer()] += 1.0f;
  ApplyWords(frame);
}

// The other player's words that came since: when one differs from the guess its frame ran with,
// the match goes back to that frame and the frames up to now run again, silent.
void RollBack(uint32_t now) {
  const uint32_t known = std::min(S.lock.RemoteNext(), now);
  uint32_t wrong = S.checked;
  while (wrong < known && (S.lock.Remote(wrong) & ~EscBits) == S.frames[wrong % Frames].remote)
    ++wrong;
  S.checked = std::max(S.checked, known);
  if (wrong >= known) return;
  const auto from = std::chrono::steady_clock::now();
  for (uint32_t frame = wrong; frame < now; ++frame) {
    StartFrame(frame, frame == wrong);
    if (S.frames[frame % Frames].stepped) Match.Step();
  }
  Match.soundCount = 0;  // the sounds of frames shown before were heard then
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - from)
          .count();
  ++S.rollbacks;
  S.framesRunAgain += now - wrong;
  S.mostRunAgain = std::max(S.mostRunAgain, now - wrong);
  S.worstRollbackUs = std::max<uint64_t>(S.worstRollbackUs, static_cast<uint64_t>(us));
}

// The frame may not run on a guess: it ends the round or leaves the match (a structural change
// that cannot be run again), so every word before it and its own must have come.
bool MustBeSure(uint32_t frame) {
  if (S.result || KeyState[VK_ESCAPE]) return true;
  for (int p = 0; p < 2; ++p)
    if (Match.life[p] == 0 && Match.deathTimer[p] >= 50) return true;
  if (frame < EscLag) return false;
  if (S.lock.Local(frame - EscLag) & EscBits) return true;
  return frame - EscLag >= S.lock.RemoteNext() || (S.lock.Remote(frame - EscLag) & EscBits) != 0;
}

// Frames whose words are all sure go into the recording; their hashes (of the match at their
// start) go to the other side.
void Confirm(uint32_t now) {
  const uint32_t next = S.lock.RemoteNext();
  for (; S.recorded < std::min(next, now + 1); ++S.recorded) RecordWords(S.recorded);
  for (uint32_t h = (S.hashed / HashInterval + 1) * HashInterval; h <= std::min(next, now);
       h += HashInterval) {
    S.hashed = h;
    const MatchSnapshot* snapshot = S.snapshots.Get(h);
    if (snapshot == nullptr) continue;
    const int slot = static_cast<int>(h / HashInterval % 8);
    S.hashes[slot][0] = replay::SnapshotHash(*snapshot);
    S.hashTick[slot][0] = h;
    S.hashHave[slot][0] = true;
    Message m;
    m.kind = Kind::Hash;
    m.tick = h;
    m.hash = S.hashes[slot][0];
    Send(m, ChannelControl, true);
    CompareHashes(slot);
    if (S.state != State::Playing) return;
  }
}

// How long this frame lasts: 50 ms, and a few more while this side is ahead of the other.
uint32_t FrameLength(uint32_t frame) {
  if (S.peer == nullptr || S.remoteFrameAt == 0) return FrameMs;
  const int64_t theirs = int64_t{S.remoteFrame} * FrameMs + S.peer->roundTripTime / 2 +
                         (enet_time_get() - S.remoteFrameAt);
  const int64_t ahead = int64_t{frame} * FrameMs - theirs;
  if (ahead <= static_cast<int64_t>(FrameMs / 2)) return FrameMs;
  return FrameMs + static_cast<uint32_t>(std::min<int64_t>(ahead / 8, SlowMsMax));
}

// One frame of the match, at the start of its wait: the local keys go out; the other player's
// that came are checked against the guesses (and the frames since run again when one was
// wrong); the frame waits only when the other side is too far behind or it may not be guessed;
// then both players' keys are set for the step that follows.
void Tick() {
  const uint32_t frame = S.lock.Now();
  if (frame > 0) S.frames[(frame - 1) % Frames].stepped = StepsRun != S.stepsAfterTick;
  if (Match.roundsSetUp != S.roundSeen) {
    // A new round: its frames are guessed again.
    S.roundSeen = Match.roundsSetUp;
    S.result = false;
    S.lock.SetDelay(S.playDelay);
  }
  if (!S.settings.headless || S.settings.realTime) {
    const uint32_t length = FrameLength(frame);
    while (enet_time_get() - S.lastTick < length) {
      Service(1);
      if (S.state != State::Playing) return;
      if (!PumpMessages()) ExitProcess(1);
    }
  }
  S.lastTick = enet_time_get();
  if (S.settings.headless && S.settings.frames > 0 && S.framesPlayed >= S.settings.frames &&
      !S.escapeSent) {
    S.keyDown[2 * KeysPerPlayer] = true;
    S.pressed |= 1u << KeysPerPlayer;
    S.escapeSent = true;
  }
  if (S.autoRelease >= 0) S.keyDown[S.autoRelease] = false;
  S.autoRelease = -1;
  if (S.resultCountdown > 0 && --S.resultCountdown == 0) {
    S.keyDown[RoleFire] = true;
    S.pressed |= 1u << RoleFire;
    S.autoRelease = RoleFire;
  }
  if (S.lock.Schedule(LocalWord())) S.pressed = 0;
  SendInputs();
  bool stalled = false, sure = false;
  for (;;) {
    RollBack(frame);
    const uint32_t next = S.lock.RemoteNext();
    sure = MustBeSure(frame);
    if (sure ? next > frame : next + MaxRollback > frame) break;
    stalled = true;
    Service(1);
    if (S.state != State::Playing) return;
    if (!PumpMessages()) ExitProcess(1);
    if (enet_time_get() - S.lastSend >= ResendMs) SendInputs();
  }
  // Waits for both at the result screen and at the frames that end a round or the match are
  // counted apart from the stalls of play.
  (sure ? S.barrierWaits : S.stalls) += stalled;
  ++S.ticks;
  S.frames[frame % Frames].wait = WaitCount;
  if (frame == 0) {
    // The match starts from no key held, whatever the title menu left.
    for (int p = 0; p < 2; ++p)
      for (int bit = 0; bit < KeyBits; ++bit)
        if (KeyState[KeyOfBit(p, bit)]) Dispatch(false, KeyOfBit(p, bit));
  }
  StartFrame(frame, false);
  Confirm(frame);
  S.stepsAfterTick = StepsRun;
  S.lock.Advance();
}

// Tells the player, once, what the router answered: the address a friend elsewhere joins, or that
// the port must be forwarded by hand.
void TellRouter() {
  const upnp::State now = S.router.Now();
  if (now == S.routerTold || now == upnp::State::Asking) return;
  S.routerTold = now;
  const unsigned port = S.settings.port;
  char line[64];
  if (now == upnp::State::Forwarded) {
    const std::string external = S.router.External();
    std::snprintf(line, sizeof line, "WAITING ON %s PORT %u", external.c_str(), port);
    S.waitingLine = line;
    if (S.settings.headless)
      std::printf("net: the router forwards %s port %u\n", external.c_str(), port);
  } else if (now == upnp::State::NoRouter) {
    std::snprintf(line, sizeof line, "NO UPNP: FORWARD UDP %u TO %s", port, S.lanAddress.c_str());
    std::fprintf(S.settings.headless ? stdout : stderr,
                 "%s: no port forwarding: %s; forward UDP port %u to %s by hand\n",
                 S.settings.headless ? "net" : "gronka", S.router.Why().c_str(), port,
                 S.lanAddress.c_str());
  } else {
    return;
  }
  std::fflush(stdout);
  if (S.state == State::Waiting) SetStatus(line);
}

void OnWait(uint64_t wait) {
  if (S.prevWait) S.prevWait(wait);
  if (S.settings.host && S.settings.upnp) TellRouter();
  // Nothing is answered while the models load, which takes longer than the other side waits for
  // an answer: the connection begins with the opening scene.
  if (TitleScene.frame == nullptr && S.lastMenuWait == UINT64_MAX) return;
  if (S.state == State::Connecting && S.peer == nullptr) {
    S.peer = enet_host_connect(S.host, &S.hostAddress, 2, 0);
    if (S.peer == nullptr) {
      JoinerAlone("THE HOST CANNOT BE REACHED");
      return;
    }
    // A host that is not there is given up on after AnswerMs (below), not ENet's half a minute.
    S.connectFrom = enet_time_get();
  }
  // Headless, the title menu does not wait at all: a millisecond here keeps it from spinning.
  Service(S.settings.headless && S.state != State::Playing ? 1 : 0);
  // The other side may still need the last words sent before the match ended here.
  if (S.state == State::Connected && static_cast<int32_t>(S.tailUntil - enet_time_get()) > 0 &&
      enet_time_get() - S.lastSend >= ResendMs)
    SendInputs();
  if (S.state != State::Playing) return;
  if (Match.groundFrame == nullptr) {
    // Esc has taken both machines out of the match at the same frame. This wait is the title
    // menu's already: START pressed during it asks the other side too.
    S.state = State::Connected;
    S.lastMenuWait = wait;
    SetStatus("CONNECTED: START AGAIN");
    PrintLine("ended");
    S.tailUntil = enet_time_get() + TailMs;
    if (S.settings.headless) {
      while (S.peer != nullptr && static_cast<int32_t>(S.tailUntil - enet_time_get()) > 0) {
        Service(1);
        if (enet_time_get() - S.lastSend >= ResendMs) SendInputs();
      }
      ExitProcess(0);
    }
    return;
  }
  Tick();
}

bool IsPlayerKey(WPARAM key, int* index) {
  for (int i = 0; i < 2 * KeysPerPlayer; ++i)
    if (KeyMap[i] == key) {
      *index = i;
      return true;
    }
  *index = 2 * KeysPerPlayer;
  return key == VK_ESCAPE;
}

bool OnMessage(const MSG& msg) {
  const bool down = msg.message == WM_KEYDOWN;
  const bool online = S.state != State::Offline;
  // F1 and F2 hand a player to the computer; online only this side's own player can be handed, as
  // the computer at these keys sees the match from this side's craft.
  if ((down || msg.message == WM_KEYUP) && online && msg.wParam == VK_F1 + (1 - LocalPlayer()))
    return false;
  int index = 0;
  if ((down || msg.message == WM_KEYUP) && IsPlayerKey(msg.wParam, &index)) {
    if (S.state == State::Playing) {
      // The local player's keys, either key set, become the words sent; the game sees them only
      // when the frame they were sent for comes.
      S.keyDown[index] = down;
      const int bit = index == 2 * KeysPerPlayer ? KeysPerPlayer : index % KeysPerPlayer;
      if (down) S.pressed |= static_cast<uint8_t>(1u << bit);
      return false;
    }
    const bool inMenu = S.lastMenuWait + 1 == WaitCount;
    if (down && inMenu && online && TitleMenu.cursor == 0 && index < 2 * KeysPerPlayer &&
        index % KeysPerPlayer == RoleFire) {
      // START asks for a match; the host starts it when both want one.
      if (S.state == State::Connected) {
        S.localReady = true;
        if (!S.settings.host) {
          Message m;
          m.kind = Kind::Ready;
          Send(m, ChannelControl, true);
        }
        SetStatus("WAITING FOR THE OTHER PLAYER");
      }
      return false;
    }
  }
  return S.prevMessage ? S.prevMessage(msg) : true;
}

void OnFramePlayed() {
  if (S.state == State::Playing) ++S.framesPlayed;
  if (S.prevFrame) S.prevFrame();
}

void OnRoundOver() {
  if (S.prevRoundOver) S.prevRoundOver();
  if (S.state != State::Playing) return;
  if (S.settings.headless && S.settings.host) S.resultCountdown = ResultFrames;
  // The result screen goes frame by frame with both sides' words, at the delay of lockstep; the
  // next round's play at a delay that follows the round trip too.
  const uint32_t roundTrip = S.peer != nullptr ? S.peer->roundTripTime : 0;
  S.result = true;
  S.lock.SetDelay(std::max(DelayFor(roundTrip), S.playDelay));
  S.playDelay = ChoosePlayDelay();
}

void OnTitleMenu() {
  if (S.leaving) {
    S.leaving = false;
    WaitEnabled = 1;
  }
  const bool entering = S.lastMenuWait + 1 != WaitCount;
  S.lastMenuWait = WaitCount;
  if (S.statusChanged) {
    S.statusChanged = false;
    if (!entering) TitleMenu.DrawMenu();
    TitleMenu.cursor = 0;
    DrawStatus();
  } else if (entering) {
    DrawStatus();
  }
  if (S.state != State::Connected) return;
  if (S.settings.host && S.localReady && S.remoteReady) {
    Message m;
    m.kind = Kind::Start;
    m.randomState = RandomStateNow();
    m.delay = static_cast<uint8_t>(ChoosePlayDelay());  // each side chooses its own
    m.match = static_cast<uint8_t>(S.match + 1);
    Send(m, ChannelControl, true);
    enet_host_flush(S.host);
    BeginMatch(m.match);
  } else if (!S.settings.host && S.startPending) {
    SeedRandom(S.startState);
    if (!S.seedRecorded) replay::SetRecordedSeed(S.startState);
    S.seedRecorded = true;
    BeginMatch(S.startMatch);
  }
}

// No message of ours is longer than MaxPacket: a peer that sends more is refused before ENet
// gathers it, instead of making the host reassemble megabytes.
void LimitPackets() {
  S.host->maximumPacketSize = 4 * MaxPacket;
  S.host->maximumWaitingData = 64 * MaxPacket;
}

void Goodbye() {
  S.router.Stop();
  if (S.peer != nullptr) {
    enet_peer_disconnect_now(S.peer, LeftData);
    S.peer = nullptr;
  }
  if (S.host != nullptr) enet_host_flush(S.host);
  S.bridge.Stop();  // after the goodbye, which it passes on
}

std::string LocalAddress() {
  ifaddrs* list = nullptr;
  std::string found = "THIS MACHINE";
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN];
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) continue;
    if (std::strncmp(text, "127.", 4) == 0) continue;
    found = text;
    break;
  }
  freeifaddrs(list);
  return found;
}

// This machine's IPv6 address that a friend should join: a global one (2000::/3), else a unique
// local one (fc00::/7, reachable on this network only; `local` says so); empty when it has neither.
std::string Ipv6Address(bool* local) {
  ifaddrs* list = nullptr;
  std::string found;
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET6) continue;
    const in6_addr& in = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr)->sin6_addr;
    const bool global = (in.s6_addr[0] & 0xE0) == 0x20, unique = (in.s6_addr[0] & 0xFE) == 0xFC;
    if (!global && !(unique && found.empty())) continue;
    char text[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, &in, text, sizeof text) == nullptr) continue;
    found = text;
    *local = !global;
    if (global) break;
  }
  freeifaddrs(list);
  return found;
}

// The host listens on IPv6 too, where the system has it, and says where to join.
void ListenOnIpv6() {
  std::string why;
  if (!S.bridge.Listen(S.settings.port, &why)) {
    std::fprintf(stderr, "gronka: no IPv6 (%s): players join over IPv4 only\n", why.c_str());
    return;
  }
  bool local = false;
  const std::string address = Ipv6Address(&local);
  if (address.empty()) return;
  std::fprintf(S.settings.headless ? stdout : stderr,
               "%s: players with IPv6%s can join at [%s]:%u\n",
               S.settings.headless ? "net" : "gronka", local ? " on this network" : "",
               address.c_str(), S.settings.port);
  std::fflush(stdout);
}

// The host to join, from a name or an address: its IPv4 address when it has one, which ENet
// reaches directly; else its IPv6 address, through the bridge on the loopback address.
bool Resolve(ENetAddress* address) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(S.settings.address.c_str(), nullptr, &hints, &list) != 0) return false;
  const addrinfo* v6 = nullptr;
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      address->host = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      address->port = S.settings.port;
      freeaddrinfo(list);
      return true;
    }
    if (a->ai_family == AF_INET6 && v6 == nullptr) v6 = a;
  }
  sockaddr_in6 far{};
  if (v6 != nullptr) {
    far = *reinterpret_cast<const sockaddr_in6*>(v6->ai_addr);
    far.sin6_port = htons(S.settings.port);
  }
  freeaddrinfo(list);
  if (v6 == nullptr) return false;
  std::string why;
  if (!S.bridge.Connect(far, &why)) {
    std::fprintf(stderr, "gronka: %s: %s\n", S.settings.address.c_str(), why.c_str());
    return false;
  }
  address->host = htonl(INADDR_LOOPBACK);
  address->port = S.bridge.Port();
  return true;
}

}  // namespace

std::string GameVersion() {
  const char* pretend = std::getenv("GRONKA_NET_VERSION");
  std::string version = pretend != nullptr ? pretend : GameVersionText;
  if (version.size() >= VersionLength) version.resize(VersionLength - 1);
  return version;
}

bool Start(const Settings& settings) {
  S.settings = settings;
  S.version = GameVersion();
  // ENet's packets and commands come from a fixed store: a match allocates nothing per frame.
  const ENetCallbacks memory{StoreAlloc, StoreFree, nullptr};
  if (enet_initialize_with_callbacks(ENET_VERSION, &memory) != 0) {
    std::fprintf(stderr, "gronka: the network could not be started\n");
    return false;
  }
  ENetAddress address;
  address.host = ENET_HOST_ANY;
  address.port = settings.port;
  if (settings.host) {
    S.host = enet_host_create(&address, 1, 2, 0, 0);
    if (S.host == nullptr) {
      std::fprintf(stderr, "gronka: port %u could not be opened\n", settings.port);
      return false;
    }
    LimitPackets();
    ENetAddress bound;
    if (enet_socket_get_address(S.host->socket, &bound) == 0) S.settings.port = bound.port;
    S.lanAddress = LocalAddress();
    char line[64];
    std::snprintf(line, sizeof line, "WAITING ON %s PORT %u", S.lanAddress.c_str(),
                  S.settings.port);
    S.waitingLine = line;
    SetStatus(line);
    S.state = State::Waiting;
    if (settings.headless) {
      std::printf("net: waiting on port %u\n", S.settings.port);
      std::fflush(stdout);
    }
    ListenOnIpv6();
    if (settings.upnp) S.router.Start(S.settings.port);
  } else {
    S.host = enet_host_create(nullptr, 1, 2, 0, 0);
    if (S.host == nullptr || !Resolve(&address)) {
      std::fprintf(stderr, "gronka: %s could not be found\n", settings.address.c_str());
      return false;
    }
    LimitPackets();
    S.hostAddress = address;
    char line[80];
    std::snprintf(line, sizeof line, "CONNECTING TO %s PORT %u", settings.address.c_str(),
                  settings.port);
    for (char* c = line; *c; ++c) *c = static_cast<char>(std::toupper(*c));
    SetStatus(line);
    S.state = State::Connecting;
  }
  S.prevWait = WaitHook;
  S.prevMessage = MessageHook;
  S.prevFrame = FramePlayedHook;
  S.prevRoundOver = RoundOverHook;
  WaitHook = OnWait;
  MessageHook = OnMessage;
  FramePlayedHook = OnFramePlayed;
  RoundOverHook = OnRoundOver;
  TitleMenuHook = OnTitleMenu;
  std::atexit(Goodbye);
  return true;
}

}  // namespace net
