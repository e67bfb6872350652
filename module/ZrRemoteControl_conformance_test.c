/*
 * The module as a host built with another compiler sees it. This file is C on purpose: it knows no
 * C++ class layout, only the DLL's exports and the slot numbers of the plug-in interface. It loads
 * ZrRemoteControl.dll from its own folder, builds a host object with a hand-made vtable, and drives
 * every slot of every plug-in by index, destroying each through slot 0 with flags 1.
 *
 * Integer arguments are passed as 64-bit values with garbage in the upper half, as a caller that
 * only sets the low 32 bits of a register may leave them; the module must read only the low half.
 */
#include "foundation/win/ZrWindows.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

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

static const unsigned long long kGarbage = 0xA5A5A5A500000000ull;

/* bool comes back in AL; nothing else of RAX is defined. */
typedef unsigned char Bool8;

typedef void* (*DestroyFn)(void* self, unsigned flags);
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

static void* Slot(void* object, int index) { return (*(void***)object)[index]; }

static int g_failures;
static int g_checks;

static void Check(int ok, int line, const char* what, const char* detail) {
  ++g_checks;
  if (!ok) {
    ++g_failures;
    printf("FAIL line %d: %s%s%s\n", line, what, detail ? ": " : "", detail ? detail : "");
  }
}
#define CHECK(cond) Check((cond) != 0, __LINE__, #cond, NULL)

static void CheckInt(long long got, long long expected, int line, const char* what) {
  char detail[96];
  sprintf(detail, "got %lld, expected %lld", got, expected);
  Check(got == expected, line, what, detail);
}
#define CHECK_INT(got, expected) CheckInt((long long)(got), (long long)(expected), __LINE__, #got)

/* ---- the host object, laid out as the other compiler lays out a class with two virtuals ---- */

typedef struct Host Host;
typedef struct {
  Bool8 (*OnRemoteCode)(Host* self, void* sender, BSTR code, int milliseconds);
  BSTR (*GetValue)(Host* self, const wchar_t* name);
} HostVtbl;
struct Host {
  const HostVtbl* vtbl;
  int codes;
  int values;
};

static Bool8 HostOnRemoteCode(Host* self, void* sender, BSTR code, int milliseconds) {
  ++self->codes;
  return 1;
}
static BSTR HostGetValue(Host* self, const wchar_t* name) {
  ++self->values;
  return NULL;
}
static const HostVtbl kHostVtbl = {HostOnRemoteCode, HostGetValue};

typedef struct Learner Learner;
typedef struct {
  Bool8 (*OnLearned)(Learner* self, BSTR code);
} LearnerVtbl;
struct Learner {
  const LearnerVtbl* vtbl;
  int learned;
};
static Bool8 LearnerOnLearned(Learner* self, BSTR code) {
  ++self->learned;
  SysFreeString(code);
  return 1;
}
static const LearnerVtbl kLearnerVtbl = {LearnerOnLearned};

/* ---- helpers that read one answer and report it against the expected text ---- */

static void CheckInfo(void* plugin, const wchar_t* key, const wchar_t* expected, int line) {
  BSTR got = ((GetInfoFn)Slot(plugin, kSlotGetInfo))(plugin, key);
  char detail[512];
  /* Keys that are not strings at all are shown by name, never read here. */
  if (!key)
    key = L"(null)";
  else if ((ULONG_PTR)key < 0x10000)
    key = L"(unreadable pointer)";
  if (!got) {
    sprintf(detail, "GetInfo(\"%ls\") answered null, expected \"%ls\"", key, expected);
    Check(0, line, "GetInfo", detail);
    return;
  }
  sprintf(detail, "GetInfo(\"%ls\") = \"%ls\" (length %u), expected \"%ls\"", key, got,
          SysStringLen(got), expected);
  Check(wcscmp(got, expected) == 0 && SysStringLen(got) == wcslen(expected), line, "GetInfo", detail);
  SysFreeString(got);
}
#define CHECK_INFO(plugin, key, expected) CheckInfo(plugin, key, expected, __LINE__)

typedef struct {
  USHORT page;
  USHORT usage;
} Collection;

typedef struct {
  int type;
  const wchar_t* name;
  const wchar_t* displayName;
  const wchar_t* enableOnInstall;
  int blastPorts;
  int canBlast;
  int takesShutdown; /* SetInfo("System Shutdown") recognised */
  int collectionCount;
  Collection collections[5];
  const wchar_t* lastError; /* right after creation; NULL for none */
} PluginCase;

