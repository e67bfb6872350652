#include "foundation/win/ZrModuleLocks.h"

// Function-local statics: their construction is thread-safe, and they outlive every ordinary static
// of this module that was constructed after them.
ZrCriticalSection& ZrModuleLocks::DeleteProbes() {
  static ZrCriticalSection section;
  return section;
}

ZrCriticalSection& ZrModuleLocks::ProcessInfo() {
  static ZrCriticalSection section;
  return section;
}

ZrCriticalSection& ZrModuleLocks::ToolsLibrary() {
  static ZrCriticalSection section;
  return section;
}

ZrCriticalSection& ZrModuleLocks::SystemRemoteHandling() {
  static ZrCriticalSection section;
  return section;
}

void ZrModuleLocks::Initialise() {
  DeleteProbes();
  ProcessInfo();
  ToolsLibrary();
  SystemRemoteHandling();
}
