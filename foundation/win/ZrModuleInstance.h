#pragma once
// This module's own instance handle. The application object sets it from DllMain; until then (and
// in test programs) it is found from the address of our own code.

#include "foundation/win/ZrWindows.h"

HINSTANCE ZrGetModuleInstance();
void ZrSetModuleInstance(HINSTANCE instance);

// Full path of this module's file; empty when it cannot be read.
class ZrString;
ZrString ZrGetModuleFileName(HMODULE module);
