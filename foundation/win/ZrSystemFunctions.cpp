#include "foundation/win/ZrSystemFunctions.h"

#include "foundation/win/ZrLoadLibrary.h"

namespace {

// A null library leaves the entry null as well, so every entry is set whether or not the library
// loaded.
template <class Function>
void Lookup(HMODULE library, const char* name, Function& entry) {
  entry = library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

}  // namespace

ZrUser32Functions::ZrUser32Functions(const ZrChar* library) {
  ZrLoadLibrary(&m_library, library);
  Lookup(m_library.get(), "GetRawInputData", GetRawInputData);
  Lookup(m_library.get(), "GetRawInputDeviceList", GetRawInputDeviceList);
  Lookup(m_library.get(), "GetRawInputDeviceInfoW", GetRawInputDeviceInfoW);
  Lookup(m_library.get(), "RegisterRawInputDevices", RegisterRawInputDevices);
  Lookup(m_library.get(), "ShutdownBlockReasonCreate", ShutdownBlockReasonCreate);
  Lookup(m_library.get(), "ChangeWindowMessageFilter", ChangeWindowMessageFilter);
  Lookup(m_library.get(), "ChangeWindowMessageFilterEx", ChangeWindowMessageFilterEx);
  Lookup(m_library.get(), "GetPhysicalCursorPos", GetPhysicalCursorPos);
  Lookup(m_library.get(), "RegisterTouchWindow", RegisterTouchWindow);
  Lookup(m_library.get(), "GetTouchInputInfo", GetTouchInputInfo);
  Lookup(m_library.get(), "CloseTouchInputHandle", CloseTouchInputHandle);
  Lookup(m_library.get(), "GetGestureInfo", GetGestureInfo);
  Lookup(m_library.get(), "SetProcessDPIAware", SetProcessDPIAware);
  Lookup(m_library.get(), "SetWindowCompositionAttribute", SetWindowCompositionAttribute);
  Lookup(m_library.get(), "SetThreadDpiAwarenessContext", SetThreadDpiAwarenessContext);
  Lookup(m_library.get(), "SetThreadDpiHostingBehavior", SetThreadDpiHostingBehavior);
  Lookup(m_library.get(), "SetProcessDpiAwarenessContext", SetProcessDpiAwarenessContext);
}

ZrUser32Functions::~ZrUser32Functions() = default;

ZrKernel32Functions::ZrKernel32Functions(const ZrChar* library) {
  ZrLoadLibrary(&m_library, library);
  Lookup(m_library.get(), "GetVolumeNameForVolumeMountPointW", GetVolumeNameForVolumeMountPointW);
  Lookup(m_library.get(), "CreateNamedPipeW", CreateNamedPipeW);
  Lookup(m_library.get(), "Wow64EnableWow64FsRedirection", Wow64EnableWow64FsRedirection);
  Lookup(m_library.get(), "IsWow64Process", IsWow64Process);
  Lookup(m_library.get(), "GetProcessHandleCount", GetProcessHandleCount);
  Lookup(m_library.get(), "GetLargePageMinimum", GetLargePageMinimum);
  Lookup(m_library.get(), "GetProcessDEPPolicy", GetProcessDEPPolicy);
  Lookup(m_library.get(), "SetProcessDEPPolicy", SetProcessDEPPolicy);
  Lookup(m_library.get(), "CancelSynchronousIo", CancelSynchronousIo);
  Lookup(m_library.get(), "GetSystemTimePreciseAsFileTime", GetSystemTimePreciseAsFileTime);
}

ZrKernel32Functions::~ZrKernel32Functions() = default;

ZrSetupApiFunctions::ZrSetupApiFunctions(const ZrChar* library) {
  ZrLoadLibrary(&m_library, library);
  Lookup(m_library.get(), "SetupDiGetClassDevsW", SetupDiGetClassDevsW);
  Lookup(m_library.get(), "SetupDiDestroyDeviceInfoList", SetupDiDestroyDeviceInfoList);
  Lookup(m_library.get(), "SetupDiEnumDeviceInfo", SetupDiEnumDeviceInfo);
  Lookup(m_library.get(), "SetupDiEnumDeviceInterfaces", SetupDiEnumDeviceInterfaces);
  Lookup(m_library.get(), "SetupDiGetDeviceInterfaceDetailW", SetupDiGetDeviceInterfaceDetailW);
  Lookup(m_library.get(), "SetupDiGetDeviceRegistryPropertyW", SetupDiGetDeviceRegistryPropertyW);
  Lookup(m_library.get(), "SetupDiGetDeviceInterfaceAlias", SetupDiGetDeviceInterfaceAlias);
  Lookup(m_library.get(), "SetupDiOpenDeviceInterfaceRegKey", SetupDiOpenDeviceInterfaceRegKey);
  Lookup(m_library.get(), "CM_Request_Device_EjectW", CM_Request_Device_EjectW);
  Lookup(m_library.get(), "CM_Get_Parent", CM_Get_Parent);
  Lookup(m_library.get(), "CM_Get_Parent_Ex", CM_Get_Parent_Ex);
  Lookup(m_library.get(), "CM_Get_Device_ID_Size", CM_Get_Device_ID_Size);
  Lookup(m_library.get(), "CM_Get_Device_IDW", CM_Get_Device_IDW);
  Lookup(m_library.get(), "CM_Open_DevNode_Key", CM_Open_DevNode_Key);
}

ZrSetupApiFunctions::~ZrSetupApiFunctions() = default;
