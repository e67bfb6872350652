#include "rawinput/CRawInput.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "foundation/win/ZrBoundary.h"
#include "foundation/win/ZrToolsAccess.h"
#include "rawinput/ActiveCodesValue.h"
#include "foundation/ZrRawInputRecord.h"

namespace {

// Consumer control, the two MCE remote collections, keyboards and system control.
constexpr ZrRemoteControlBase::Collection kCollections[] = {
    {0x000C, 0x0001}, {0x000C, 0x0080}, {0xFFBC, 0x0088}, {0x0001, 0x0006}, {0x0001, 0x0080},
};

// A remote's receiver reports this on its second collection for every button; the real press
// arrives as well.
constexpr ZrChar kReceiverEcho[] = u"IrDevice_Col02_020000";

ZrString TriggerCode(const RCCommandData& command) {
  ZrString code;
  command.GetString(code, RCCommandData::kTriggerCode);
  return code;
}

bool BeginsWithNoCase(const ZrString& text, const ZrString& prefix) {
  if (prefix.IsEmpty() || prefix.Length() > text.Length()) return false;
  return ZrCompareNoCase(text.Left(prefix.Length()).c_str(), prefix.c_str()) == 0;
}

}  // namespace

CRawInput::CRawInput(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) { CreateTargetWindow(); }

CRawInput::~CRawInput() {
  m_devices.RemoveAll();
  m_started = false;
  m_stopper.reset();
  EndRepeats();
  DestroyTargetWindow();
}

bool CRawInput::Start(bool flag) {
  return ZrNoThrow(false, [&] {
    m_started = flag;
    if (!m_stopper) m_stopper = std::make_unique<CStopMCERemoteHandling>();
    RefreshDevices();
    return true;
  });
}

bool CRawInput::Stop() {
  return ZrNoThrow(false, [&] {
    m_devices.RemoveAll();
    m_started = false;
    m_stopper.reset();
    // A held button must not go on reaching the host once Stop has returned.
    EndRepeats();
    return true;
  });
}

bool CRawInput::SetInfo(const wchar_t* name, const wchar_t* value) {
  return ZrNoThrow(false, [&] {
    if (!ZrIsReadableString(name) || ZrCompareNoCase(ZrU(name), u"Active Codes") != 0) return false;
    const ZrString text = ZrIsReadableString(value) ? ZrString(ZrU(value)) : ZrString();
    if (text.IsEmpty()) {
      m_commands.RemoveAll();
    } else {
      for (const ZrString& binding : ReadActiveCodesValue(text)) {
        auto command = std::make_unique<RCCommandData>();
        if (command->FromXml(binding, RCCommandData::kRootTag, 1.0)) m_commands.Add(command.release());
      }
    }
    RebuildActiveCodes();
    return true;
  });
}

bool CRawInput::GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) {
  return FillRawInputDevice(kCollections, static_cast<int>(std::size(kCollections)), index, device);
}

RawInputDevice* CRawInput::FindDevice(HANDLE handle) const {
  RawInputDevice* const* found = m_devices.Find(handle);
  return found ? *found : nullptr;
}

void CRawInput::RebuildActiveCodes() {
  m_activeCodes.RemoveAll();
  m_firstBindingRepeats.clear();
  for (const RCCommandData* command : m_commands) {
    const ZrString code = TriggerCode(*command);
    m_activeCodes.SetAt(code, true);
    // Only the first binding of a code counts.
    m_firstBindingRepeats.emplace(std::u16string(code.View()),
                                  command->GetInt(RCCommandData::kGenerateRepeats, 0) != 0);
  }
}

void CRawInput::RefreshDevices() {
  if (!m_user32.GetRawInputDeviceList || !m_user32.GetRawInputDeviceInfoW) return;
  RebuildActiveCodes();
  m_devices.RemoveAll();
  UINT count = 0;
  if (m_user32.GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != 0 || count == 0) return;
  std::vector<RAWINPUTDEVICELIST> list(count);
  count = m_user32.GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
  if (count == static_cast<UINT>(-1)) return;
  // A device that arrived between the two calls is left for the next Start.
  count = std::min<UINT>(count, static_cast<UINT>(list.size()));
  for (UINT i = 0; i < count; ++i) {
    if (list[i].dwType == RIM_TYPEMOUSE) continue;
    auto device = std::make_unique<RawInputDevice>(list[i].hDevice);
    if (!device->Identify(m_user32)) continue;
    bool keep = m_commands.IsEmpty();
    for (const RCCommandData* command : m_commands) {
      if (BeginsWithNoCase(TriggerCode(*command), device->CodePrefix())) {
        keep = true;
        break;
      }
    }
    if (keep) m_devices.SetAt(list[i].hDevice, device.release());
  }
}

