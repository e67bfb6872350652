// The DLL itself: its application object, its entry point and its three exports.

#include "foundation/win/ZrBoundary.h"
#include "module/ZrRegistration.h"
#include "module/ZrRemoteControlApp.h"
#include "module/ZrRemoteControlFactory.h"

namespace {
ZrRemoteControlApp g_remoteControlApp;
}

// The runtime library has run static initialisation before it calls this.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  ZrApp* app = ZrGetApp();
  return app ? app->OnDllMain(instance, reason, reserved) : FALSE;
}

extern "C" IZrRemoteControl* CreateRemoteControl(int type, IZrRemoteControlHost* host) {
  return ZrCreateRemoteControl(type, host);
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  ZrNoThrowVoid([] { ZrRegisterPlugins(true); });
  return S_OK;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  ZrNoThrowVoid([] { ZrRegisterPlugins(false); });
  return S_OK;
}
