#pragma once
// The module's library loader: every system library that the module loads at run time goes through
// here, so that a failure leaves one line on the standard output.

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"

// Releases any library that *handle already holds, then loads fileName with the system's ordinary
// search order. Answers whether *handle now holds a library. An empty name only releases.
bool ZrLoadLibrary(ZrModuleHandle* handle, const ZrChar* fileName);
