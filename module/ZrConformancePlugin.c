/* One plug-in driven by slot number, with a host and a learn callback laid out as the other
 * compiler lays out a class with virtual operations. */
#include <string.h>

#include "module/ZrBstrSpy.h"
#include "module/ZrConformanceCheck.h"

/* ---- the host object ---- */

#define kWatchedCodes 64

typedef struct Host Host;
typedef struct {
  Bool8 (*OnRemoteCode)(Host* self, void* sender, BSTR code, int milliseconds);
  BSTR (*GetValue)(Host* self, const wchar_t* name);
} HostVtbl;

struct Host {
  const HostVtbl* vtbl;
  CRITICAL_SECTION lock;
  void* plugin;        /* null until CreateRemoteControl has returned */
  void* earlySender;   /* the sender of the codes that came before that */
  LONG earlyCodes;
  DWORD mainThread;
  int onDriverThread;
  volatile LONG codes;
  LONG values;
  LONG wrongSender;
  LONG wrongThread;
  LONG notTheModules; /* a code that is no live BSTR of the module's */
  LONG unreadable;
  LONG negativeMs;
  LONG valueWrongThread;
  int watched;
  BSTR watchedCodes[kWatchedCodes];
  unsigned long watchedAllocations[kWatchedCodes];
  wchar_t firstCode[64];
};

static int IsText(const wchar_t* text) { return text && !IsBadStringPtrW(text, (UINT_PTR)-1); }

static Bool8 HostOnRemoteCode(Host* self, void* sender, BSTR code, int milliseconds) {
  const DWORD thread = GetCurrentThreadId();
  const unsigned long allocation = ZrBstrSpyLiveAllocation(code);
  const int readable = IsText(code) && SysStringLen(code) == wcslen(code) && SysStringLen(code) > 0;
  EnterCriticalSection(&self->lock);
  /* A driver's thread may deliver while CreateRemoteControl still runs, before the host knows the
   * plug-in's address: those codes must all name one sender, checked once the address is known. */
  if (!self->plugin) {
    if (self->earlyCodes++ == 0) self->earlySender = sender;
    if (sender != self->earlySender) ++self->wrongSender;
  } else if (sender != self->plugin) {
    ++self->wrongSender;
  }
  if (self->onDriverThread ? thread == self->mainThread : thread != self->mainThread) ++self->wrongThread;
  if (!readable) ++self->unreadable;
  if (milliseconds < 0) ++self->negativeMs;
  if (!allocation) ++self->notTheModules;
  if (self->watched < kWatchedCodes && allocation) {
    self->watchedCodes[self->watched] = code;
    self->watchedAllocations[self->watched] = allocation;
    ++self->watched;
  }
  if (self->codes == 0 && readable) {
    wcsncpy(self->firstCode, code, 63);
    self->firstCode[63] = 0;
  }
  InterlockedIncrement(&self->codes);
  LeaveCriticalSection(&self->lock);
  return 1;
}

static BSTR HostGetValue(Host* self, const wchar_t* name) {
  BSTR answer = SysAllocString(L"0");
  EnterCriticalSection(&self->lock);
  ++self->values;
  if (GetCurrentThreadId() != self->mainThread) ++self->valueWrongThread;
  LeaveCriticalSection(&self->lock);
  /* The module frees the answer. */
  ZrBstrSpyHostGives(answer);
  return answer;
}

static const HostVtbl kHostVtbl = {HostOnRemoteCode, HostGetValue};

/* ---- the learn callback ---- */

typedef struct Learner Learner;
typedef struct {
  Bool8 (*OnLearned)(Learner* self, BSTR code);
} LearnerVtbl;

struct Learner {
  const LearnerVtbl* vtbl;
  DWORD mainThread;
  volatile LONG learned;
  LONG wrongThread;
  LONG notTheModules;
  LONG unreadable;
  BSTR kept; /* the first code, kept until the plug-in is gone to see that the module lets go */
};

