#pragma once
// Windows functions that older systems lack, looked up at run time. Each table loads its library
// when it is built, holds its own reference to it and releases it when destroyed, so a local table
// never unloads a library that another table still uses.
//
// Every entry may be null: test it before each call. The entries are plain public members, so a
// test may put its own function in place of a system one.

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"

// The device-setup types, declared by tag only so that users need not pull in the setup headers.
struct _SP_DEVINFO_DATA;
struct _SP_DEVICE_INTERFACE_DATA;
struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W;

struct ZrUser32Functions {
  ZrUser32Functions() : ZrUser32Functions(u"user32.dll") {}
  // Builds the table from another library: for tests of a library that is missing.
  explicit ZrUser32Functions(const ZrChar* library);
  ~ZrUser32Functions();
  ZrUser32Functions(const ZrUser32Functions&) = delete;
  ZrUser32Functions& operator=(const ZrUser32Functions&) = delete;

  BOOL(WINAPI* RegisterRawInputDevices)(PCRAWINPUTDEVICE devices, UINT count, UINT size);
  UINT(WINAPI* GetRawInputData)(HRAWINPUT input, UINT command, LPVOID data, PUINT size, UINT headerSize);
  UINT(WINAPI* GetRawInputDeviceList)(PRAWINPUTDEVICELIST list, PUINT count, UINT size);
  UINT(WINAPI* GetRawInputDeviceInfoW)(HANDLE device, UINT command, LPVOID data, PUINT size);
  BOOL(WINAPI* ShutdownBlockReasonCreate)(HWND window, LPCWSTR reason);
  BOOL(WINAPI* ChangeWindowMessageFilter)(UINT message, DWORD flag);
  BOOL(WINAPI* ChangeWindowMessageFilterEx)(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT filter);
  BOOL(WINAPI* GetPhysicalCursorPos)(LPPOINT point);
  BOOL(WINAPI* RegisterTouchWindow)(HWND window, ULONG flags);
  BOOL(WINAPI* GetTouchInputInfo)(HTOUCHINPUT input, UINT count, PTOUCHINPUT inputs, int size);
  BOOL(WINAPI* CloseTouchInputHandle)(HTOUCHINPUT input);
  BOOL(WINAPI* GetGestureInfo)(HGESTUREINFO gesture, PGESTUREINFO info);
  BOOL(WINAPI* SetProcessDPIAware)();
  DPI_AWARENESS_CONTEXT(WINAPI* SetThreadDpiAwarenessContext)(DPI_AWARENESS_CONTEXT context);
  DPI_HOSTING_BEHAVIOR(WINAPI* SetThreadDpiHostingBehavior)(DPI_HOSTING_BEHAVIOR behaviour);
  BOOL(WINAPI* SetProcessDpiAwarenessContext)(DPI_AWARENESS_CONTEXT context);
  // Undocumented; its data argument is a (attribute, data, size) record.
  BOOL(WINAPI* SetWindowCompositionAttribute)(HWND window, void* data);
  ZrModuleHandle m_library;
};

struct ZrKernel32Functions {
  ZrKernel32Functions() : ZrKernel32Functions(u"kernel32.dll") {}
  explicit ZrKernel32Functions(const ZrChar* library);
  ~ZrKernel32Functions();
  ZrKernel32Functions(const ZrKernel32Functions&) = delete;
  ZrKernel32Functions& operator=(const ZrKernel32Functions&) = delete;

