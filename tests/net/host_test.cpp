// A host inside the game's own process: where its title menu shows the network's line, and what it
// does with F1 and F2.
#include <gtest/gtest.h>

#include <vector>

#include "computer/player.h"
#include "net/session.h"
#include "support/game.h"

namespace {

// The session hooks the game's loops for the rest of the process: it is started once.
bool HostStarted() {
  static const bool started = [] {
    MessageHook = [](const MSG&) { return true; };
    net::Settings settings;
    settings.host = true;
    settings.upnp = false;
    return net::Start(settings);
  }();
  return started;
}

// The host plays player 1: F2 would have the computer fly player 2's craft from this side, seeing
// the match through the wrong craft, so only F1 reaches the computer.
TEST(NetHost, OnlyTheLocalPlayerCanBeHandedToTheComputer) {
  ASSERT_TRUE(HostStarted());
  computer::Reset();
  for (UINT message : {WM_KEYDOWN, WM_KEYUP})
    EXPECT_FALSE(MessageHook({nullptr, message, VK_F1 + 1}));
  const MSG f1{nullptr, WM_KEYDOWN, VK_F1, 1};
  ASSERT_TRUE(MessageHook(f1));
  computer::OnMessage(f1);
  EXPECT_TRUE(computer::Plays(0));
  EXPECT_FALSE(computer::Plays(1));
  computer::Reset();
}

// At both screen sizes, every pixel the waiting line changes on the title menu was empty sky: it
// covers neither the title, the menu, the credit line, the craft nor the ground.
TEST(NetHost, TheWaitingLineCoversNothingOnTheTitleMenu) {
  ASSERT_TRUE(HostStarted());
  for (const char* options : {"\0\0\0\0", "\0\0\1\0"}) {
    game::WorkDirectory work(false, options);
    std::vector<uint32_t> shown, bare;
    int width = 0, height = 0;
    game::Run([&] {
      if (TitleScene.frame != nullptr || TitleMenu.craftFrame == nullptr || !shown.empty()) return;
      const uint32_t* pixels = HeadlessControl::LastPresentedPixels(&width, &height);
      shown.assign(pixels, pixels + width * height);
      TitleMenu.DrawMenu();  // the same menu without the line
      pixels = HeadlessControl::LastPresentedPixels(&width, &height);
      bare.assign(pixels, pixels + width * height);
      HeadlessControl::KeyDown(VK_PAUSE);
    });
    game::Release();
    SCOPED_TRACE(width);
    ASSERT_EQ(shown.size(), size_t(ScreenWidth) * ScreenHeight);
    int changed = 0, covered = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] == bare[i]) continue;
      ++changed;
      if (bare[i] != bare[0]) ++covered;
    }
    EXPECT_GT(changed, 200 * ScreenWidth / 320);
    EXPECT_EQ(covered, 0);
  }
}

}  // namespace
