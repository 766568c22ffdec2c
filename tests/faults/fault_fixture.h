// Starting the whole program on damaged or missing files: a working directory of the test's own
// with a copy of the game's data directory and palette, and a player who presses keys on the menus.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "soak/program.h"
#include "support/unprivileged.h"

namespace fs = std::filesystem;

using Bytes = std::string;

// Player 0 on the menus, once the title menu is shown: each key goes down when the game has
// handled everything sent before and up again once the game has taken it. `atMenu` runs at the
// first pump on the title menu, before any key.
class MenuPlayer {
 public:
  explicit MenuPlayer(std::vector<KeyRole> keys, std::function<void()> atMenu = nullptr)
      : keys_(std::move(keys)), atMenu_(std::move(atMenu)) {}

  // Keys the game has taken so far (a key that ended the program is not counted).
  int Taken() const { return taken_; }
  bool ReachedMenu() const { return reachedMenu_; }

  void operator()() {
    MSG waiting;
    if (PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) return;
    if (!reachedMenu_) {
      if (TitleScene.frame != nullptr || TitleMenu.craftFrame == nullptr) return;
      reachedMenu_ = true;
      if (atMenu_) atMenu_();
    }
    if (pending_ != 0) {
      if (KeyState[pending_] != 0) return;
      HeadlessControl::KeyUp(pending_);
      pending_ = 0;
      ++taken_;
    }
    if (static_cast<size_t>(taken_) < keys_.size()) {
      pending_ = PlayerKey(0, keys_[taken_]);
      HeadlessControl::KeyDown(pending_);
    } else if (++idle_ > 100000) {
      throw std::runtime_error("the program waits for keys the player does not press");
    }
  }

 private:
  std::vector<KeyRole> keys_;
  std::function<void()> atMenu_;
  bool reachedMenu_ = false;
  uint8_t pending_ = 0;
  int taken_ = 0;
  int idle_ = 0;
};

// Down to "CONFIG", in, up to "QUALITY", one step of quality, down to "EXIT" and out: six keys,
// the last of which saves option.dat.
inline std::vector<KeyRole> ChangeQuality() {
  return {RoleDown, RoleFire, RoleUp, RoleFire, RoleDown, RoleFire};
}
// From "START" down to "QUIT" and out.
inline std::vector<KeyRole> Quit() {
  return {RoleDown, RoleDown, RoleFire};
}
inline std::vector<KeyRole> operator+(std::vector<KeyRole> a, const std::vector<KeyRole>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    objects_ = RefCounted::LiveObjectCount();
    home_ = fs::current_path();
    char name[] = "/tmp/gronka-faults-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    // Others may come in and read: some tests run the program without the privileges of root.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    const fs::path source = SourceData();
    fs::copy(source, dir / "data");
    fs::copy_file(source / "pal.bmp", dir / "pal.bmp");
    fs::current_path(dir);
  }

  void TearDown() override {
    fs::current_path(home_);
    std::error_code ignored;
    fs::permissions(dir, fs::perms::owner_all, ignored);
    if (fs::is_directory(dir / "option.dat"))
      fs::permissions(dir / "option.dat", fs::perms::owner_all, ignored);
    fs::remove_all(dir, ignored);
    EXPECT_EQ(RefCounted::LiveObjectCount(), objects_) << "references left behind";
  }

  static fs::path SourceData() {
    const char* root = std::getenv("GRONKA_SOURCE_DIR");
    return fs::path(root ? root : ".") / "data";
  }

  // Runs the program with the player until it ends; returns its exit code. Everything it held is
  // given back afterwards, as the end of the process would.
  static int RunProgram(std::function<void()> player) {
    int code = program::Run(std::move(player));
    program::Release();
    return code;
  }

  static void Write(const fs::path& name, const Bytes& bytes) {
    std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
  }
  static Bytes Read(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // The names in the working directory, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;

 private:
  fs::path home_;
  long objects_ = 0;
};
