#include "foundation/win/ZrSystemFunctions.h"

#include "foundation/win/ZrLoadLibrary.h"

namespace {

// A null library leaves the entry null as well, so every entry is set whether or not the library
// loaded.
template <class Function>
void Lookup(HMODULE library, const char* name, Function& entry) {
  entry = library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

void Release(HMODULE& library) {
  if (library) {
    FreeLibrary(library);
    library = nullptr;
  }
}

}  // namespace

ZrUser32Functions::ZrUser32Functions(const ZrChar* library) : m_library(nullptr) {
  ZrLoadLibrary(&m_library, library);
  Lookup(m_library, "GetRawInputData", GetRawInputData);
  Lookup(m_library, "GetRawInputDeviceList", GetRawInputDeviceList);
  Lookup(m_library, "GetRawInputDeviceInfoW", GetRawInputDeviceInfoW);
  Lookup(m_library, "RegisterRawInputDevices", RegisterRawInputDevices);
  Lookup(m_library, "ShutdownBlockReasonCreate", ShutdownBlockReasonCreate);
  Lookup(m_library, "ChangeWindowMessageFilter", ChangeWindowMessageFilter);
  Lookup(m_library, "ChangeWindowMessageFilterEx", ChangeWindowMessageFilterEx);
  Lookup(m_library, "GetPhysicalCursorPos", GetPhysicalCursorPos);
  Lookup(m_library, "RegisterTouchWindow", RegisterTouchWindow);
  Lookup(m_library, "GetTouchInputInfo", GetTouchInputInfo);
  Lookup(m_library, "CloseTouchInputHandle", CloseTouchInputHandle);
  Lookup(m_library, "GetGestureInfo", GetGestureInfo);
  Lookup(m_library, "SetProcessDPIAware", SetProcessDPIAware);
  Lookup(m_library, "SetWindowCompositionAttribute", SetWindowCompositionAttribute);
  Lookup(m_library, "SetThreadDpiAwarenessContext", SetThreadDpiAwarenessContext);
  Lookup(m_library, "SetThreadDpiHostingBehavior", SetThreadDpiHostingBehavior);
  Lookup(m_library, "SetProcessDpiAwarenessContext", SetProcessDpiAwarenessContext);
}

ZrUser32Functions::~ZrUser32Functions() { Release(m_library); }

ZrKernel32Functions::ZrKernel32Functions(const ZrChar* library) : m_library(nullptr) {
  ZrLoadLibrary(&m_library, library);
  Lookup(m_library, "GetVolumeNameForVolumeMountPointW", GetVolumeNameForVolumeMountPointW);
  Lookup(m_library, "CreateNamedPipeW", CreateNamedPipeW);
  Lookup(m_library, "Wow64EnableWow64FsRedirection", Wow64EnableWow64FsRedirection);
  Lookup(m_library, "IsWow64Process", IsWow64Process);
  Lookup(m_library, "GetProcessHandleCount", GetProcessHandleCount);
  Lookup(m_library, "GetLargePageMinimum", GetLargePageMinimum);
  Lookup(m_library, "GetProcessDEPPolicy", GetProcessDEPPolicy);
  Lookup(m_library, "SetProcessDEPPolicy", SetProcessDEPPolicy);
  Lookup(m_library, "CancelSynchronousIo", CancelSynchronousIo);
  Lookup(m_library, "GetSystemTimePreciseAsFileTime", GetSystemTimePreciseAsFileTime);
}

ZrKernel32Functions::~ZrKernel32Functions() { Release(m_library); }

ZrSetupApiFunctions::ZrSetupApiFunctions(const ZrChar* library) : m_library(nullptr) {
  ZrLoadLibrary(&m_library, library);
  Lookup(m_library, "SetupDiGetClassDevsW", SetupDiGetClassDevsW);
  Lookup(m_library, "SetupDiDestroyDeviceInfoList", SetupDiDestroyDeviceInfoList);
  Lookup(m_library, "SetupDiEnumDeviceInfo", SetupDiEnumDeviceInfo);
  Lookup(m_library, "SetupDiEnumDeviceInterfaces", SetupDiEnumDeviceInterfaces);
  Lookup(m_library, "SetupDiGetDeviceInterfaceDetailW", SetupDiGetDeviceInterfaceDetailW);
  Lookup(m_library, "SetupDiGetDeviceRegistryPropertyW", SetupDiGetDeviceRegistryPropertyW);
  Lookup(m_library, "SetupDiGetDeviceInterfaceAlias", SetupDiGetDeviceInterfaceAlias);
  Lookup(m_library, "SetupDiOpenDeviceInterfaceRegKey", SetupDiOpenDeviceInterfaceRegKey);
  Lookup(m_library, "CM_Request_Device_EjectW", CM_Request_Device_EjectW);
  Lookup(m_library, "CM_Get_Parent", CM_Get_Parent);
  Lookup(m_library, "CM_Get_Parent_Ex", CM_Get_Parent_Ex);
  Lookup(m_library, "CM_Get_Device_ID_Size", CM_Get_Device_ID_Size);
  Lookup(m_library, "CM_Get_Device_IDW", CM_Get_Device_IDW);
  Lookup(m_library, "CM_Open_DevNode_Key", CM_Open_DevNode_Key);
}

ZrSetupApiFunctions::~ZrSetupApiFunctions() { Release(m_library); }
