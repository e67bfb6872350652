#include "peers/hiddev/HidDevice.h"

#include <setupapi.h>

#include <algorithm>
#include <cstring>

namespace {

// The HID device setup class.
const GUID kHidClass = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

struct DevInfoList {
  HDEVINFO set = INVALID_HANDLE_VALUE;
  ~DevInfoList() {
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
  }
};

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string Failure(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

// newdev.dll, loaded when a driver is installed: programs that link this library (the input
// simulator, the tests) then start without it where it is missing.
bool UpdateDriver(const wchar_t* hardwareId, const std::wstring& inf, std::string* reason) {
  using UpdateFunction = BOOL(WINAPI*)(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL);
  ZrModuleHandle newdev(LoadLibraryW(L"newdev.dll"));
  if (!newdev) return *reason = Failure("loading newdev.dll"), false;
  const auto update = reinterpret_cast<UpdateFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(newdev.get(), "UpdateDriverForPlugAndPlayDevicesW")));
  if (!update) return *reason = Failure("finding UpdateDriverForPlugAndPlayDevicesW"), false;
  constexpr DWORD kInstallForce = 0x1;  // INSTALLFLAG_FORCE
  BOOL reboot = FALSE;
  if (!update(nullptr, hardwareId, inf.c_str(), kInstallForce, &reboot))
    return *reason = Failure("UpdateDriverForPlugAndPlayDevices"), false;
  return true;
}

bool WaitFor(unsigned timeoutMs, auto&& condition) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

// Whether the device has the hardware ID, or one that begins with it when prefix is set.
bool HasHardwareId(HDEVINFO set, SP_DEVINFO_DATA* device, const wchar_t* wanted, bool prefix = false) {
  wchar_t buffer[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(buffer),
                                         sizeof(buffer) - sizeof(wchar_t), nullptr))
    return false;
  for (const wchar_t* id = buffer; *id; id += wcslen(id) + 1)
    if (prefix ? !_wcsnicmp(id, wanted, wcslen(wanted)) : !_wcsicmp(id, wanted)) return true;
  return false;
}

}  // namespace

const std::vector<HidDevProfileInfo>& HidDevProfiles() {
  static const std::vector<HidDevProfileInfo> profiles = {
      // The receiver's consumer collection carries the name the system gives it on Windows.
      {"mce", 0x045E, 0x006D,
       {{ZR_HIDDEV_PROFILE_MCE_VENDOR, L"ZrHidDev\\MceVendor", L"VID_045E&PID_006D&Col01", 0xFFBC, 0x88},
        {ZR_HIDDEV_PROFILE_MCE_CONSUMER, L"ZrHidDev\\MceConsumer", L"IrDevice&Col02", 0x0C, 0x01}}},
      {"remote", 0x5A52, 0x0C01, {{ZR_HIDDEV_PROFILE_REMOTE, L"ZrHidDev\\Remote", L"VID_5A52&PID_0C01", 0x0C, 0x01}}},
      {"gamepad", 0x5A52, 0x0A01,
       {{ZR_HIDDEV_PROFILE_GAMEPAD, L"ZrHidDev\\Gamepad", L"VID_5A52&PID_0A01", 0x01, 0x05}}},
  };
  return profiles;
}

const HidDevProfileInfo* FindHidDevProfile(const std::string& name) {
  for (const HidDevProfileInfo& profile : HidDevProfiles())
    if (name == profile.name) return &profile;
  return nullptr;
}

std::wstring HidDevDriverFolder() {
  wchar_t buffer[MAX_PATH * 2] = {};
  DWORD length = GetEnvironmentVariableW(L"ZR_HIDDEV_DRIVER", buffer, MAX_PATH * 2);
  if (length > 0 && length < MAX_PATH * 2) return buffer;
  length = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
  std::wstring folder(buffer, length);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  // Beside the program, or, for another program of the build tree, in the driver's build folder.
  for (const wchar_t* candidate : {L"driver", L"..\\hiddev\\driver"})
    if (GetFileAttributesW((folder + candidate + L"\\zrhiddev.inf").c_str()) != INVALID_FILE_ATTRIBUTES)
      return folder + candidate;
  return folder.substr(0, folder.size() - 1);
}

