/*
 * A module that keeps most of the plug-in interface and breaks a few promises that a host can
 * only see from outside: the faults `rchost validate` must find.
 *  - GetInfo answers null for a key it does not know, and frees its previous answer, which
 *    belonged to the caller, at the next call.
 *  - Stop before Start answers false.
 *  - Start delivers a code from a thread of its own (the MCE plug-in must use the host's thread),
 *    never frees that code, and leaves the thread running.
 */
#include <windows.h>
#include <oleauto.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

typedef struct Plugin Plugin;
typedef struct {
  void* slots[13];
} Vtbl;
struct Plugin {
  const Vtbl* vtbl;
  int type;
  void** host; /* the host object: its first member is its table of operations */
  BSTR previous;
  int everStarted;
};

static const wchar_t* const kNames[] = {L"MCE", L"Raw Input", L"IRMAN", L"USB-UUIRT"};
static HANDLE g_never;

typedef unsigned char (*OnRemoteCodeFn)(void* host, void* sender, BSTR code, int milliseconds);

static void* Destroy(Plugin* self, unsigned flags) {
  if (flags & 1) free(self);
  return self;
}

static DWORD WINAPI Deliver(void* argument) {
  Plugin* self = (Plugin*)argument;
  OnRemoteCodeFn onRemoteCode = (OnRemoteCodeFn)((void**)*self->host)[0];
  onRemoteCode(self->host, self, SysAllocString(L"FAULTY_CODE"), 0);
  WaitForSingleObject(g_never, INFINITE);
  return 0;
}

static unsigned char Start(Plugin* self, int flag) {
  (void)flag;
  self->everStarted = 1;
  if (self->type == 0 && self->host) CloseHandle(CreateThread(NULL, 0, Deliver, self, 0, NULL));
  return 1;
}
static unsigned char Stop(Plugin* self) { return (unsigned char)self->everStarted; }
static unsigned char False(Plugin* self) { return 0; }
static int NoPorts(Plugin* self) { return 0; }
static unsigned char Blast(Plugin* self, const wchar_t* code) { return 0; }
static unsigned char Learn(Plugin* self, void* callback) { return 0; }
static void Cancel(Plugin* self) {}
static BSTR GetInfo(Plugin* self, const wchar_t* name) {
  const wchar_t* answer = NULL;
  if (self->previous) SysFreeString(self->previous);
  self->previous = NULL;
  if (!name || IsBadStringPtrW(name, (UINT_PTR)-1)) return NULL;
  if (_wcsicmp(name, L"Version") == 0) answer = L"3";
  else if (_wcsicmp(name, L"Name") == 0 || _wcsicmp(name, L"Display Name") == 0) answer = kNames[self->type];
  else if (_wcsicmp(name, L"Configurable") == 0 || _wcsicmp(name, L"EnableOnInstall") == 0) answer = L"0";
  else if (_wcsicmp(name, L"Last Error") == 0) answer = L"";
  if (!answer) return NULL;
  self->previous = SysAllocString(answer);
  return self->previous;
}
static unsigned char SetInfo(Plugin* self, const wchar_t* name, const wchar_t* value) { return 0; }
static unsigned char RawInputDevice(Plugin* self, int index, RAWINPUTDEVICE* device) { return 0; }
static unsigned char WindowMessage(Plugin* self, UINT message, WPARAM wParam, LPARAM lParam) { return 0; }

static const Vtbl kVtbl = {{(void*)Destroy, (void*)Start, (void*)Stop, (void*)False, (void*)NoPorts, (void*)False,
                            (void*)Blast, (void*)Learn, (void*)Cancel, (void*)GetInfo, (void*)SetInfo,
                            (void*)RawInputDevice, (void*)WindowMessage}};

__declspec(dllexport) void* CreateRemoteControl(int type, void* host) {
  Plugin* plugin;
  if (type < 0 || type > 3) return NULL;
  if (!g_never) g_never = CreateEventW(NULL, TRUE, FALSE, NULL);
  plugin = (Plugin*)calloc(1, sizeof *plugin);
  plugin->vtbl = &kVtbl;
  plugin->type = type;
  plugin->host = (void**)host;
  return plugin;
}

__declspec(dllexport) HRESULT DllRegisterServer(void) { return S_OK; }
__declspec(dllexport) HRESULT DllUnregisterServer(void) { return S_OK; }
