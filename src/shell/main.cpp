// The process entry.
#include "shell/app.h"
#include "shell/options.h"

int main() {
  EnterGameDirectory();
  char commandLine[] = "";
  return WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL);
}
