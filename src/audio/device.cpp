// The game's sound on SDL's audio device: the callback mixes what the game asked for.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "audio/sound.h"

namespace Sound {

namespace {
Mixer GameMixer;
SDL_AudioDeviceID Device = 0;
std::atomic<bool> Open{false};
std::atomic<bool> MutedFlag{false};
std::atomic<bool> Closing{false};
std::atomic<bool> Held{false};
std::atomic<int> Grants{0};
std::atomic<uint64_t> Mixed{0};
void (*Listener)(SoundEffect, int) = nullptr;

void Feed(void*, Uint8* stream, int bytes) {
  if (Held.load()) {
    while (Grants.load() <= 0 && !Closing.load()) SDL_Delay(1);
    Grants.fetch_sub(1);
  }
  GameMixer.Mix(reinterpret_cast<int16_t*>(stream), bytes / 4, MutedFlag.load() || Closing.load());
  Mixed.fetch_add(1);
}
}  // namespace

bool Start() {
  if (Device != 0) return true;
  RenderClips();
  SDL_AudioSpec want{};
  want.freq = Rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = BufferFrames;
  want.callback = Feed;
  SDL_AudioSpec have{};
  // The sound libraries below SDL write their own complaints on stderr when they find no card;
  // the game says it in one line instead.
  std::fflush(stderr);
  const int savedStderr = dup(STDERR_FILENO);
  const int nowhere = open("/dev/null", O_WRONLY);
  if (savedStderr >= 0 && nowhere >= 0) dup2(nowhere, STDERR_FILENO);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    // SDL converts to whatever the device wants; the game always mixes 48 kHz stereo.
    Device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (Device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  if (savedStderr >= 0 && nowhere >= 0) dup2(savedStderr, STDERR_FILENO);
  if (nowhere >= 0) close(nowhere);
  if (savedStderr >= 0) close(savedStderr);
  if (Device == 0) {
    std::fprintf(stderr, "gronka: no sound: %s\n", SDL_GetError());
    return false;
  }
  static bool stopAtExit = false;
  if (!stopAtExit) stopAtExit = std::atexit(Stop) == 0;
  Closing = false;
  Mixed = 0;
  Open = true;
  SDL_PauseAudioDevice(Device, 0);
  return true;
}

void Stop() {
  if (Device == 0) return;
  Open = false;
  Closing = true;  // lets a held callback go, so that closing does not wait for it forever
  // Two more buffers: the one with the fade is then on its way to the device (at most 200 ms).
  const uint64_t mixed = Mixed.load();
  for (int wait = 0; wait < 200 && Mixed.load() < mixed + 2; ++wait) SDL_Delay(1);
  SDL_CloseAudioDevice(Device);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  Device = 0;
  Held = false;
  Grants = 0;
}

void Play(SoundEffect effect, int side) {
  if (Listener != nullptr) Listener(effect, side);
  if (Open.load() && !MutedFlag.load()) GameMixer.Push(effect, side);
}

void SetListener(void (*listener)(SoundEffect, int)) {
  Listener = listener;
}

void SetMuted(bool muted) {
  MutedFlag = muted;
}

bool Muted() {
  return MutedFlag.load();
}

void ToggleMute() {
  MutedFlag = !MutedFlag.load();
}

void HoldUntilGranted() {
  Held = true;
}

void GrantBuffers(int count) {
  Grants += count;
}

uint64_t BuffersMixed() {
  return Mixed.load();
}

}  // namespace Sound
