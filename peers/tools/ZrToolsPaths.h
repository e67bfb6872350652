#pragma once
// Where the tools library finds and keeps its files: the product's install directory and the
// application data directory of this process, both ending in a backslash.

#include "foundation/ZrString.h"

ZrString ZrToolsInstallDirectory();
ZrString ZrToolsAppDataDirectory();