  BOOL(WINAPI* GetVolumeNameForVolumeMountPointW)(LPCWSTR mountPoint, LPWSTR volumeName, DWORD size);
  HANDLE(WINAPI* CreateNamedPipeW)(LPCWSTR name, DWORD openMode, DWORD pipeMode, DWORD maxInstances,
                                   DWORD outSize, DWORD inSize, DWORD timeout, LPSECURITY_ATTRIBUTES security);
  BOOLEAN(WINAPI* Wow64EnableWow64FsRedirection)(BOOLEAN enable);
  BOOL(WINAPI* IsWow64Process)(HANDLE process, PBOOL wow64);
  BOOL(WINAPI* GetProcessHandleCount)(HANDLE process, PDWORD count);
  SIZE_T(WINAPI* GetLargePageMinimum)();
  BOOL(WINAPI* GetProcessDEPPolicy)(HANDLE process, LPDWORD flags, PBOOL permanent);
  BOOL(WINAPI* SetProcessDEPPolicy)(DWORD flags);
  BOOL(WINAPI* CancelSynchronousIo)(HANDLE thread);
  VOID(WINAPI* GetSystemTimePreciseAsFileTime)(LPFILETIME time);
  ZrModuleHandle m_library;
};

// The configuration-manager functions live in the same library.
struct ZrSetupApiFunctions {
  ZrSetupApiFunctions() : ZrSetupApiFunctions(u"setupapi.dll") {}
  explicit ZrSetupApiFunctions(const ZrChar* library);
  ~ZrSetupApiFunctions();
  ZrSetupApiFunctions(const ZrSetupApiFunctions&) = delete;
  ZrSetupApiFunctions& operator=(const ZrSetupApiFunctions&) = delete;

  using HDEVINFO = PVOID;
  using CONFIGRET = DWORD;
  using DEVINST = DWORD;

  HDEVINFO(WINAPI* SetupDiGetClassDevsW)(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
  BOOL(WINAPI* SetupDiDestroyDeviceInfoList)(HDEVINFO set);
  BOOL(WINAPI* SetupDiEnumDeviceInfo)(HDEVINFO set, DWORD index, _SP_DEVINFO_DATA* data);
  BOOL(WINAPI* SetupDiEnumDeviceInterfaces)(HDEVINFO set, _SP_DEVINFO_DATA* data, const GUID* interfaceGuid,
                                            DWORD index, _SP_DEVICE_INTERFACE_DATA* interfaceData);
  BOOL(WINAPI* SetupDiGetDeviceInterfaceDetailW)(HDEVINFO set, _SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                 _SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detailSize,
                                                 PDWORD requiredSize, _SP_DEVINFO_DATA* data);
  BOOL(WINAPI* SetupDiGetDeviceRegistryPropertyW)(HDEVINFO set, _SP_DEVINFO_DATA* data, DWORD property,
                                                  PDWORD valueType, PBYTE buffer, DWORD size, PDWORD requiredSize);
  BOOL(WINAPI* SetupDiGetDeviceInterfaceAlias)(HDEVINFO set, _SP_DEVICE_INTERFACE_DATA* interfaceData,
                                               const GUID* aliasGuid, _SP_DEVICE_INTERFACE_DATA* alias);
  HKEY(WINAPI* SetupDiOpenDeviceInterfaceRegKey)(HDEVINFO set, _SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                 DWORD reserved, REGSAM access);
  CONFIGRET(WINAPI* CM_Request_Device_EjectW)(DEVINST device, PULONG vetoType, LPWSTR vetoName, ULONG nameLength,
                                              ULONG flags);
  CONFIGRET(WINAPI* CM_Get_Parent)(DEVINST* parent, DEVINST device, ULONG flags);
  CONFIGRET(WINAPI* CM_Get_Parent_Ex)(DEVINST* parent, DEVINST device, ULONG flags, HANDLE machine);
  CONFIGRET(WINAPI* CM_Get_Device_ID_Size)(PULONG length, DEVINST device, ULONG flags);
  CONFIGRET(WINAPI* CM_Get_Device_IDW)(DEVINST device, PWSTR buffer, ULONG length, ULONG flags);
  CONFIGRET(WINAPI* CM_Open_DevNode_Key)(DEVINST device, REGSAM access, ULONG profile, ULONG disposition,
                                         PHKEY key, ULONG flags);
  ZrModuleHandle m_library;
};
