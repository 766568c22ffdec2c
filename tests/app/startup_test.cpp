// The program's start-up where it cannot go on: the window class is taken, or no 3-D device is
// offered. (Starts that succeed are played through by the golden and settings tests.)
#include "platform/d3drm.h"
#include "support/headless.h"

namespace {

class StartupTest : public HeadlessTest {};

TEST_F(StartupTest, AClassThatCannotBeRegisteredReturnsZeroAndNoDeviceMinusOne) {
  game::WorkDirectory work;
  const long objects = RefCounted::LiveObjectCount();
  char commandLine[] = "";
  SetOfferedDevices({});
  EXPECT_EQ(WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL), -1);
  EXPECT_NE(MainWindow, nullptr);
  EXPECT_EQ(Match.craftModel, nullptr) << "models loaded without a renderer";
  RestoreOfferedDevices();
  game::Release();
  EXPECT_EQ(RefCounted::LiveObjectCount(), objects);

  // The class is registered now, by the start above.
  MainWindow = nullptr;
  EXPECT_EQ(WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL), 0);
  EXPECT_EQ(MainWindow, nullptr);
}

}  // namespace