static Bool8 LearnerOnLearned(Learner* self, BSTR code) {
  const int readable = IsText(code) && SysStringLen(code) > 0;
  const int taken = ZrBstrSpyHostTakes(code);
  if (GetCurrentThreadId() != self->mainThread) InterlockedIncrement(&self->wrongThread);
  if (!taken) InterlockedIncrement(&self->notTheModules);
  if (!readable) InterlockedIncrement(&self->unreadable);
  if (InterlockedCompareExchangePointer((void**)&self->kept, code, NULL) != NULL) ZrBstrSpyHostFree(code);
  InterlockedIncrement(&self->learned);
  return 1;
}

static const LearnerVtbl kLearnerVtbl = {LearnerOnLearned};

/* ---- the host's window, which hands raw input to the plug-in ---- */

static void* g_listening;

static LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INPUT && g_listening)
    ((WindowMessageFn)SLOT(g_listening, kSlotWindowMessage))(g_listening, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

static HWND MakeListener(void) {
  WNDCLASSEXW windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = ListenerProc;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.lpszClassName = L"ZrConformanceListener";
  RegisterClassExW(&windowClass);
  return CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, NULL, NULL,
                         windowClass.hInstance, NULL);
}

static int CountThreads(void) {
  int count = 0;
  THREADENTRY32 entry;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  entry.dwSize = sizeof entry;
  if (Thread32First(snapshot, &entry)) {
    do {
      if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    } while (Thread32Next(snapshot, &entry));
  }
  CloseHandle(snapshot);
  return count;
}

/* ---- the checks ---- */

/* A key shown in a line: careless keys by what they are, never read. */
static const wchar_t* KeyShown(ZrCheckRun* run, const wchar_t* key) {
  if (!key) return L"(null)";
  if (key == run->huge) return L"(a million characters)";
  if (key == run->unreadable || (ULONG_PTR)key < 0x10000) return L"(unreadable pointer)";
  return key;
}

/* GetInfo(key) must answer `expected`, as a BSTR the module allocated and the caller frees. */
static void CheckInfo(ZrCheckRun* run, void* plugin, const wchar_t* key, const wchar_t* expected) {
  BSTR got = ((GetInfoFn)SLOT(plugin, kSlotGetInfo))(plugin, key);
  const int owned = !run->spying || ZrBstrSpyHostTakes(got);
  if (!got) {
    ZrCheck(run, 0, L"GetInfo(\"%ls\") answered null, expected \"%ls\"", KeyShown(run, key), expected);
    return;
  }
  if (!owned) {
    /* Not the module's allocation: it must not be freed here. */
    ZrCheck(run, 0, L"GetInfo(\"%ls\") answered a string the module did not allocate with SysAllocString",
            KeyShown(run, key));
    return;
  }
  ZrCheck(run, wcscmp(got, expected) == 0 && SysStringLen(got) == wcslen(expected),
          L"GetInfo(\"%ls\") = \"%.80ls\" (length %u), expected \"%ls\"", KeyShown(run, key), got, SysStringLen(got),
          expected);
  ZrBstrSpyHostFree(got);
}

/* The answer as text, for a check that depends on it. */
static void ReadInfo(ZrCheckRun* run, void* plugin, const wchar_t* key, wchar_t* text, size_t size) {
  BSTR got = ((GetInfoFn)SLOT(plugin, kSlotGetInfo))(plugin, key);
  text[0] = 0;
  if (run->spying) ZrBstrSpyHostTakes(got);
  if (IsText(got)) {
    wcsncpy(text, got, size - 1);
    text[size - 1] = 0;
  }
  ZrBstrSpyHostFree(got);
}

static void CheckInformation(ZrCheckRun* run, void* plugin, const ZrPluginCase* c) {
  static const wchar_t* const kNoKeys[] = {L"No Such Key", L"Name ", L"", L"Last Error\x0001"};
  size_t i;
  CheckInfo(run, plugin, L"Version", L"3");
  CheckInfo(run, plugin, L"version", L"3");
  CheckInfo(run, plugin, L"Name", c->name);
  CheckInfo(run, plugin, L"NAME", c->name);
  CheckInfo(run, plugin, L"Display Name", c->displayName);
  CheckInfo(run, plugin, L"display name", c->displayName);
  CheckInfo(run, plugin, L"Configurable", L"0");
  CheckInfo(run, plugin, L"EnableOnInstall", c->enableOnInstall);
  CheckInfo(run, plugin, L"ENABLEONINSTALL", c->enableOnInstall);
  for (i = 0; i < sizeof kNoKeys / sizeof kNoKeys[0]; ++i) CheckInfo(run, plugin, kNoKeys[i], L"");
  CheckInfo(run, plugin, NULL, L"");
  CheckInfo(run, plugin, run->huge, L"");
  CheckInfo(run, plugin, (const wchar_t*)(ULONG_PTR)1, L"");
  CheckInfo(run, plugin, run->unreadable, L"");
}

