// Without the privileges of root while it lives, where the test runs as root (root writes into
// read-only files and directories alike): the effective user and group become nobody (65534).
#pragma once

#include <unistd.h>

#include <cstdlib>

class Unprivileged {
 public:
  Unprivileged() : root_(geteuid() == 0) {
    if (root_) dropped_ = setegid(65534) == 0 && seteuid(65534) == 0;
  }
  ~Unprivileged() {
    if (root_) {
      if (seteuid(0) != 0 || setegid(0) != 0) std::abort();
    }
  }
  Unprivileged(const Unprivileged&) = delete;
  Unprivileged& operator=(const Unprivileged&) = delete;
  // False when the test runs as root and the privileges could not be given up.
  bool Ok() const { return !root_ || dropped_; }

 private:
  bool root_;
  bool dropped_ = false;
};
