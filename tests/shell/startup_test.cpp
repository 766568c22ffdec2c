// The program's start-up, from the settings to the title menu, headless.
#include <filesystem>
#include <fstream>
#include <string>

#include "frontend/title.h"
#include "match/match.h"
#include "platform/d3drm.h"
#include "shell/app.h"
#include "shell/options.h"
#include "support/headless.h"

namespace fs = std::filesystem;

namespace {

// Runs in a directory of its own that holds the game's data and palette, like build/.
class StartupTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    baseline = RefCounted::LiveObjectCount();
    home = fs::current_path();
    char pattern[] = "/tmp/gronka-startup-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    const char* source = std::getenv("GRONKA_SOURCE_DIR");
    fs::path data = fs::path(source ? source : "..") / "data";
    fs::create_directory_symlink(data, dir / "data");
    fs::create_symlink(data / "pal.bmp", dir / "pal.bmp");
    fs::current_path(dir);
  }
  void TearDown() override {
    RestoreOfferedDevices();
    Renderer.RemoveFromScene(LightFrame);
    if (LightFrame) LightFrame->Release();
    if (SceneLight) SceneLight->Release();
    LightFrame = nullptr;
    SceneLight = nullptr;
    TitleMenu.ReleaseAll();
    fs::current_path(home);
    fs::remove_all(dir);
    EXPECT_EQ(RefCounted::LiveObjectCount(), baseline) << "references left behind";
    HeadlessTest::TearDown();
  }
  static void WriteOptions(const std::string& bytes) {
    std::ofstream("option.dat", std::ios::binary) << bytes;
  }
  // Starts the program; once the title menu stands, `onMenu` runs and a right click follows.
  // Returns WinMain's result, or the exit code as a negative number below -1000.
  static int Start(const std::function<void()>& onMenu = [] {}) {
    bool clicked = false;
    HeadlessControl::SetPumpHook([&] {
      if (clicked || TitleMenu.craftFrame == nullptr) return;
      clicked = true;
      onMenu();
      HeadlessControl::Post(WM_RBUTTONDOWN, 0);
    });
    char commandLine[] = "";
    int result = 0;
    std::optional<int> code =
        ExitCodeOf([&] { result = WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL); });
    HeadlessControl::SetPumpHook(nullptr);
    return code ? -1000 - *code : result;
  }
  long baseline = 0;
  fs::path home, dir;
};

TEST_F(StartupTest, WithoutOptionsAWindowOf320By240ReachesTheMenuAndAClickEndsIt) {
  RECT client{};
  int presents = 0;
  EXPECT_EQ(Start([&] {
              GetClientRect(MainWindow, &client);
              presents = HeadlessControl::PresentCount();
            }),
            -1001);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 240);
  // The loading lines, the opening scene's hundred frames and the menu were shown.
  EXPECT_GT(presents, 100);
  EXPECT_NE(Match.craftModel, nullptr);
}

TEST_F(StartupTest, FullScreenAt640By480FromTheSettings) {
  WriteOptions(std::string("\0\1\1\3", 4));
  RECT client{};
  POINT origin{1, 1};
  EXPECT_EQ(Start([&] {
              GetClientRect(MainWindow, &client);
              origin = ClientOriginOf(MainWindow);
            }),
            -1001);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_EQ(origin.x + origin.y, 0);
}

TEST_F(StartupTest, AClassThatCannotBeRegisteredReturnsZero) {
  WNDCLASSA taken;
  taken.lpfnWndProc = DefWindowProcA;
  taken.lpszClassName = "PlayfieldWnd";
  ASSERT_NE(RegisterClassA(&taken), 0);
  EXPECT_EQ(Start(), 0);
  EXPECT_EQ(MainWindow, nullptr);
}

TEST_F(StartupTest, ARendererThatCannotStartReturnsMinusOneAndLoadsNothing) {
  SetOfferedDevices({});
  EXPECT_EQ(Start(), -1);
  EXPECT_EQ(Match.craftModel, nullptr);
}

}  // namespace