static void CheckSettings(ZrCheckRun* run, void* plugin, const ZrPluginCase* c) {
  static const struct {
    const wchar_t* name;
    const wchar_t* value;
    int recognised; /* 1: answers as the plug-in takes "System Shutdown"; 0: false everywhere */
  } kCases[] = {
      {L"system shutdown", L"1", 1}, {L"SYSTEM SHUTDOWN", L"  -7x", 1}, {L"System Shutdown", NULL, 1},
      {L"System Shutdown", (const wchar_t*)1, 1}, {L"Unknown Setting", L"1", 0}, {L"", L"1", 0},
      {NULL, L"1", 0}, {(const wchar_t*)1, L"1", 0},
  };
  SetInfoFn setInfo = (SetInfoFn)SLOT(plugin, kSlotSetInfo);
  size_t i;
  for (i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    const wchar_t* value = kCases[i].value == (const wchar_t*)1 ? run->unreadable : kCases[i].value;
    const wchar_t* name = kCases[i].name == (const wchar_t*)1 ? run->unreadable : kCases[i].name;
    const int expected = kCases[i].recognised && c->takesShutdown;
    ZrCheck(run, setInfo(plugin, name, value) == expected, L"SetInfo(\"%ls\", \"%ls\") answers %d", KeyShown(run, name),
            value ? KeyShown(run, value) : L"(null)", expected);
  }
  ZrCheck(run, setInfo(plugin, run->huge, run->huge) == 0, L"SetInfo(a million characters, the same) answers 0");
  ZrCheck(run, setInfo(plugin, L"System Shutdown", run->huge) == c->takesShutdown,
          L"SetInfo(\"System Shutdown\", a million characters) answers %d", c->takesShutdown);
  /* Leave the flag clear: a plug-in stopped at shutdown skips some of its clean-up. */
  setInfo(plugin, L"System Shutdown", L"0");
}

static void CheckCollections(ZrCheckRun* run, void* plugin, const ZrPluginCase* c) {
  RawInputDeviceFn rawInputDevice = (RawInputDeviceFn)SLOT(plugin, kSlotRawInputDevice);
  RAWINPUTDEVICE device;
  int i;
  for (i = 0; i < c->collectionCount; ++i) {
    Bool8 filled;
    memset(&device, 0xCD, sizeof device);
    filled = rawInputDevice(plugin, kGarbage | (unsigned)i, &device);
    ZrCheck(run, filled && device.usUsagePage == c->collections[i].page && device.usUsage == c->collections[i].usage &&
                     device.dwFlags == RIDEV_INPUTSINK,
            L"GetRawInputDevice(%d) = %d, 0x%04X/0x%04X flags 0x%lX, expected 1, 0x%04X/0x%04X flags 0x100", i, filled,
            device.usUsagePage, device.usUsage, device.dwFlags, c->collections[i].page, c->collections[i].usage);
  }
  /* Past the table, and a negative index: false, and the record is left as it was. */
  memset(&device, 0xCD, sizeof device);
  ZrCheck(run, rawInputDevice(plugin, kGarbage | (unsigned)c->collectionCount, &device) == 0 &&
                   rawInputDevice(plugin, kGarbage | 0xFFFFFFFFu, &device) == 0 && device.usUsagePage == 0xCDCD &&
                   device.dwFlags == 0xCDCDCDCD,
          L"GetRawInputDevice past the table (%d) and at -1 answers 0 and leaves the record alone",
          c->collectionCount);
  ZrCheck(run, rawInputDevice(plugin, 0, NULL) == 0, L"GetRawInputDevice(0, null) answers 0");
}