std::vector<RawDeviceEntry> ListRawDevices() {
  std::vector<RawDeviceEntry> entries;
  UINT count = 0;
  if (GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != 0 || count == 0) return entries;
  std::vector<RAWINPUTDEVICELIST> list(count);
  const UINT got = GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
  if (got == static_cast<UINT>(-1)) return entries;
  list.resize(got);
  for (const RAWINPUTDEVICELIST& item : list) {
    RawDeviceEntry entry;
    entry.handle = item.hDevice;
    entry.type = item.dwType;
    wchar_t name[512] = {};
    UINT size = 511;
    if (GetRawInputDeviceInfoW(item.hDevice, RIDI_DEVICENAME, name, &size) != static_cast<UINT>(-1)) entry.name = name;
    entry.info.cbSize = sizeof(entry.info);
    size = sizeof(entry.info);
    GetRawInputDeviceInfoW(item.hDevice, RIDI_DEVICEINFO, &entry.info, &size);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<RawDeviceEntry> ListProfileDevices(const HidDevProfileInfo& profile) {
  std::vector<RawDeviceEntry> found;
  for (RawDeviceEntry& entry : ListRawDevices())
    if (entry.type == RIM_TYPEHID && entry.info.hid.dwVendorId == profile.vendor &&
        entry.info.hid.dwProductId == profile.product)
      found.push_back(std::move(entry));
  return found;
}

std::optional<RawDeviceEntry> FindUnitDevice(const HidDevProfileInfo& profile, const HidDevUnit& unit) {
  for (RawDeviceEntry& entry : ListProfileDevices(profile))
    if (entry.info.hid.usUsagePage == unit.page && entry.info.hid.usUsage == unit.usage) return std::move(entry);
  return std::nullopt;
}

const HidDevUnit* FindHidDevUnit(const HidDevProfileInfo& profile, uint16_t page, uint16_t usage) {
  for (const HidDevUnit& unit : profile.units)
    if (unit.page == page && unit.usage == usage) return &unit;
  return nullptr;
}

bool IsHidDeviceRegistered(const HidDevUnit& unit) {
  DevInfoList list;
  list.set = SetupDiGetClassDevsW(&kHidClass, L"ROOT", nullptr, 0);
  if (list.set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; SetupDiEnumDeviceInfo(list.set, i, &device); ++i)
    if (HasHardwareId(list.set, &device, unit.hardwareId)) return true;
  return false;
}

namespace {

bool RegisterUnit(const HidDevUnit& unit, std::string* reason) {
  DevInfoList list;
  list.set = SetupDiCreateDeviceInfoList(&kHidClass, nullptr);
  if (list.set == INVALID_HANDLE_VALUE) return *reason = Failure("SetupDiCreateDeviceInfoList"), false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  const std::wstring instance = std::wstring(L"ROOT\\") + unit.deviceName + L"\\0000";
  if (!SetupDiCreateDeviceInfoW(list.set, instance.c_str(), &kHidClass, nullptr, nullptr, 0, &device))
    return *reason = Failure("SetupDiCreateDeviceInfo"), false;
  std::wstring ids = unit.hardwareId;
  ids.push_back(L'\0');
  ids.push_back(L'\0');
  if (!SetupDiSetDeviceRegistryPropertyW(list.set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids.data()),
                                         static_cast<DWORD>(ids.size() * sizeof(wchar_t))))
    return *reason = Failure("SetupDiSetDeviceRegistryProperty"), false;
  if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list.set, &device))
    return *reason = Failure("DIF_REGISTERDEVICE"), false;
  // The driver reads its profile from the device's hardware key when the device is added.
  const HKEY opened = SetupDiCreateDevRegKeyW(list.set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return *reason = Failure("SetupDiCreateDevRegKey"), false;
  ZrRegistryKey key(opened);
  const DWORD number = static_cast<DWORD>(unit.number);
  if (const LSTATUS status =
          RegSetValueExW(key.get(), L"Profile", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number))) {
    *reason = "writing the device's profile failed, error " + std::to_string(status);
    return false;
  }
  return true;
}

}  // namespace

bool InstallHidDevice(const HidDevProfileInfo& profile, const std::wstring& driverFolder, std::string* reason,
                      unsigned timeoutMs) {
  const std::wstring inf = driverFolder + L"\\zrhiddev.inf";
  if (GetFileAttributesW(inf.c_str()) == INVALID_FILE_ATTRIBUTES ||
      GetFileAttributesW((driverFolder + L"\\zrhiddev.sys").c_str()) == INVALID_FILE_ATTRIBUTES) {
    *reason = "no zrhiddev.inf and zrhiddev.sys in " + Narrow(driverFolder);
    return false;
  }
  for (const HidDevUnit& unit : profile.units) {
    if (FindUnitDevice(profile, unit)) continue;
    if (!IsHidDeviceRegistered(unit) && !RegisterUnit(unit, reason)) return false;
    if (!UpdateDriver(unit.hardwareId, inf, reason)) return false;
  }
  for (const HidDevUnit& unit : profile.units) {
    if (!WaitFor(timeoutMs, [&] { return FindUnitDevice(profile, unit).has_value(); })) {
      *reason = "the driver was installed but the device list never showed collection " + std::to_string(unit.page) +
                "/" + std::to_string(unit.usage);
      return false;
    }
  }
  return true;
}

