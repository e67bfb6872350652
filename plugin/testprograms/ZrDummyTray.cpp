// Stands in for the system's tray program in tests: it does nothing but wait to be ended. Copied
// under the tray program's file name wherever a test needs one. A window program, like the one it
// stands for, so that starting it through the shell makes no console that would hold a test
// runner's output open.
#include "foundation/win/ZrWindows.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Ends by itself after ten minutes, so that a failed test cannot leave it behind for good.
  Sleep(600000);
  return 0;
}