static void CheckBlasting(ZrCheckRun* run, void* plugin, const ZrPluginCase* c) {
  BlastFn blast = (BlastFn)SLOT(plugin, kSlotBlast);
  const int ports = ((IntFn)SLOT(plugin, kSlotNumBlastPorts))(plugin);
  const Bool8 canBlast = ((BoolFn)SLOT(plugin, kSlotCanBlast))(plugin);
  ZrCheck(run, ((BoolFn)SLOT(plugin, kSlotReservedQuery))(plugin) == 0, L"ReservedQuery answers 0");
  if (c->blastPorts < 0)
    ZrCheck(run, ports >= 0, L"IRGetNumBlastPorts = %d, expected a count", ports);
  else
    ZrCheck(run, ports == c->blastPorts, L"IRGetNumBlastPorts = %d, expected %d", ports, c->blastPorts);
  ZrCheck(run, canBlast == c->canBlast, L"IRCanBlast = %d, expected %d", canBlast, c->canBlast);
  ZrCheck(run, blast(plugin, NULL) == 0, L"IRBlast(null) answers 0");
  ZrCheck(run, blast(plugin, L"") == 0, L"IRBlast(\"\") answers 0");
  ZrCheck(run, blast(plugin, L"not an IR code") == 0, L"IRBlast(\"not an IR code\") answers 0");
  ZrCheck(run, blast(plugin, run->huge) == 0, L"IRBlast(a million characters) answers 0");
  ZrCheck(run, blast(plugin, run->unreadable) == 0, L"IRBlast(unreadable pointer) answers 0");
}

static void CheckMessages(ZrCheckRun* run, void* plugin) {
  WindowMessageFn message = (WindowMessageFn)SLOT(plugin, kSlotWindowMessage);
  ZrCheck(run, message(plugin, kGarbage | WM_USER, 0, 0) == 0, L"OnWindowMessage(WM_USER) answers 0");
  /* A raw-input handle that names nothing. */
  ZrCheck(run, message(plugin, kGarbage | WM_INPUT, 0, (LPARAM)0x5A5A1234) == 0,
          L"OnWindowMessage(WM_INPUT with a handle that names nothing) answers 0");
}

/* Codes that arrived: on the promised thread, from this plug-in, as the module's own BSTRs that it
 * frees once the call has returned. Called after Stop, when no delivery is under way. */
static void CheckCodes(ZrCheckRun* run, Host* host, const ZrPluginCase* c) {
  int i, kept = 0;
  const LONG codes = InterlockedCompareExchange((LONG*)&host->codes, 0, 0);
  if (codes == 0) {
    ZrSkip(run, L"no codes arrived (no device sending here): their thread and ownership are unchecked");
    return;
  }
  ZrLine(run, L"      %ls: %ld codes, the first \"%ls\"", c->name, codes, host->firstCode);
  ZrCheck(run, host->wrongThread == 0, L"OnRemoteCode arrives on %ls (%ld of %ld codes did not)",
          c->codesOnDriverThread ? L"the driver's thread, not the host's" : L"the host's thread", host->wrongThread,
          codes);
  ZrCheck(run, host->wrongSender == 0, L"OnRemoteCode names the plug-in as sender (%ld did not)", host->wrongSender);
  ZrCheck(run, host->unreadable == 0, L"OnRemoteCode codes are non-empty BSTRs (%ld were not)", host->unreadable);
  ZrCheck(run, host->negativeMs == 0, L"OnRemoteCode milliseconds are not negative (%ld were)", host->negativeMs);
  if (!run->spying) return;
  for (i = 0; i < host->watched; ++i)
    if (!ZrBstrSpyAllocationEnded(host->watchedCodes[i], host->watchedAllocations[i])) ++kept;
  ZrCheck(run, host->notTheModules == 0, L"OnRemoteCode codes are BSTRs the module allocated (%ld were not)",
          host->notTheModules);
  ZrCheck(run, kept == 0, L"the module frees each code after OnRemoteCode returns (%d of %d still held)", kept,
          host->watched);
}

