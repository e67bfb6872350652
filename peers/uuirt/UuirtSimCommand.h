#pragma once
// The substitute driver's test control, an export the vendor's library does not have. A test in the
// process that loaded the driver finds it with GetProcAddress on the loaded "uuirtdrv".

#include "foundation/win/ZrWindows.h"

inline constexpr char kUuirtSimCommandExport[] = "ZrUuirtSimCommand";
// "send <text>", "send" (an empty text) or "send-null": the device opened last receives that code.
using ZrUuirtSimCommandProc = BOOL(WINAPI*)(const char* command);