static const PluginCase kPlugins[] = {
    {0, L"MCE", L"Microsoft MCE", L"1", 0, 1, 1, 2, {{0xFFBC, 0x0088}, {0x000C, 0x0001}}, NULL},
    {1, L"Raw Input", L"Remote, keyboard, gamepad or other HID", L"0", 0, 0, 0, 5,
     {{0x000C, 0x0001}, {0x000C, 0x0080}, {0xFFBC, 0x0088}, {0x0001, 0x0006}, {0x0001, 0x0080}}, NULL},
    {2, L"IRMAN", L"IRMAN", L"0", 0, 0, 1, 0, {{0}}, NULL},
    /* No transceiver driver lies on the loader's path here. */
    {3, L"USB-UUIRT", L"USB-UUIRT", L"0", 3, 1, 1, 0, {{0}},
     L"ERROR: Unable to load uuirtdrv.dll. Update your driver at https://support.zorvane.com/usb-uirt/driver"},
};

static void DrivePlugin(CreateFn create, const PluginCase* c) {
  Host host = {&kHostVtbl, 0, 0};
  Learner learner = {&kLearnerVtbl, 0};
  void* plugin = create(kGarbage | (unsigned)c->type, &host);
  printf("plug-in %d (%ls)\n", c->type, c->name);
  CHECK(plugin != NULL);
  if (!plugin) return;

  CHECK_INFO(plugin, L"Version", L"3");
  CHECK_INFO(plugin, L"version", L"3");
  CHECK_INFO(plugin, L"Name", c->name);
  CHECK_INFO(plugin, L"NAME", c->name);
  CHECK_INFO(plugin, L"Display Name", c->displayName);
  CHECK_INFO(plugin, L"Configurable", L"0");
  CHECK_INFO(plugin, L"EnableOnInstall", c->enableOnInstall);
  CHECK_INFO(plugin, L"Last Error", c->lastError ? c->lastError : L"");
  CHECK_INFO(plugin, L"No Such Key", L"");
  CHECK_INFO(plugin, L"Name ", L"");
  CHECK_INFO(plugin, NULL, L"");
  CHECK_INFO(plugin, (const wchar_t*)(ULONG_PTR)1, L"");

  {
    SetInfoFn setInfo = (SetInfoFn)Slot(plugin, kSlotSetInfo);
    CHECK_INT(setInfo(plugin, L"system shutdown", L"1"), c->takesShutdown);
    CHECK_INT(setInfo(plugin, L"System Shutdown", NULL), c->takesShutdown);
    CHECK_INT(setInfo(plugin, L"System Shutdown", L"  -7x"), c->takesShutdown);
    CHECK_INT(setInfo(plugin, L"Unknown Setting", L"1"), 0);
    CHECK_INT(setInfo(plugin, NULL, L"1"), 0);
  }

  {
    RawInputDeviceFn rawInputDevice = (RawInputDeviceFn)Slot(plugin, kSlotRawInputDevice);
    int i;
    RAWINPUTDEVICE device;
    for (i = 0; i < c->collectionCount; ++i) {
      memset(&device, 0xCD, sizeof device);
      CHECK_INT(rawInputDevice(plugin, kGarbage | (unsigned)i, &device), 1);
      CHECK_INT(device.usUsagePage, c->collections[i].page);
      CHECK_INT(device.usUsage, c->collections[i].usage);
      CHECK_INT(device.dwFlags, 0x100);
    }
    /* Past the table, and a negative index: false, and the record is left as it was. */
    memset(&device, 0xCD, sizeof device);
    CHECK_INT(rawInputDevice(plugin, kGarbage | (unsigned)c->collectionCount, &device), 0);
    CHECK_INT(rawInputDevice(plugin, kGarbage | 0xFFFFFFFFu, &device), 0);
    CHECK_INT(device.usUsagePage, 0xCDCD);
    CHECK_INT(device.dwFlags, 0xCDCDCDCD);
    CHECK_INT(rawInputDevice(plugin, 0, NULL), 0);
  }

  CHECK_INT(((BoolFn)Slot(plugin, kSlotReservedQuery))(plugin), 0);
  CHECK_INT(((IntFn)Slot(plugin, kSlotNumBlastPorts))(plugin), c->blastPorts);
  CHECK_INT(((BoolFn)Slot(plugin, kSlotCanBlast))(plugin), c->canBlast);
  CHECK_INT(((BlastFn)Slot(plugin, kSlotBlast))(plugin, NULL), 0);
  CHECK_INT(((BlastFn)Slot(plugin, kSlotBlast))(plugin, L"not an IR code"), 0);
  CHECK_INT(((WindowMessageFn)Slot(plugin, kSlotWindowMessage))(plugin, kGarbage | WM_USER, 0, 0), 0);

  /* Without a device a learn cannot begin; cancelling one that never began is harmless. */
  CHECK_INT(((LearnFn)Slot(plugin, kSlotLearn))(plugin, NULL), 0);
  ((VoidFn)Slot(plugin, kSlotLearnCancel))(plugin);
  CHECK_INT(learner.learned, 0);

  {
    /* A start that fails must say why; stopping is always possible. */
    Bool8 started = ((StartFn)Slot(plugin, kSlotStart))(plugin, kGarbage | 1);
    if (!started) {
      BSTR error = ((GetInfoFn)Slot(plugin, kSlotGetInfo))(plugin, L"Last Error");
      CHECK(error != NULL && SysStringLen(error) > 0);
      if (error) printf("  Start failed as expected here: %ls\n", error);
      SysFreeString(error);
    }
    CHECK_INT(((BoolFn)Slot(plugin, kSlotStop))(plugin), 1);
  }

  /* Nothing above may have called back into the host. */
  CHECK_INT(host.codes, 0);
  CHECK_INT(host.values, 0);

  CHECK(((DestroyFn)Slot(plugin, kSlotDestroy))(plugin, 1) == plugin);
}