bool CRawInput::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ZrNoThrow(false, [&] {
    if (!m_user32.GetRawInputData || m_devices.IsEmpty() || !m_host || (m_activeCodes.IsEmpty() && !m_started))
      return false;

    if (message != WM_INPUT) {
      // Only the first message after a delivered key is examined: the key message that Windows
      // sends after the raw input of the same key, when the host has the focus.
      const bool swallow =
          m_suppressPending && m_lastKeyTimer->ElapsedMs(false) < kKeyMessageWindowMs && wParam == m_lastKey;
      m_suppressPending = false;
      return swallow;
    }

    const HRAWINPUT input = reinterpret_cast<HRAWINPUT>(lParam);
    UINT size = 0;
    m_user32.GetRawInputData(input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER));
    if (size == 0 || size == static_cast<UINT>(-1)) return false;
    std::vector<uint8_t> buffer(size, 0);
    UINT read = size;
    if (m_user32.GetRawInputData(input, RID_INPUT, buffer.data(), &read, sizeof(RAWINPUTHEADER)) != size)
      return false;
    // Any new input of a device ends its repeats, whatever it is, even a record refused below.
    if (buffer.size() >= kRawInputHeaderSize) {
      HANDLE device;
      std::memcpy(&device, buffer.data() + 8, sizeof device);
      EndRepeatsOf(device);
    }
    ZrRawInputRecord record;
    if (!ZrReadRawInputRecord(buffer.data(), buffer.size(), record)) return false;
    const HANDLE deviceHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(record.device));

    if (record.type == kRawInputTypeMouse) return false;
    RawInputDevice* device = FindDevice(deviceHandle);
    if (!device) return false;
    const RawInputCode code = device->MakeCode(record);
    if (code.text.IsEmpty()) return false;
    if (record.type == kRawInputTypeHid && code.text.EqualsNoCase(kReceiverEcho)) return false;
    if (!m_activeCodes.IsEmpty() && !m_activeCodes.Contains(code.text)) return false;

    // Only the first binding of the code decides, compared case for case.
    const auto binding = m_firstBindingRepeats.find(std::u16string(code.text.View()));
    if (binding != m_firstBindingRepeats.end() && binding->second) AddRepeat(deviceHandle, code.vkey, code.text);

    m_lastKeyTimer->Restart();
    m_lastKey = code.vkey;
    m_suppressPending = code.vkey != 0;
    DeliverCode(code.text);
    return true;
  });
}

void CRawInput::AddRepeat(HANDLE device, uint16_t key, const ZrString& code) {
  m_repeats.Add(new CRawInputRepeatInfo(device, key, code, NewRepeatAge()));
  SetTimer(kRepeatTimer, kRepeatTickMs);
}

void CRawInput::EndRepeatsOf(HANDLE device) {
  for (int i = m_repeats.GetCount() - 1; i >= 0; --i)
    if (m_repeats[i]->m_device == device) m_repeats.RemoveAt(i);
}

void CRawInput::EndRepeats() {
  m_repeats.RemoveAll();
  if (HasWindow()) KillTimer(kRepeatTimer);
}

void CRawInput::OnTimer(uintptr_t id) {
  ZrNoThrowVoid([&] {
    if (id != kRepeatTimer) return;
    for (int i = 0; i < m_repeats.GetCount();) {
      CRawInputRepeatInfo* repeat = m_repeats[i];
      const double age = repeat->m_age->ElapsedMs(false);
      if (age > kRepeatLimitMs) {
        m_repeats.RemoveAt(i);
        continue;
      }
      if (age > kRepeatDelayMs) {
        m_lastKeyTimer->Restart();
        m_lastKey = repeat->m_key;
        m_suppressPending = repeat->m_key != 0;
        // The host may stop us from inside its callback; the walk then finds the array emptied.
        const ZrString code = repeat->m_code;
        DeliverCode(code);
      }
      ++i;
    }
    if (m_repeats.IsEmpty()) KillTimer(kRepeatTimer);
  });
}

ZrString CRawInput::GetName() { return ZrString(u"Raw Input"); }

ZrString CRawInput::GetDisplayName() {
  ZrString name(u"Remote, keyboard, gamepad or other HID");
  ZrTranslate(name);
  return name;
}
