#pragma once
// The virtual HID device from the user's side: installing a profile's root device into the prefix
// (SetupAPI and newdev, as a device vendor's installer does), removing it, and feeding it reports
// through the shared feed its driver reads.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/win/ZrHandle.h"
#include "peers/hiddev/HidDevFeed.h"

// One root device: one top-level collection (Wine 8.0's HID class driver exposes only the first
// collection of a device, so a receiver with two collections is two devices).
struct HidDevUnit {
  int number;                  // the driver's profile number
  const wchar_t* hardwareId;   // the INF's hardware ID
  const wchar_t* deviceName;   // the root device's name, which the collection's device name carries
  uint16_t page;
  uint16_t usage;
};

struct HidDevProfileInfo {
  const char* name;  // "mce", "remote", "gamepad"
  uint16_t vendor;
  uint16_t product;
  std::vector<HidDevUnit> units;
};

const std::vector<HidDevProfileInfo>& HidDevProfiles();
const HidDevProfileInfo* FindHidDevProfile(const std::string& name);

// The folder holding zrhiddev.sys and zrhiddev.inf: ZR_HIDDEV_DRIVER when set, else the folder
// "driver" beside the running program, else "..\hiddev\driver" from it (the build tree), else the
// running program's own folder.
std::wstring HidDevDriverFolder();

// Installs (or, already installed, leaves alone) the root device of a profile and waits until the
// raw-input device list holds all its collections. Answers false with a reason on failure.
bool InstallHidDevice(const HidDevProfileInfo& profile, const std::wstring& driverFolder,
                      std::string* reason, unsigned timeoutMs = 20000);
// Removes every root device of the profile and waits until its collections left the device list.
bool RemoveHidDevice(const HidDevProfileInfo& profile, std::string* reason, unsigned timeoutMs = 20000);
// Removes every root device this driver serves, whatever its profile, without waiting.
bool RemoveAllHidDevices(std::string* reason);
// Whether the unit's root device is registered in the prefix (started or not).
bool IsHidDeviceRegistered(const HidDevUnit& unit);

// A raw-input device as the system lists it.
struct RawDeviceEntry {
  HANDLE handle = nullptr;
  DWORD type = 0;
  std::wstring name;
  RID_DEVICE_INFO info{};
};
std::vector<RawDeviceEntry> ListRawDevices();
// The listed collections of a profile (matched by vendor and product), in list order.
std::vector<RawDeviceEntry> ListProfileDevices(const HidDevProfileInfo& profile);
// The listed collection of one unit, if it is listed.
std::optional<RawDeviceEntry> FindUnitDevice(const HidDevProfileInfo& profile, const HidDevUnit& unit);
// The unit of a profile with the given collection.
const HidDevUnit* FindHidDevUnit(const HidDevProfileInfo& profile, uint16_t page, uint16_t usage);

// Writes reports into a started device's feed.
class HidDevFeeder {
 public:
  // False with a reason when the unit's device has not been started (its feed does not exist).
  bool Open(const HidDevUnit& unit, std::string* reason);
  // Queues one report (identifier first when the profile numbers its reports) and wakes the device;
  // waits while the ring is full, at most timeoutMs.
  bool Send(const std::vector<uint8_t>& report, unsigned timeoutMs = 5000);
  // Waits until the device has handed every queued report to the HID class driver.
  bool WaitTaken(unsigned timeoutMs = 5000) const;
  bool IsOpen() const { return m_feed != nullptr; }

 private:
  ZrMappingHandle m_section;
  ZrMappedView m_view;
  ZrEventHandle m_event;
  ZrHidDevFeed* m_feed = nullptr;
};