bool RemoveHidDevice(const HidDevProfileInfo& profile, std::string* reason, unsigned timeoutMs) {
  DevInfoList list;
  list.set = SetupDiGetClassDevsW(&kHidClass, L"ROOT", nullptr, 0);
  if (list.set == INVALID_HANDLE_VALUE) return *reason = Failure("SetupDiGetClassDevs"), false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; SetupDiEnumDeviceInfo(list.set, i, &device); ++i) {
    bool ours = false;
    for (const HidDevUnit& unit : profile.units) ours = ours || HasHardwareId(list.set, &device, unit.hardwareId);
    if (ours && !SetupDiCallClassInstaller(DIF_REMOVE, list.set, &device)) return *reason = Failure("DIF_REMOVE"), false;
  }
  if (!WaitFor(timeoutMs, [&] { return ListProfileDevices(profile).empty(); })) {
    *reason = "the device was removed but its collections stayed in the device list";
    return false;
  }
  return true;
}

bool RemoveAllHidDevices(std::string* reason) {
  DevInfoList list;
  list.set = SetupDiGetClassDevsW(&kHidClass, L"ROOT", nullptr, 0);
  if (list.set == INVALID_HANDLE_VALUE) return *reason = Failure("SetupDiGetClassDevs"), false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; SetupDiEnumDeviceInfo(list.set, i, &device); ++i)
    if (HasHardwareId(list.set, &device, L"ZrHidDev\\", true) && !SetupDiCallClassInstaller(DIF_REMOVE, list.set, &device))
      return *reason = Failure("DIF_REMOVE"), false;
  // With no device left the driver stays loaded; stopping its service makes the next installation
  // load the driver file it copies, not the one loaded before.
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return *reason = Failure("OpenSCManager"), false;
  SC_HANDLE service = OpenServiceW(manager, L"zrhiddev", SERVICE_STOP | SERVICE_QUERY_STATUS);
  bool stopped = true;
  if (service) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    stopped = WaitFor(10000, [&] {
      return QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
    });
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  if (!stopped) *reason = "the driver's service did not stop";
  return stopped;
}

bool HidDevFeeder::Open(const HidDevUnit& unit, std::string* reason) {
  const std::wstring suffix = std::to_wstring(unit.number);
  m_section.reset(OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE,
                                   (std::wstring(L"Global\\") + ZR_HIDDEV_SECTION_NAME + suffix).c_str()));
  if (!m_section) return *reason = Failure("opening the device's feed"), false;
  m_view.reset(MapViewOfFile(m_section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(ZrHidDevFeed)));
  if (!m_view) return *reason = Failure("MapViewOfFile"), false;
  m_event.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, (std::wstring(L"Global\\") + ZR_HIDDEV_EVENT_NAME + suffix).c_str()));
  if (!m_event) return *reason = Failure("opening the device's feed event"), false;
  m_feed = static_cast<ZrHidDevFeed*>(m_view.get());
  if (m_feed->magic != ZR_HIDDEV_FEED_MAGIC || m_feed->profile != static_cast<unsigned>(unit.number)) {
    m_feed = nullptr;
    *reason = "the feed belongs to no started device of this profile";
    return false;
  }
  return true;
}

bool HidDevFeeder::Send(const std::vector<uint8_t>& report, unsigned timeoutMs) {
  if (!m_feed || report.empty() || report.size() > ZR_HIDDEV_REPORT_MAX) return false;
  if (!WaitFor(timeoutMs, [&] { return m_feed->written - m_feed->taken < ZR_HIDDEV_FEED_SLOTS; })) return false;
  ZrHidDevSlot& slot = m_feed->slots[static_cast<unsigned long>(m_feed->written) % ZR_HIDDEV_FEED_SLOTS];
  std::memcpy(slot.bytes, report.data(), report.size());
  slot.length = static_cast<unsigned>(report.size());
  InterlockedIncrement(&m_feed->written);
  SetEvent(m_event.get());
  return true;
}

bool HidDevFeeder::WaitTaken(unsigned timeoutMs) const {
  return m_feed && WaitFor(timeoutMs, [&] { return m_feed->taken == m_feed->written; });
}
