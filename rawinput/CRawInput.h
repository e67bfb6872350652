#pragma once
// The plug-in for any human-interface device read as raw input: remotes, keyboards, gamepads.
// The host registers the collections of GetRawInputDevice on its own window and passes that
// window's messages to OnWindowMessage; the plug-in turns each record into a code, filters it by
// the host's active codes and repeats the codes whose binding asks for it.
//
// Every operation runs on the host's thread, the thread that constructed the plug-in: its command
// window, and with it the repeat timer, belongs to that thread. No lock is taken.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "foundation/ZrArray.h"
#include "foundation/ZrMap.h"
#include "foundation/ZrTimer.h"
#include "foundation/win/ZrCmdTarget.h"
#include "foundation/win/ZrSystemFunctions.h"
#include "plugin/CStopMCERemoteHandling.h"
#include "plugin/ZrRemoteControlBase.h"
#include "rawinput/RCCommandData.h"
#include "rawinput/RawInputDevice.h"

// Its hidden window exists from construction; timers for repeats run there.
class CRawInput : public ZrRemoteControlBase, public ZrCmdTarget {
 public:
  static constexpr uintptr_t kRepeatTimer = 1;
  static constexpr int kRepeatTickMs = 50;
  static constexpr double kRepeatDelayMs = 250.0;
  static constexpr double kRepeatLimitMs = 10000.0;
  static constexpr double kKeyMessageWindowMs = 50.0;

  // One pending repeat: the code a held button keeps sending until its device reports again.
  class CRawInputRepeatInfo {
   public:
    CRawInputRepeatInfo(HANDLE device, uint16_t key, ZrString code, std::unique_ptr<ZrTimer> age)
        : m_device(device), m_key(key), m_code(std::move(code)), m_age(std::move(age)) {
      m_age->Restart();
    }
    HANDLE m_device;
    uint16_t m_key;
    ZrString m_code;
    std::unique_ptr<ZrTimer> m_age;
  };

  explicit CRawInput(IZrRemoteControlHost* host);
  ~CRawInput() override;

  bool Start(bool flag) override;
  bool Stop() override;
  // Replaces the base: only "Active Codes" belongs to this plug-in; "System Shutdown" does not.
  bool SetInfo(const wchar_t* name, const wchar_t* value) override;
  bool GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) override;
  bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  ZrString GetName() override;
  ZrString GetDisplayName() override;
  void OnTimer(uintptr_t id) override;

  // Inspection, for tests and benchmarks.
  int DeviceCount() const { return m_devices.GetCount(); }
  RawInputDevice* FindDevice(HANDLE handle) const;
  int CommandCount() const { return m_commands.GetCount(); }
  int RepeatCount() const { return m_repeats.GetCount(); }
  bool IsActiveCode(const ZrChar* code) const { return m_activeCodes.Contains(code); }
  int ActiveCodeCount() const { return m_activeCodes.GetCount(); }
  bool HasStopper() const { return m_stopper != nullptr; }

 protected:
  // The stopwatch of a new repeat; tests put one of their own clock here.
  virtual std::unique_ptr<ZrTimer> NewRepeatAge() { return std::make_unique<ZrTimer>(); }
  // Rebuilds the device map from the system's raw-input device list (at Start only).
  void RefreshDevices();
  void RebuildActiveCodes();
  void AddRepeat(HANDLE device, uint16_t key, const ZrString& code);
  void EndRepeatsOf(HANDLE device);
  // Every pending repeat and the repeat timer.
  void EndRepeats();

  std::unique_ptr<CStopMCERemoteHandling> m_stopper;
  ZrUser32Functions m_user32;
  ZrKernel32Functions m_kernel32;
  ZrSetupApiFunctions m_setupApi;
  ZrStringMap<bool> m_activeCodes;
  // Each trigger code, case for case, with whether its first binding asks for repeats: the
  // bindings are looked up once per record, so a long table costs one lookup, not a walk.
  std::unordered_map<std::u16string, bool> m_firstBindingRepeats;
  ZrOwnedPtrMap<HANDLE, RawInputDevice> m_devices;
  ZrOwnedPtrArray<RCCommandData> m_commands;
  uint16_t m_lastKey = 0;
  bool m_suppressPending = false;
  // Replaceable by tests, like the repeat ages.
  std::unique_ptr<ZrTimer> m_lastKeyTimer = std::make_unique<ZrTimer>();
  ZrOwnedPtrArray<CRawInputRepeatInfo> m_repeats;
};
