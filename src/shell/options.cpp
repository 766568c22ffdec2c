// The settings file: four bytes, read at start-up and written when the config screen is left.
#include "shell/options.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "build_info.h"
#include "platform/files.h"
#include "platform/win.h"

int8_t Options[4];
int32_t FullScreen = 0;
int32_t ScreenWidth = 320;
int32_t ScreenHeight = 240;
OptionsFiles OptionsFile;

namespace {

constexpr const char* OptionFileName = "option.dat";

// When this run started. Our temporary files from before then were left by a save that was killed
// midway.
const timespec RunStart = [] {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}();

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The directory part of `path`: "." for a bare name.
std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the directories leading to `path` that do not exist yet, private to the user as
// configuration directories should be.
bool MakeDirectoriesFor(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (!IsDirectory(dir) && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Whether `name` is one of the temporary files ReplaceFile makes for the file named `base`: the
// name, a dot and the six letters or digits mkstemp puts in place of "XXXXXX".
bool IsTemporaryName(std::string_view name, std::string_view base) {
  if (name.size() != base.size() + 7 || !name.starts_with(base) || name[base.size()] != '.')
    return false;
  for (char c : name.substr(base.size() + 1))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// Removes the temporary files of `path` that a save killed midway left behind: ours by name, by
// owner and by being regular files from before this run started. A save running now in another
// copy of the game has its file from after that.
void RemoveStaleTemporaries(const std::string& path) {
  DIR* dir = opendir(DirectoryOf(path).c_str());
  if (dir == nullptr) return;
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  while (const dirent* entry = readdir(dir)) {
    struct stat st;
    if (!IsTemporaryName(entry->d_name, base) ||
        fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    const bool stale =
        st.st_mtim.tv_sec < RunStart.tv_sec ||
        (st.st_mtim.tv_sec == RunStart.tv_sec && st.st_mtim.tv_nsec < RunStart.tv_nsec);
    if (S_ISREG(st.st_mode) && st.st_uid == geteuid() && stale)
      unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

// Replaces `path` with `size` bytes: a temporary file beside it is written, flushed to the disk
// and renamed over it, so that the file is always either the old one or the new one. A file that
// exists but may not be written is left alone, as a failure.
bool ReplaceFile(const char* path, const void* data, size_t size) {
  struct stat old;
  bool exists = stat(path, &old) == 0;
  if (exists && faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0) return false;
  mode_t mode;
  if (exists) {
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  std::string temp = std::string(path) + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, data, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  int dir = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

bool IsAbsolute(const char* path) {
  return path && path[0] == '/';
}

}  // namespace

OptionsFiles OptionsFilesFor(bool gameDirWritable, const char* configHome, const char* home) {
  if (gameDirWritable) return {};
  std::string base;
  if (IsAbsolute(configHome)) {
    base = configHome;
  } else if (IsAbsolute(home)) {
    base = home;
    if (base.back() != '/') base += '/';
    base += ".config";
  } else {
    return {};
  }
  if (base.back() != '/') base += '/';
  return {base + "gronka/" + OptionFileName, OptionFileName};
}

void LoadOptions() {
  std::memset(Options, 0, sizeof Options);
  // Anything but a regular file (a pipe would block the start for good) counts as no file.
  FILE* file = OpenRegularFileStream(OptionsFile.path.c_str());
  if (!file && errno == ENOENT && !OptionsFile.previous.empty())
    file = OpenRegularFileStream(OptionsFile.previous.c_str());
  if (!file) return;
  std::fread(Options, 1, sizeof Options, file);
  std::fclose(file);
  // A hand-edited file may hold anything: every setting is brought back into its range before the
  // config screen shows it or the Renderer uses it. The reserved byte is kept as it is.
  if (Options[OptionFullScreen] != 0) Options[OptionFullScreen] = 1;
  if (Options[OptionScreenSize] != 1) Options[OptionScreenSize] = 0;
  if (Options[OptionQuality] < 0 || Options[OptionQuality] > 3) Options[OptionQuality] = 0;
  if (Options[OptionScreenSize] == 1) {
    ScreenWidth = 640;
    ScreenHeight = 480;
  }
  FullScreen = Options[OptionFullScreen];
}

void SaveOptions() {
  const std::string& path = OptionsFile.path;
  if (!MakeDirectoriesFor(path)) ExitProcess(1);
  RemoveStaleTemporaries(path);
  if (!ReplaceFile(path.c_str(), Options, sizeof Options)) ExitProcess(1);
}

std::string GameDirectoryFor(const std::string& program, bool* installed) {
  const std::string dir = DirectoryOf(program);
  const std::string share = dir + "/" + InstalledGameDirectory;
  const bool isInstalled = IsDirectory(share + "/data");
  if (installed) *installed = isInstalled;
  // An installed program's data are its own, whatever the current directory holds.
  if (isInstalled) return share;
  if (IsDirectory("data")) return "";
  if (IsDirectory(dir + "/data")) return dir;
  return "";
}

namespace {

// $HOME when it is an absolute path; otherwise (unset, empty or relative, and so of no use from
// the game's directory) the account's home directory, as other programs do.
const char* HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (IsAbsolute(home)) return home;
  const passwd* user = getpwuid(getuid());
  return user ? user->pw_dir : nullptr;
}

}  // namespace

void EnterGameDirectory() {
  bool installed = false;
  char program[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", program, sizeof program - 1);
  if (n > 0) {
    std::string dir = GameDirectoryFor(std::string(program, static_cast<size_t>(n)), &installed);
    if (!dir.empty() && chdir(dir.c_str()) != 0)
      std::fprintf(stderr, "gronka: cannot enter %s: %s\n", dir.c_str(), std::strerror(errno));
  }
  // An installed game keeps its settings where the user's other settings are, even where its
  // directory happens to be writable (installed below the user's home).
  bool writable = !installed && faccessat(AT_FDCWD, ".", W_OK, AT_EACCESS) == 0;
  OptionsFile = OptionsFilesFor(writable, std::getenv("XDG_CONFIG_HOME"), HomeDirectory());
}
