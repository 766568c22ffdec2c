// The network session inside the game's process: what it does with the keys a player presses.
#include <gtest/gtest.h>

#include "computer/player.h"
#include "net/session.h"
#include "shell/pacing.h"

namespace {

bool Dispatched(const MSG&) {
  return true;
}

MSG Key(UINT message, WPARAM key) {
  MSG msg{};
  msg.message = message;
  msg.wParam = key;
  msg.lParam = message == WM_KEYDOWN ? 1 : static_cast<LPARAM>(0xC0000001u);
  return msg;
}

// The host plays player 1: F2 would have the computer fly player 2's craft from this side, seeing
// the match through the wrong craft, so only F1 reaches the computer.
TEST(NetSession, OnlineOnlyTheLocalPlayerCanBeHandedToTheComputer) {
  computer::Reset();
  MessageHook = Dispatched;
  net::Settings settings;
  settings.host = true;
  settings.upnp = false;
  ASSERT_TRUE(net::Start(settings));
  for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
    const MSG f2 = Key(message, VK_F1 + 1);
    EXPECT_FALSE(MessageHook(f2));
  }
  const MSG f1 = Key(WM_KEYDOWN, VK_F1);
  ASSERT_TRUE(MessageHook(f1));
  computer::OnMessage(f1);
  EXPECT_TRUE(computer::Plays(0));
  EXPECT_FALSE(computer::Plays(1));
  computer::Reset();
}

}  // namespace
