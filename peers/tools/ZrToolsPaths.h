#pragma once
// Where the tools library finds and keeps its files: the product's install directory (the
// library's own folder when none is known) and the application data directory of this process
// (empty when none is known), each ending in a backslash.

#include "foundation/ZrString.h"

ZrString ZrToolsInstallDirectory();
ZrString ZrToolsAppDataDirectory();
