// The settings file of any content, read as at start-up and written back as the config screen does.
// After reading, every setting is in its range and the display values agree with it; settings that
// were already in range are kept as the file gives them, and so is the reserved byte. Writing
// leaves exactly the four bytes of the settings, nothing beside them, and reading that file again
// gives the same settings.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "shell/options.h"

namespace {

// The settings and display values as the process starts, with the settings bytes spoiled so that
// a read which forgets to clear them shows.
void StartUp() {
  std::memset(Options, 0x5A, sizeof Options);
  FullScreen = 0;
  ScreenWidth = 320;
  ScreenHeight = 240;
}

void CheckConsistent() {
  FUZZ_CHECK(Options[OptionFullScreen] == 0 || Options[OptionFullScreen] == 1);
  FUZZ_CHECK(Options[OptionScreenSize] == 0 || Options[OptionScreenSize] == 1);
  FUZZ_CHECK(Options[OptionQuality] >= 0 && Options[OptionQuality] <= 3);
  FUZZ_CHECK(FullScreen == Options[OptionFullScreen]);
  if (Options[OptionScreenSize] == 1)
    FUZZ_CHECK(ScreenWidth == 640 && ScreenHeight == 480);
  else
    FUZZ_CHECK(ScreenWidth == 320 && ScreenHeight == 240);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FUZZ_CHECK(chdir(fuzz::ScratchDirectory().c_str()) == 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteFile("option.dat", data, size);
  StartUp();
  LoadOptions();
  CheckConsistent();

  // What the file gives: its first four bytes, missing ones 0.
  int8_t given[4] = {0, 0, 0, 0};
  std::memcpy(given, data, size < 4 ? size : 4);
  FUZZ_CHECK(Options[OptionReserved] == given[OptionReserved]);
  if (given[OptionFullScreen] == 0 || given[OptionFullScreen] == 1)
    FUZZ_CHECK(Options[OptionFullScreen] == given[OptionFullScreen]);
  if (given[OptionScreenSize] == 0 || given[OptionScreenSize] == 1)
    FUZZ_CHECK(Options[OptionScreenSize] == given[OptionScreenSize]);
  if (given[OptionQuality] >= 0 && given[OptionQuality] <= 3)
    FUZZ_CHECK(Options[OptionQuality] == given[OptionQuality]);

  int8_t read[4];
  std::memcpy(read, Options, sizeof read);
  SaveOptions();
  const std::vector<uint8_t> saved = fuzz::ReadFile("option.dat");
  FUZZ_CHECK(saved.size() == 4 && std::memcmp(saved.data(), read, 4) == 0);
  const std::vector<std::string> names = fuzz::ListDirectory(".");
  FUZZ_CHECK(names.size() == 1 && names[0] == "option.dat");

  StartUp();
  LoadOptions();
  CheckConsistent();
  FUZZ_CHECK(std::memcmp(Options, read, sizeof read) == 0);
  return 0;
}
