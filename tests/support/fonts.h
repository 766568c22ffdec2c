// The fonts a test program may use: fontconfig is pointed at a configuration of its own.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <string>

namespace game {

// Writes `file`, a font configuration naming only `directory` ("" for no font at all), and points
// fontconfig at it. Fonts are looked up once per process, at the first text: a test calls this
// before that.
inline void UseFonts(const std::string& file, const std::string& directory) {
  if (std::FILE* out = std::fopen(file.c_str(), "w")) {
    std::fprintf(out, "<?xml version=\"1.0\"?>\n<fontconfig>%s</fontconfig>\n",
                 directory.empty() ? "" : ("<dir>" + directory + "</dir>").c_str());
    std::fclose(out);
  }
  setenv("FONTCONFIG_FILE", file.c_str(), 1);
  unsetenv("FONTCONFIG_PATH");
}

}  // namespace game