static void CheckLearn(ZrCheckRun* run, void* plugin, Learner* learner) {
  const Bool8 learning = ((LearnFn)SLOT(plugin, kSlotLearn))(plugin, learner);
  LONG learned;
  if (!learning) {
    ZrSkip(run, L"IRLearn does not begin here: the learned code's thread and ownership are unchecked");
    return;
  }
  ZrPumpUntil(&learner->learned, 1, run->options->learnMs);
  learned = InterlockedCompareExchange((LONG*)&learner->learned, 0, 0);
  if (!learned) {
    ((VoidFn)SLOT(plugin, kSlotLearnCancel))(plugin);
    ZrSkip(run, L"no code learned in %d ms (nothing to learn from here); the learn was cancelled",
           run->options->learnMs);
    return;
  }
  ZrCheck(run, learner->wrongThread == 0, L"OnLearned arrives on the host's thread");
  ZrCheck(run, learner->unreadable == 0, L"OnLearned hands a non-empty BSTR");
  if (run->spying)
    ZrCheck(run, learner->notTheModules == 0, L"OnLearned hands a BSTR the module allocated");
}

/* Every order a host may use: stop before start, start twice, stop twice, start again. */
static void CheckStartStop(ZrCheckRun* run, void* plugin, Host* host, Learner* learner, const ZrPluginCase* c,
                           const wchar_t* createError) {
  StartFn start = (StartFn)SLOT(plugin, kSlotStart);
  BoolFn stop = (BoolFn)SLOT(plugin, kSlotStop);
  wchar_t error[512];
  Bool8 started, again;

  ZrCheck(run, stop(plugin) == 1, L"Stop before Start answers 1");
  started = start(plugin, kGarbage | 1);
  ReadInfo(run, plugin, L"Last Error", error, 512);
  if (started) {
    ZrLine(run, L"      %ls: started", c->name);
    ZrCheck(run, createError[0] == 0, L"a plug-in that starts had no error after creation (\"%ls\")", createError);
  } else {
    ZrLine(run, L"      %ls: cannot start here: %ls", c->name, error);
    ZrCheck(run, error[0] != 0, L"a failed Start leaves a \"Last Error\"");
  }
  again = start(plugin, kGarbage | 1);
  if (!started) {
    ReadInfo(run, plugin, L"Last Error", error, 512);
    ZrCheck(run, again == 0 && error[0] != 0, L"a second failed Start answers 0 and says why again");
  } else {
    ZrLine(run, L"      %ls: Start while started answered %d", c->name, again);
  }
  ZrCheck(run, stop(plugin) == 1, L"Stop answers 1");
  ZrCheck(run, stop(plugin) == 1, L"Stop twice answers 1");
  if (!started) return;

  ZrCheck(run, start(plugin, kGarbage | 0) == 1, L"starts again after Stop");
  {
    HWND window = MakeListener();
    RAWINPUTDEVICE devices[8];
    int count = 0;
    while (count < 8 && ((RawInputDeviceFn)SLOT(plugin, kSlotRawInputDevice))(plugin, count, &devices[count])) {
      devices[count].hwndTarget = window;
      ++count;
    }
    if (count && window) RegisterRawInputDevices(devices, (UINT)count, sizeof(RAWINPUTDEVICE));
    g_listening = plugin;
    if (run->options->listenMs > 0) ZrPumpUntil(&host->codes, 3, run->options->listenMs);
    if (run->options->learnMs > 0) CheckLearn(run, plugin, learner);
    ZrCheck(run, stop(plugin) == 1, L"Stop after running answers 1");
    g_listening = NULL;
    if (count) {
      int i;
      for (i = 0; i < count; ++i) {
        devices[i].dwFlags = RIDEV_REMOVE;
        devices[i].hwndTarget = NULL;
      }
      RegisterRawInputDevices(devices, (UINT)count, sizeof(RAWINPUTDEVICE));
    }
    if (window) DestroyWindow(window);
    CheckCodes(run, host, c);
  }
}

