#pragma once
// Loading and releasing the product family's tools library. Every other call site reaches the
// library through foundation/win/ZrToolsAccess.h and skips its call while it is not loaded.

#include "foundation/ZrArray.h"
#include "foundation/ZrString.h"

inline constexpr ZrChar kZrToolsFileName[] = u"ZrTools.dll";

// Loads the library once, under the module-wide lock, initialises it and installs it for
// ZrGetTools(). Answers whether it is loaded. A failed attempt may be repeated by a later call.
bool ZrLoadToolsLibrary();

// The final shutdown: tells the library that this module is done with it and stops handing it out.
// The library stays mapped until ZrReleaseToolsLibrary. Safe to call again.
void ZrShutdownToolsLibrary();

// Unmaps the library. Not while the process is exiting: the loader then unmaps it on its own.
void ZrReleaseToolsLibrary();

// The files tried, in order: an absolute name as it is; otherwise the name in the install
// directory, then in its "x64\" folder; with no install directory, the bare name.
ZrStringArray ZrToolsLibraryCandidates(const ZrString& installDirectory, const ZrString& fileName);
