#pragma once
/* What the parts of the conformance run share: the report of checks and the slots by number. */
#include "foundation/win/ZrWindows.h"
#include "module/ZrConformance.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  kSlotDestroy = 0,
  kSlotStart = 1,
  kSlotStop = 2,
  kSlotReservedQuery = 3,
  kSlotNumBlastPorts = 4,
  kSlotCanBlast = 5,
  kSlotBlast = 6,
  kSlotLearn = 7,
  kSlotLearnCancel = 8,
  kSlotGetInfo = 9,
  kSlotSetInfo = 10,
  kSlotRawInputDevice = 11,
  kSlotWindowMessage = 12,
};

/* Integer arguments go out as 64-bit values with garbage in the upper half, as a caller that only
 * sets the low 32 bits of a register may leave them; the module must read only the low half. */
#define kGarbage 0xA5A5A5A500000000ull

/* bool comes back in AL; nothing else of RAX is defined. */
typedef unsigned char Bool8;

typedef void* (*DestroyFn)(void* self, unsigned long long flags);
typedef Bool8 (*BoolFn)(void* self);
typedef Bool8 (*StartFn)(void* self, unsigned long long flag);
typedef int (*IntFn)(void* self);
typedef Bool8 (*BlastFn)(void* self, const wchar_t* code);
typedef Bool8 (*LearnFn)(void* self, void* callback);
typedef void (*VoidFn)(void* self);
typedef BSTR (*GetInfoFn)(void* self, const wchar_t* name);
typedef Bool8 (*SetInfoFn)(void* self, const wchar_t* name, const wchar_t* value);
typedef Bool8 (*RawInputDeviceFn)(void* self, unsigned long long index, RAWINPUTDEVICE* device);
typedef Bool8 (*WindowMessageFn)(void* self, unsigned long long message, WPARAM wParam, LPARAM lParam);
typedef void* (*CreateFn)(unsigned long long type, void* host);

#define SLOT(object, index) ((*(void***)(object))[index])

typedef struct ZrCheckRun {
  const ZrConformanceOptions* options;
  ZrConformanceResult result;
  const wchar_t* scope; /* the plug-in being checked, or NULL for the module */
  DWORD mainThread;
  int spying;           /* the allocator spy sees the module's BSTRs */
  const wchar_t* huge;  /* a string of a million characters */
  const wchar_t* unreadable; /* an address in a page that cannot be read */
} ZrCheckRun;

void ZrLine(ZrCheckRun* run, const wchar_t* format, ...);
/* One check: "ok" or "FAIL", the scope and the text. Answers ok. */
int ZrCheck(ZrCheckRun* run, int ok, const wchar_t* format, ...);
void ZrSkip(ZrCheckRun* run, const wchar_t* format, ...);

/* Waits for *counter to reach target while dispatching this thread's messages, at most ms. */
void ZrPumpUntil(volatile LONG* counter, LONG target, int ms);

typedef struct ZrPluginCase {
  int type;
  const wchar_t* name;
  const wchar_t* displayName;
  const wchar_t* enableOnInstall;
  int blastPorts; /* -1: asked elsewhere (the host's service) and not fixed here */
  int canBlast;
  int takesShutdown; /* SetInfo("System Shutdown") recognised */
  int collectionCount;
  struct {
    USHORT page;
    USHORT usage;
  } collections[5];
  int codesOnDriverThread; /* codes arrive on the driver's own thread, not the host's */
} ZrPluginCase;

void ZrCheckPlugin(ZrCheckRun* run, CreateFn create, const ZrPluginCase* plugin);

#ifdef __cplusplus
}
#endif