static void CheckVersionResource(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  void* data;
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  wchar_t* text = NULL;
  CHECK(size > 0);
  if (!size) return;
  data = HeapAlloc(GetProcessHeap(), 0, size);
  CHECK(GetFileVersionInfoW(path, 0, size, data));
  CHECK(VerQueryValueW(data, L"\\", (void**)&fixed, &length) && fixed);
  if (fixed) {
    CHECK_INT(fixed->dwFileVersionMS, 0x00010000);
    CHECK_INT(fixed->dwFileVersionLS, 0x00010000);
  }
  CHECK(VerQueryValueW(data, L"\\StringFileInfo\\040904B0\\FileVersion", (void**)&text, &length) && text &&
        wcscmp(text, L"1.0.1") == 0);
  CHECK(VerQueryValueW(data, L"\\StringFileInfo\\040904B0\\CompanyName", (void**)&text, &length) && text &&
        wcscmp(text, L"Zorvane, Inc.") == 0);
  CHECK(VerQueryValueW(data, L"\\StringFileInfo\\040904B0\\FileDescription", (void**)&text, &length) &&
        text && wcscmp(text, L"Zorvane main remote control plug-ins.") == 0);
  HeapFree(GetProcessHeap(), 0, data);
}

int main(void) {
  wchar_t path[MAX_PATH];
  wchar_t* slash;
  HMODULE module;
  CreateFn create;
  size_t i;

  GetModuleFileNameW(NULL, path, MAX_PATH);
  slash = wcsrchr(path, L'\\');
  wcscpy(slash ? slash + 1 : path, L"ZrRemoteControl.dll");

  module = LoadLibraryW(path);
  if (!module) {
    printf("FAIL: LoadLibrary(%ls) error %lu\n", path, GetLastError());
    return 1;
  }
  create = (CreateFn)(void*)GetProcAddress(module, "CreateRemoteControl");
  CHECK(create != NULL);
  CHECK(GetProcAddress(module, "DllRegisterServer") != NULL);
  CHECK(GetProcAddress(module, "DllUnregisterServer") != NULL);
  if (create) {
    Host host = {&kHostVtbl, 0, 0};
    CHECK(create(4, &host) == NULL);
    CHECK(create(kGarbage | 0xFFFFFFFFu, &host) == NULL);
    for (i = 0; i < sizeof kPlugins / sizeof kPlugins[0]; ++i) DrivePlugin(create, &kPlugins[i]);
    CHECK_INT(host.codes + host.values, 0);
  }
  CheckVersionResource(path);

  CHECK(FreeLibrary(module));
  printf("%d checks, %d failures\n", g_checks, g_failures);
  return g_failures ? 1 : 0;
}
