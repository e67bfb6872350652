#include "module/ZrConformance.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "module/ZrBstrSpy.h"
#include "module/ZrConformanceCheck.h"

/* ---- the report ---- */

static void Emit(ZrCheckRun* run, const wchar_t* tag, const wchar_t* format, va_list arguments) {
  wchar_t text[1024];
  wchar_t line[1200];
  _vsnwprintf(text, 1023, format, arguments);
  text[1023] = 0;
  if (tag)
    _snwprintf(line, 1199, L"%-5ls %ls%ls%ls", tag, run->scope ? run->scope : L"", run->scope ? L": " : L"", text);
  else
    _snwprintf(line, 1199, L"%ls", text);
  line[1199] = 0;
  {
    /* One line each, whatever the texts quoted in it hold. */
    wchar_t* c;
    for (c = line; *c; ++c)
      if (*c == L'\r' || *c == L'\n') *c = L' ';
  }
  run->options->print(run->options->context, line);
}

void ZrLine(ZrCheckRun* run, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Emit(run, NULL, format, arguments);
  va_end(arguments);
}

int ZrCheck(ZrCheckRun* run, int ok, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Emit(run, ok ? L"ok" : L"FAIL", format, arguments);
  va_end(arguments);
  if (ok)
    ++run->result.passed;
  else
    ++run->result.failed;
  return ok;
}

void ZrSkip(ZrCheckRun* run, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Emit(run, L"skip", format, arguments);
  va_end(arguments);
  ++run->result.skipped;
}

void ZrPumpUntil(volatile LONG* counter, LONG target, int ms) {
  const ULONGLONG end = GetTickCount64() + (ULONGLONG)(ms > 0 ? ms : 0);
  for (;;) {
    MSG message;
    ULONGLONG now;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    now = GetTickCount64();
    if ((counter && InterlockedCompareExchange((LONG*)counter, 0, 0) >= target) || now >= end) return;
    /* Another thread's callback does not wake this one: look again now and then. */
    MsgWaitForMultipleObjects(0, NULL, FALSE, (DWORD)(end - now < 50 ? end - now : 50), QS_ALLINPUT);
  }
}

/* ---- the DLL as a file: exports, version resource, imports ---- */

static void CheckVersionResource(ZrCheckRun* run, const wchar_t* path) {
  static const struct {
    const wchar_t* key;
    const wchar_t* expected;
  } kStrings[] = {
      {L"\\StringFileInfo\\040904B0\\FileVersion", L"1.0.1"},
      {L"\\StringFileInfo\\040904B0\\CompanyName", L"Zorvane, Inc."},
      {L"\\StringFileInfo\\040904B0\\FileDescription", L"Zorvane main remote control plug-ins."},
  };
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  void* data;
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  size_t i;
  if (!ZrCheck(run, size > 0, L"has a version resource (GetFileVersionInfoSize error %lu)", size ? 0 : GetLastError()))
    return;
  data = HeapAlloc(GetProcessHeap(), 0, size);
  if (!ZrCheck(run, data && GetFileVersionInfoW(path, 0, size, data), L"version resource readable")) {
    if (data) HeapFree(GetProcessHeap(), 0, data);
    return;
  }
  if (VerQueryValueW(data, L"\\", (void**)&fixed, &length) && fixed)
    ZrCheck(run, fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00010000,
            L"fixed file version 0x%08lX 0x%08lX, expected 0x00010000 0x00010000", fixed->dwFileVersionMS,
            fixed->dwFileVersionLS);
  else
    ZrCheck(run, 0, L"version resource has a fixed file version");
  for (i = 0; i < sizeof kStrings / sizeof kStrings[0]; ++i) {
    wchar_t* text = NULL;
    int found = VerQueryValueW(data, kStrings[i].key, (void**)&text, &length) && text;
    ZrCheck(run, found && wcscmp(text, kStrings[i].expected) == 0, L"version %ls = \"%ls\", expected \"%ls\"",
            kStrings[i].key + 26, found ? text : L"(none)", kStrings[i].expected);
  }
  HeapFree(GetProcessHeap(), 0, data);
}

/* A module that needs a DLL the system does not have (a compiler's runtime DLL) does not load on
 * a clean machine: every import must come from the system folder. */