void ZrCheckPlugin(ZrCheckRun* run, CreateFn create, const ZrPluginCase* c) {
  Host host;
  Learner learner = {&kLearnerVtbl, run->mainThread, 0, 0, 0, 0, NULL};
  const int threadsBefore = CountThreads();
  const ZrBstrSpyCounts before = ZrBstrSpyGetCounts();
  wchar_t createError[512];
  void* plugin;

  memset(&host, 0, sizeof host);
  host.vtbl = &kHostVtbl;
  InitializeCriticalSection(&host.lock);
  host.mainThread = run->mainThread;
  host.onDriverThread = c->codesOnDriverThread;
  run->scope = NULL;
  ZrLine(run, L"plug-in %d (%ls)", c->type, c->name);
  run->scope = c->name;

  plugin = create(kGarbage | (unsigned)c->type, &host);
  if (!ZrCheck(run, plugin != NULL, L"CreateRemoteControl(%d) makes a plug-in", c->type)) {
    DeleteCriticalSection(&host.lock);
    return;
  }
  EnterCriticalSection(&host.lock);
  host.plugin = plugin;
  if (host.earlyCodes > 0 && host.earlySender != plugin) ++host.wrongSender;
  LeaveCriticalSection(&host.lock);
  /* A driver's thread may deliver codes as soon as the device is open. */
  ZrCheck(run, host.values == 0 && (c->codesOnDriverThread || host.codes == 0),
          L"creation calls nothing of the host");
  ReadInfo(run, plugin, L"Last Error", createError, 512);

  CheckInformation(run, plugin, c);
  CheckSettings(run, plugin, c);
  CheckCollections(run, plugin, c);
  CheckBlasting(run, plugin, c);
  CheckMessages(run, plugin);
  ZrCheck(run, ((LearnFn)SLOT(plugin, kSlotLearn))(plugin, NULL) == 0, L"IRLearn(null) answers 0");
  ((VoidFn)SLOT(plugin, kSlotLearnCancel))(plugin);
  ZrCheck(run, learner.learned == 0, L"IRLearnCancel without a learn is harmless");
  ZrCheck(run, host.values == 0 && (c->codesOnDriverThread || host.codes == 0),
          L"nothing before Start calls back into the host");

  CheckStartStop(run, plugin, &host, &learner, c, createError);

  ZrCheck(run, ((DestroyFn)SLOT(plugin, kSlotDestroy))(plugin, kGarbage | 1) == plugin,
          L"slot 0 with flags 1 destroys the plug-in and answers it");
  if (learner.kept) {
    /* The learned code is the host's: the module may not free it, neither after the call nor at
     * its destruction. */
    ZrCheck(run, !run->spying || ZrBstrSpyGetCounts().freedHostOwned == before.freedHostOwned,
            L"the module never frees the learned code it handed over");
    ZrBstrSpyHostFree(learner.kept);
  }
  if (host.values > 0)
    ZrCheck(run, host.valueWrongThread == 0, L"GetValue is asked on the host's thread (%ld asked)", host.values);
  if (run->spying) {
    const ZrBstrSpyCounts after = ZrBstrSpyGetCounts();
    ZrCheck(run, after.live == before.live, L"every BSTR the module allocated was freed or handed over (%ld held)",
            after.live - before.live);
    ZrCheck(run, after.freedTwice == before.freedTwice, L"no BSTR freed twice (%ld)", after.freedTwice - before.freedTwice);
    ZrCheck(run, after.freedHostOwned == before.freedHostOwned, L"no BSTR of the host's freed by the module (%ld)",
            after.freedHostOwned - before.freedHostOwned);
    ZrCheck(run, after.hostGiftsPending == before.hostGiftsPending, L"GetValue answers freed by the module (%ld not)",
            after.hostGiftsPending - before.hostGiftsPending);
  }
  if (threadsBefore > 0) {
    /* A thread may still be on its way out when its owner returns. */
    const ULONGLONG end = GetTickCount64() + 3000;
    int threads = CountThreads();
    while (threads > threadsBefore && GetTickCount64() < end) {
      Sleep(20);
      threads = CountThreads();
    }
    ZrCheck(run, threads <= threadsBefore, L"no thread left running after destruction (%d before, %d after)",
            threadsBefore, threads);
  }
  DeleteCriticalSection(&host.lock);
  run->scope = NULL;
}
