// Two game processes over the loopback address: the built program, headless, host and joiner.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

struct Process {
  pid_t pid = -1;
  std::string out, err;  // files of its stdout and stderr
};

// A path in the temporary directory: the test run's own ($TMPDIR), else /tmp.
inline std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir == '/' ? dir : "/tmp") + "/" + name;
}

inline Process Spawn(const std::vector<std::string>& args, const std::string& name,
                     const char* version = nullptr) {
  Process p;
  p.out = TempPath("gronka-net-" + std::to_string(getpid()) + "-" + name + ".out");
  p.err = p.out + ".err";
  std::remove(p.out.c_str());
  std::remove(p.err.c_str());
  p.pid = fork();
  if (p.pid == 0) {
    if (version != nullptr) setenv("GRONKA_NET_VERSION", version, 1);
    if (!freopen(p.out.c_str(), "w", stdout) || !freopen(p.err.c_str(), "w", stderr)) _exit(99);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(98);
  }
  return p;
}

inline std::string Text(const std::string& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The exit code, or -1 after killing it when it runs past `seconds`.
inline int Wait(const Process& p, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(p.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(p.pid, SIGKILL);
      waitpid(p.pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The host's port, once it has printed it; 0 when it has not within thirty seconds.
inline int HostPort(const Process& host) {
  for (int i = 0; i < 3000; ++i) {
    const std::string text = Text(host.out);
    const size_t at = text.find("waiting on port ");
    if (at != std::string::npos && text.find('\n', at) != std::string::npos)
      return std::atoi(text.c_str() + at + 16);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

// The value after `key` in the process's last "net:" line ("hash ", "delay ", ...).
inline std::string Field(const std::string& text, const std::string& key) {
  const size_t line = text.rfind("net: ");
  const size_t at = line == std::string::npos ? line : text.find(key, line);
  if (at == std::string::npos) return "";
  const size_t from = at + key.size();
  return text.substr(from, text.find_first_of(", \n", from) - from);
}

}  // namespace nettest
