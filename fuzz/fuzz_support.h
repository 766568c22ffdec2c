// Shared pieces of the fuzz targets: a private scratch directory per process, writing an input to
// a file in it, and a check that stops the run (so that libFuzzer keeps the input) when a property
// does not hold.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace fuzz {

inline void RemoveTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        RemoveTree(child);
      else
        unlink(child.c_str());
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

// A directory of this process alone, removed at exit. Memory-backed when the system has such a
// place, since some targets write and sync a file for every input.
inline const std::string& ScratchDirectory() {
  static const std::string dir = [] {
    std::vector<std::string> bases = {"/dev/shm"};
    if (const char* tmp = std::getenv("TMPDIR")) bases.push_back(tmp);
    bases.push_back("/tmp");
    for (const std::string& base : bases) {
      std::string pattern = base + "/gronka-fuzz-XXXXXX";
      if (mkdtemp(pattern.data()) != nullptr) return pattern;
    }
    std::fprintf(stderr, "cannot create a scratch directory\n");
    std::abort();
  }();
  static const bool cleanup = [] { return std::atexit([] { RemoveTree(dir); }) == 0; }();
  (void)cleanup;
  return dir;
}

// Replaces the file with exactly the given bytes.
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
  FUZZ_CHECK(std::fclose(file) == 0);
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
      bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
  }
  return bytes;
}

// The names in a directory, "." and ".." left out.
inline std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

}  // namespace fuzz
