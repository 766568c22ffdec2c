// The computer at the keys: for each player it plays, it thinks once per frame of play and posts
// that player's key messages into the message queue, as a keyboard would. In menus and on the
// result screen it presses nothing, except that when it plays both players it leaves the result
// screen with a fire key after two seconds. F1 and F2 step player 1 and 2 through off, easy,
// normal, hard and off again; each side keeps its level while the program runs. The half of the
// screen of a craft it flies says so, with the level ("CPU HARD").
#pragma once

#include <cstdint>

#include "computer/opponent.h"
#include "platform/win.h"

namespace computer {

constexpr DWORD ResultWait = 2000;  // milliseconds before two computers leave the result screen

// Lets the computer play (or stop playing) `player` at `level`; its thinking is seeded from `seed`
// and the player number. Keys it holds are let go when it stops.
void SetPlayer(int player, bool on, Level level, uint32_t seed);
bool Plays(int player);
Level LevelOf(int player);
// Lets go of every key and forgets every player (for a fresh start).
void Reset();

// Its parts of the game's loops.
void OnFramePlayed();
void OnRoundOver();
void OnWait();
void OnMessage(const MSG& msg);

}  // namespace computer