static void CheckImports(ZrCheckRun* run, HMODULE module) {
  IMAGE_DOS_HEADER* dos = (IMAGE_DOS_HEADER*)module;
  IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)((BYTE*)module + dos->e_lfanew);
  IMAGE_DATA_DIRECTORY* directory = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  IMAGE_IMPORT_DESCRIPTOR* descriptor;
  wchar_t system[MAX_PATH];
  UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
  int count = 0;
  ZrCheck(run, nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64, L"is an x64 image (machine 0x%04X)",
          nt->FileHeader.Machine);
  if (!directory->VirtualAddress) {
    ZrCheck(run, 0, L"has an import table");
    return;
  }
  for (descriptor = (IMAGE_IMPORT_DESCRIPTOR*)((BYTE*)module + directory->VirtualAddress); descriptor->Name;
       ++descriptor) {
    const char* name = (const char*)module + descriptor->Name;
    wchar_t path[MAX_PATH * 2];
    int n = _snwprintf(path, MAX_PATH * 2 - 1, L"%ls\\%hs", system, name);
    DWORD attributes = n > 0 && systemLength ? GetFileAttributesW((path[n] = 0, path)) : INVALID_FILE_ATTRIBUTES;
    ++count;
    ZrCheck(run, attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY),
            L"imports %hs, found in the system folder", name);
  }
  ZrCheck(run, count > 0, L"imports %d system DLLs", count);
}

static void CheckFactory(ZrCheckRun* run, CreateFn create) {
  static const unsigned kNoTypes[] = {4, 5, 100, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  size_t i;
  for (i = 0; i < sizeof kNoTypes / sizeof kNoTypes[0]; ++i) {
    void* plugin = create(kGarbage | kNoTypes[i], NULL);
    ZrCheck(run, plugin == NULL, L"CreateRemoteControl(%d) answers null", (int)kNoTypes[i]);
  }
}

static const ZrPluginCase kPlugins[] = {
    /* The MCE plug-in's port count is the host's service's answer: 0 without one. */
    {0, L"MCE", L"Microsoft MCE", L"1", -1, 1, 1, 2, {{0xFFBC, 0x0088}, {0x000C, 0x0001}}, 0},
    {1, L"Raw Input", L"Remote, keyboard, gamepad or other HID", L"0", 0, 0, 0, 5,
     {{0x000C, 0x0001}, {0x000C, 0x0080}, {0xFFBC, 0x0088}, {0x0001, 0x0006}, {0x0001, 0x0080}}, 0},
    {2, L"IRMAN", L"IRMAN", L"0", 0, 0, 1, 0, {{0, 0}}, 0},
    {3, L"USB-UUIRT", L"USB-UUIRT", L"0", 3, 1, 1, 0, {{0, 0}}, 1},
};

ZrConformanceResult ZrConformanceRun(const ZrConformanceOptions* options) {
  ZrCheckRun run;
  HMODULE module;
  CreateFn create;
  size_t i;
  const size_t hugeLength = 1u << 20;
  wchar_t* huge;
  void* page;

  memset(&run, 0, sizeof run);
  run.options = options;
  run.mainThread = GetCurrentThreadId();
  ZrLine(&run, L"module %ls", options->modulePath);

  module = LoadLibraryW(options->modulePath);
  if (!ZrCheck(&run, module != NULL, L"loads (LoadLibrary error %lu)", module ? 0 : GetLastError()))
    return run.result;

  huge = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (hugeLength + 1) * sizeof(wchar_t));
  page = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  if (huge) {
    for (i = 0; i < hugeLength; ++i) huge[i] = (wchar_t)(L'A' + i % 26);
    huge[hugeLength] = 0;
  }
  run.huge = huge ? huge : L"";
  run.unreadable = page ? (const wchar_t*)page : (const wchar_t*)(ULONG_PTR)1;

  run.spying = ZrBstrSpyInstall(module) >= 2;
  if (run.spying)
    ZrLine(&run, L"watching the module's SysAllocString and SysFreeString");
  else
    ZrSkip(&run, L"the module's BSTR allocations cannot be watched (no SysAllocString/SysFreeString imports)");

  create = (CreateFn)(void*)GetProcAddress(module, "CreateRemoteControl");
  ZrCheck(&run, create != NULL, L"exports CreateRemoteControl");
  ZrCheck(&run, GetProcAddress(module, "DllRegisterServer") != NULL, L"exports DllRegisterServer");
  ZrCheck(&run, GetProcAddress(module, "DllUnregisterServer") != NULL, L"exports DllUnregisterServer");
  CheckVersionResource(&run, options->modulePath);
  CheckImports(&run, module);
  if (create) {
    CheckFactory(&run, create);
    for (i = 0; i < sizeof kPlugins / sizeof kPlugins[0]; ++i) ZrCheckPlugin(&run, create, &kPlugins[i]);
  }

  /* The module's own detach frees through the system again. */
  ZrBstrSpyRemove();
  run.scope = NULL;
  ZrCheck(&run, FreeLibrary(module), L"unloads (FreeLibrary)");
  if (huge) HeapFree(GetProcessHeap(), 0, huge);
  if (page) VirtualFree(page, 0, MEM_RELEASE);
  return run.result;
}
