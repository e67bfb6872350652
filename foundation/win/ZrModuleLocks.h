#pragma once
// The module-wide locks. Each is created on first use, so code that runs during static
// initialisation of another file may take it; the application object calls Initialise at start-up
// so that none is created lazily while worker threads already run.

#include "foundation/win/ZrCriticalSection.h"

class ZrModuleLocks {
 public:
  static void Initialise();

  // Guards every delete-probe list of every command target.
  static ZrCriticalSection& DeleteProbes();
  // Serialises the creation of the process information object.
  static ZrCriticalSection& ProcessInfo();
  // Serialises the loading of the tools library.
  static ZrCriticalSection& ToolsLibrary();
  // Guards the count of the plug-ins that keep the system's own remote handling stopped.
  static ZrCriticalSection& SystemRemoteHandling();
};
