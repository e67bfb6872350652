#include "peers/host/RcHostModule.h"

#include "peers/host/RcHostOutput.h"

std::wstring RcOwnFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring file(path, length);
  return file.substr(0, file.rfind(L'\\') + 1);
}

RcTools::RcTools(const std::wstring& folder) {
  m_library.reset(LoadLibraryW((folder + L"ZrTools.dll").c_str()));
  auto get = m_library ? reinterpret_cast<ZrGetToolsProc>(
                             reinterpret_cast<void*>(GetProcAddress(m_library.get(), kZrToolsExportName)))
                       : nullptr;
  m_tools = get ? get(kZrToolsInterfaceVersion) : nullptr;
  if (m_tools && !m_tools->Initialise(nullptr, GetModuleHandleW(nullptr))) m_tools = nullptr;
}

RcTools::~RcTools() {
  // The library lets go of what it holds before it is unmapped.
  if (m_tools) m_tools->Shutdown(true);
}

RcModule::RcModule() : m_tools(RcOwnFolder()) {
  m_path = RcOwnFolder() + L"ZrRemoteControl.dll";
  m_module.reset(LoadLibraryW(m_path.c_str()));
  if (!m_module) {
    RcPrintErrorLine(L"rchost: cannot load " + m_path + L" (error " + std::to_wstring(GetLastError()) + L")");
    return;
  }
  create = reinterpret_cast<ZrCreateRemoteControlProc>(
      reinterpret_cast<void*>(GetProcAddress(m_module.get(), "CreateRemoteControl")));
  registerServer =
      reinterpret_cast<ZrRegisterServerProc>(reinterpret_cast<void*>(GetProcAddress(m_module.get(), "DllRegisterServer")));
  unregisterServer = reinterpret_cast<ZrRegisterServerProc>(
      reinterpret_cast<void*>(GetProcAddress(m_module.get(), "DllUnregisterServer")));
  if (!create || !registerServer || !unregisterServer)
    RcPrintErrorLine(L"rchost: " + m_path + L" lacks one of its exports");
}

std::wstring RcPlugin::Info(const wchar_t* key) const {
  const ZrBstr text(m_plugin->GetInfo(key));
  return text ? std::wstring(text.get(), SysStringLen(text.get())) : L"(null)";
}

std::vector<RAWINPUTDEVICE> RcPlugin::Collections() const {
  std::vector<RAWINPUTDEVICE> devices;
  for (int32_t i = 0;; ++i) {
    RAWINPUTDEVICE device = {};
    if (!m_plugin->GetRawInputDevice(i, &device)) return devices;
    devices.push_back(device);
  }
}
