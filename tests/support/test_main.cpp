// The entry of every test program: GoogleTest's, inside a temporary directory of the process's
// own. TMPDIR, and with it testing::TempDir(), points into that directory while the tests run (the
// game processes some tests start inherit it), and the directory is removed with everything in it
// at the end, so that a test leaves nothing behind in the machine's temporary directory.
//
// Texts are drawn in one known face whatever fonts the machine has: fontconfig is pointed at a
// configuration that names only the directory of IPA P Mincho (fonts-ipafont-mincho). A test that
// wants other fonts sets FONTCONFIG_FILE itself before its first text.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/fonts.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/gronka-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("gronka tests: no temporary directory");
    return 1;
  }
  const fs::path dir = pattern;
  // Tests that give up root's rights still enter it.
  std::error_code ignored;
  fs::permissions(dir,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  ignored);
  setenv("TMPDIR", dir.c_str(), 1);
  setenv("TEST_TMPDIR", dir.c_str(), 1);
  game::UseFonts((dir / "fonts.conf").string(), "/usr/share/fonts/opentype/ipafont-mincho");
  const int code = RUN_ALL_TESTS();
  for (const auto& entry : fs::recursive_directory_iterator(dir, ignored))
    if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::owner_all, ignored);
  fs::remove_all(dir, ignored);
  return code;
}
