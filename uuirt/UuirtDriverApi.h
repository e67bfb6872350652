#pragma once
// The calls of the transceiver's driver library "uuirtdrv" as this module makes them. The library
// is the device vendor's; only the calls listed here, their arguments and the meaning of their
// results are relied on. BOOL results are 32-bit, non-zero meaning success.

#include <cstdint>

#include "foundation/win/ZrWindows.h"

// The driver's handle of an open device. Null, or all bits set, when opening failed.
using UuirtHandle = void*;

// Called by the driver on a thread of its own for every IR event it receives, until UUIRTClose
// has returned. eventText: narrow, zero-terminated, in the system's ANSI code page.
using UuirtReceiveProc = void(WINAPI*)(const char* eventText, void* userData);
// Called by the driver on the learning thread while UUIRTLearnIR runs.
using UuirtLearnProgressProc = void(WINAPI*)(uint32_t progress, uint32_t signalQuality, uint32_t carrierFrequency,
                                             void* userData);

using UuirtOpenProc = UuirtHandle(WINAPI*)();
using UuirtCloseProc = BOOL(WINAPI*)(UuirtHandle device);
using UuirtGetDrvInfoProc = BOOL(WINAPI*)(uint32_t* version);
// Never called by this module; they must exist all the same.
using UuirtGetUUIRTInfoProc = BOOL(WINAPI*)(UuirtHandle device, void* info);
using UuirtGetUUIRTConfigProc = BOOL(WINAPI*)(UuirtHandle device, uint32_t* config);
using UuirtSetUUIRTConfigProc = BOOL(WINAPI*)(UuirtHandle device, uint32_t config);
using UuirtSetReceiveCallbackProc = BOOL(WINAPI*)(UuirtHandle device, UuirtReceiveProc receive, void* userData);
// Starts sending irCode; the driver signals doneEvent when the transmission has ended.
using UuirtTransmitIRProc = BOOL(WINAPI*)(UuirtHandle device, const char* irCode, int32_t codeFormat,
                                          int32_t repeatCount, int32_t inactivityWaitTime, HANDLE doneEvent,
                                          void* reserved0, void* reserved1);
// Blocks until a code was learned into `buffer` (zero-terminated text), the learn failed, or
// *abort became non-zero.
using UuirtLearnIRProc = BOOL(WINAPI*)(UuirtHandle device, int32_t codeFormat, char* buffer,
                                       UuirtLearnProgressProc progress, void* userData, volatile int32_t* abort,
                                       uint32_t param1, void* reserved0, void* reserved1);

// The oldest driver interface this module works with.
inline constexpr uint32_t kUuirtMinimumDriverVersion = 0x100;
// The code format of every transmission and learn.
inline constexpr int32_t kUuirtCodeFormat = 0x10;
// The size of the buffer a learned code is written into.
inline constexpr size_t kUuirtLearnBufferSize = 2048;

// Reasons UUIRTOpen leaves in the thread's last-error code.
inline constexpr DWORD kUuirtErrorNoDevice = 0x20000001;
inline constexpr DWORD kUuirtErrorNoResponse = 0x20000002;
inline constexpr DWORD kUuirtErrorNoDriver = 0x20000003;
inline constexpr DWORD kUuirtErrorWrongFirmware = 0x20000004;
