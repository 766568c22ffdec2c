// Renders each sound effect to a WAV file (mono, 16-bit, 48 kHz) for listening and measuring:
//   sound-wav [DIRECTORY]        (default /tmp), files gronka-NAME.wav
#include <cstdio>
#include <string>

#include "audio/sound.h"

namespace {

const char* const Names[SoundEffectCount] = {
    "volley", "hit",  "destroyed", "item-appears", "item-speed", "item-power",  "item-grip",
    "win",    "lose", "draw",      "intro",        "menu-move",  "menu-select", "menu-leave"};

void Put32(std::FILE* f, uint32_t v) {
  const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16),
                              static_cast<unsigned char>(v >> 24)};
  std::fwrite(b, 1, 4, f);
}

void Put16(std::FILE* f, uint16_t v) {
  const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
  std::fwrite(b, 1, 2, f);
}

bool WriteWav(const std::string& path, const Sound::Clip& clip) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const uint32_t bytes = 2u * static_cast<uint32_t>(clip.length);
  std::fputs("RIFF", f);
  Put32(f, 36 + bytes);
  std::fputs("WAVEfmt ", f);
  Put32(f, 16);
  Put16(f, 1);  // PCM
  Put16(f, 1);  // mono
  Put32(f, Sound::Rate);
  Put32(f, 2 * Sound::Rate);
  Put16(f, 2);
  Put16(f, 16);
  std::fputs("data", f);
  Put32(f, bytes);
  for (int i = 0; i < clip.length; ++i) Put16(f, static_cast<uint16_t>(clip.samples[i]));
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : "/tmp";
  // Each player's volley once (every shot takes one of a few pitches near this one).
  for (int e = -1; e < SoundEffectCount; ++e) {
    const bool second = e < 0;
    const SoundEffect effect = second ? SoundVolley : static_cast<SoundEffect>(e);
    const Sound::Clip clip = Sound::ClipOf(effect, second ? 1 : 0, 1);
    const std::string name = effect != SoundVolley ? Names[e] : second ? "volley-2" : "volley-1";
    const std::string path = directory + "/gronka-" + name + ".wav";
    if (!WriteWav(path, clip)) {
      std::fprintf(stderr, "sound-wav: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\t%d samples\t%.3f s\n", path.c_str(), clip.length,
                static_cast<double>(clip.length) / Sound::Rate);
  }
  return 0;
}
