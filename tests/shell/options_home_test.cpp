// An unwritable game keeps its settings below the home directory: $HOME when it is an absolute
// path, else the account's home directory.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "shell/options.h"
#include "support/game.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::string> Saved(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}
void Restore(const char* name, const std::optional<std::string>& value) {
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

TEST(OptionsHomeTest, ARelativeOrMissingHomeFallsBackToTheAccountsHomeDirectory) {
  const auto home = Saved("HOME"), config = Saved("XDG_CONFIG_HOME");
  const fs::path start = fs::current_path();
  char pattern[] = "/tmp/gronka-home-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  fs::create_directory(fs::path(pattern) / "data");
  fs::permissions(pattern, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                               fs::perms::others_exec);
  fs::current_path(pattern);
  unsetenv("XDG_CONFIG_HOME");
  const passwd* account = getpwuid(getuid());
  ASSERT_NE(account, nullptr);
  const std::string accounts = std::string(account->pw_dir) + "/.config/gronka/option.dat";

  const struct {
    const char* home;  // null: unset
    std::string expected;
  } cases[] = {{"/srv/player", "/srv/player/.config/gronka/option.dat"},
               {"player", accounts},
               {"", accounts},
               {nullptr, accounts}};
  for (const auto& c : cases) {
    if (c.home)
      setenv("HOME", c.home, 1);
    else
      unsetenv("HOME");
    {
      game::Unprivileged user;
      ASSERT_TRUE(user.Ok());
      EnterGameDirectory();
    }
    EXPECT_EQ(OptionsFile.path, c.expected) << (c.home ? c.home : "unset");
    EXPECT_EQ(OptionsFile.previous, "option.dat");
  }
  OptionsFile = {};
  Restore("HOME", home);
  Restore("XDG_CONFIG_HOME", config);
  fs::current_path(start);
  fs::permissions(pattern, fs::perms::owner_all);
  fs::remove_all(pattern);
}

}  // namespace
