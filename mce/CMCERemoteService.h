#pragma once
// Where the MCE plug-in finds the host's background service, and the names its learn uses.

#include "foundation/ZrString.h"

inline constexpr ZrChar kMCEServicePipeFormat[] = u"Zorvane Service IPC (%d)";
inline constexpr ZrChar kMCEResponseServerName[] = u"MCE Remote Response Server";

// The service's pipe for an install directory: the directory's case-insensitive hash as a signed
// decimal; an empty directory gives 0.
ZrString CMCEServicePipeName(const ZrString& installDirectory);
// The same for this process's install directory, read afresh on every call.
ZrString CMCEServicePipeName();
