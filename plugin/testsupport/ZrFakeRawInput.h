#pragma once
// A raw-input system made up by a test: the device list, the names and the records that the
// plug-in's function table reaches instead of Windows. Plain function pointers carry no context, so
// one system is current at a time (FakeRawInputSystem::Current).

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/ZrTimer.h"
#include "foundation/win/ZrSystemFunctions.h"
#include "foundation/ZrRawInputRecord.h"

namespace zrtest {

// A stopwatch that reads a clock the test moves.
class FakeClock {
 public:
  double nowMs = 1000.0;
};

class FakeTimer : public ZrTimer {
 public:
  explicit FakeTimer(FakeClock& clock) : m_clock(clock), m_startMs(clock.nowMs) {}
  int64_t Restart() override {
    const double previous = m_startMs;
    m_startMs = m_clock.nowMs;
    return static_cast<int64_t>(previous * 1e6);
  }
  int64_t ElapsedNs(bool restart) override { return static_cast<int64_t>(ElapsedMs(restart) * 1e6); }
  double ElapsedMs(bool restart) override {
    const double elapsed = m_clock.nowMs - m_startMs;
    if (restart) m_startMs = m_clock.nowMs;
    return elapsed;
  }

 private:
  FakeClock& m_clock;
  double m_startMs;
};

struct FakeDevice {
  HANDLE handle;
  DWORD type;
  std::wstring name;
  bool answersInfo = true;
};

class FakeRawInputSystem {
 public:
  FakeRawInputSystem() { s_current = this; }
  ~FakeRawInputSystem() { s_current = nullptr; }
  FakeRawInputSystem(const FakeRawInputSystem&) = delete;
  FakeRawInputSystem& operator=(const FakeRawInputSystem&) = delete;

  // Points the table's raw-input entries here.
  static void Install(ZrUser32Functions& user32) {
    user32.GetRawInputDeviceList = DeviceList;
    user32.GetRawInputDeviceInfoW = DeviceInfo;
    user32.GetRawInputData = Data;
  }

  // A record GetRawInputData will answer for the returned handle.
  LPARAM Record(std::vector<uint8_t> bytes) {
    const LPARAM handle = static_cast<LPARAM>(0x5000 + m_records.size());
    m_records[handle] = std::move(bytes);
    return handle;
  }
  LPARAM Key(HANDLE device, uint16_t vkey, uint32_t message = WM_KEYDOWN) {
    std::vector<uint8_t> bytes(kRawInputHeaderSize + kRawKeyboardSize, 0);
    Header(bytes, kRawInputTypeKeyboard, device);
    std::memcpy(&bytes[30], &vkey, 2);
    std::memcpy(&bytes[32], &message, 4);
    return Record(std::move(bytes));
  }
  // One report of the given bytes; sizeHid and count as claimed (default: the bytes, once).
  LPARAM Hid(HANDLE device, std::vector<uint8_t> report, int sizeHid = -1, uint32_t count = 1) {
    std::vector<uint8_t> bytes(kRawInputHeaderSize + kRawHidHeaderSize, 0);
    Header(bytes, kRawInputTypeHid, device);
    const uint32_t size = sizeHid < 0 ? static_cast<uint32_t>(report.size()) : static_cast<uint32_t>(sizeHid);
    std::memcpy(&bytes[24], &size, 4);
    std::memcpy(&bytes[28], &count, 4);
    bytes.insert(bytes.end(), report.begin(), report.end());
    return Record(std::move(bytes));
  }
  LPARAM Mouse(HANDLE device) {
    std::vector<uint8_t> bytes(48, 0);
    Header(bytes, kRawInputTypeMouse, device);
    return Record(std::move(bytes));
  }

  std::vector<FakeDevice> devices;
  int dataCalls = 0;

 private:
  static void Header(std::vector<uint8_t>& bytes, uint32_t type, HANDLE device) {
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    std::memcpy(&bytes[0], &type, 4);
    std::memcpy(&bytes[4], &size, 4);
    std::memcpy(&bytes[8], &device, 8);
  }

  static UINT WINAPI DeviceList(PRAWINPUTDEVICELIST list, PUINT count, UINT size) {
    const auto& devices = s_current->devices;
    if (size != sizeof(RAWINPUTDEVICELIST)) return static_cast<UINT>(-1);
    if (!list) {
      *count = static_cast<UINT>(devices.size());
      return 0;
    }
    if (*count < devices.size()) {
      *count = static_cast<UINT>(devices.size());
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return static_cast<UINT>(-1);
    }
    for (size_t i = 0; i < devices.size(); ++i) list[i] = {devices[i].handle, devices[i].type};
    return static_cast<UINT>(devices.size());
  }

  static UINT WINAPI DeviceInfo(HANDLE handle, UINT command, LPVOID data, PUINT size) {
    for (const FakeDevice& device : s_current->devices) {
      if (device.handle != handle) continue;
      if (command == RIDI_DEVICENAME) {
        const UINT needed = static_cast<UINT>(device.name.size() + 1);
        if (!data || *size < needed) {
          *size = needed;
          return data ? static_cast<UINT>(-1) : 0;
        }
        std::memcpy(data, device.name.c_str(), needed * sizeof(wchar_t));
        return needed;
      }
      if (command == RIDI_DEVICEINFO) {
        if (!device.answersInfo || !data || *size < sizeof(RID_DEVICE_INFO)) return static_cast<UINT>(-1);
        auto* info = static_cast<RID_DEVICE_INFO*>(data);
        info->dwType = device.type;
        return sizeof(RID_DEVICE_INFO);
      }
      return static_cast<UINT>(-1);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<UINT>(-1);
  }

  static UINT WINAPI Data(HRAWINPUT input, UINT command, LPVOID data, PUINT size, UINT headerSize) {
    ++s_current->dataCalls;
    auto it = s_current->m_records.find(reinterpret_cast<LPARAM>(input));
    if (it == s_current->m_records.end() || command != RID_INPUT || headerSize != sizeof(RAWINPUTHEADER))
      return static_cast<UINT>(-1);
    const UINT needed = static_cast<UINT>(it->second.size());
    if (!data) {
      *size = needed;
      return 0;
    }
    if (*size < needed) return static_cast<UINT>(-1);
    std::memcpy(data, it->second.data(), needed);
    return needed;
  }

  std::map<LPARAM, std::vector<uint8_t>> m_records;
  static inline FakeRawInputSystem* s_current = nullptr;
};

}  // namespace zrtest
