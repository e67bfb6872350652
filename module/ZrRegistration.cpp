#include "module/ZrRegistration.h"

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrBoundary.h"
#include "module/ZrProductText.h"
#include "module/ZrRemoteControlFactory.h"

namespace {

constexpr ZrChar kPluginsKey[] = u"Plugins\\RemoteControl";

// Reads one answer of the plug-in and frees it.
ZrString Info(IZrRemoteControl* plugin, const wchar_t* key) {
  const ZrBstr answer(plugin->GetInfo(key));
  return ZrReadableText(answer.get());
}

void Unregister(const ZrString& name) {
  // Once through a key that is created when missing, once through an existing one only.
  for (int flags : {1, 0}) {
    if (const ZrHostRegistryKeyHandle key = ZrOpenHostRegistryKey(ZrString(kPluginsKey), flags))
      key.get()->RemoveSubkey(ZrW(name.c_str()), 0);
  }
}

void SetString(IZrHostRegistryKey* key, const wchar_t* name, const ZrString& value) {
  key->SetString(name, ZrW(value.c_str()), 0, L"", 0);
}

void Register(int type, const ZrString& name, const ZrString& displayName, const ZrString& enableOnInstall) {
  const ZrHostRegistryKeyHandle owned = ZrOpenHostRegistryKey(ZrString(kPluginsKey) + u"\\" + name, 1);
  IZrHostRegistryKey* key = owned.get();
  if (!key) return;
  // Values of an older version must not linger beside the ones written now.
  key->RemoveAllValues();
  SetString(key, L"DisplayName", displayName);
  SetString(key, L"EnableOnInstall", enableOnInstall);
  key->SetInt(L"IVersion", 3, 0, 0);
  SetString(key, L"Company", ZrString(u"" ZR_COMPANY_NAME));
  SetString(key, L"Path", ZrGetModuleFileName(ZrGetModuleInstance()));
  key->SetInt(L"Index", type, 0, 0);
  SetString(key, L"Version", ZrString(u"" ZR_PLUGIN_VERSION_TEXT));
  SetString(key, L"URL", ZrString(u"" ZR_PLUGIN_URL));
  SetString(key, L"Copyright", ZrString(u"" ZR_PLUGIN_COPYRIGHT));
  SetString(key, L"Description", ZrString(u"" ZR_PLUGIN_DESCRIPTION));
}

}  // namespace

void ZrRegisterPlugins(bool doRegister) {
  for (int type = 0;; ++type) {
    IZrRemoteControl* plugin = ZrCreateRemoteControl(type, nullptr);
    if (!plugin) break;
    ZrNoThrowVoid([&] {
      const ZrString name = Info(plugin, L"Name");
      ZrString displayName = Info(plugin, L"Display Name");
      const ZrString enableOnInstall = Info(plugin, L"EnableOnInstall");
      if (displayName.IsEmpty()) displayName = name;
      // An empty name would address "Plugins\RemoteControl" itself.
      if (name.IsEmpty()) return;
      if (doRegister)
        Register(type, name, displayName, enableOnInstall);
      else
        Unregister(name);
    });
    plugin->DeletingDestructor(IZrRemoteControl::kFreeMemory);
  }
}
