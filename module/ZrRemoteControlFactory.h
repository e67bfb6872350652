#pragma once
// What the exported factory does, callable inside the module and by tests without the DLL.

#include "plugin/IZrRemoteControl.h"

// 0 MCE, 1 raw input, 2 IRMAN, 3 USB-UIRT; null for any other type or when construction fails.
IZrRemoteControl* ZrCreateRemoteControl(int type, IZrRemoteControlHost* host) noexcept;
