#include "mce/CMCERemote.h"

#include <iterator>
#include <vector>

#include "foundation/ZrConvert.h"
#include "foundation/ZrRawInputRecord.h"
#include "foundation/win/ZrBoundary.h"
#include "foundation/win/ZrHandle.h"
#include "mce/CMCERemoteCallbackServer.h"
#include "mce/MceRemoteReport.h"

namespace {

// The MCE remote's vendor collection first, then consumer control.
constexpr ZrRemoteControlBase::Collection kCollections[] = {{0xFFBC, 0x0088}, {0x000C, 0x0001}};

constexpr size_t kMinimumBuffer = 48;

}  // namespace

CMCERemote::CMCERemote(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {}

CMCERemote::~CMCERemote() {
  ZrNoThrowVoid([&] {
    Shutdown();
    CancelLearnOnStop();
    m_callbackServer.reset();
  });
}

void CMCERemote::Shutdown() {
  DestroyTargetWindow();
  m_started = false;
  m_stopper.reset();
}

bool CMCERemote::Start(bool flag) {
  return ZrNoThrow(false, [&] {
    m_started = flag;
    if (!m_user32.GetRawInputData) return false;
    if (!m_stopper) m_stopper = std::make_unique<CStopMCERemoteHandling>();
    CreateTargetWindow();
    return true;
  });
}

bool CMCERemote::Stop() {
  return ZrNoThrow(false, [&] {
    // The window takes its timers with it: a seek ends here.
    Shutdown();
    CancelLearnOnStop();
    return true;
  });
}

bool CMCERemote::IRCanBlast() { return true; }

bool CMCERemote::GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) {
  return FillRawInputDevice(kCollections, static_cast<int>(std::size(kCollections)), index, device);
}

bool CMCERemote::OnWindowMessage(UINT, WPARAM, LPARAM lParam) {
  ZrNoThrowVoid([&] {
    if (!m_user32.GetRawInputData || !m_host) return;
    // Any raw input ends a seek, whatever it carries.
    KillTimer(kSeekTimer);
    const HRAWINPUT input = reinterpret_cast<HRAWINPUT>(lParam);
    UINT size = 0;
    if (m_user32.GetRawInputData(input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0 || size == 0) return;
    std::vector<uint8_t> buffer(std::max<size_t>(size, kMinimumBuffer), 0);
    UINT read = static_cast<UINT>(buffer.size());
    if (m_user32.GetRawInputData(input, RID_INPUT, buffer.data(), &read, sizeof(RAWINPUTHEADER)) != size) return;
    // Only the bytes written count: reports claimed past them are not read.
    ZrRawInputRecord record;
    if (!ZrReadRawInputRecord(buffer.data(), size, record) || record.type != kRawInputTypeHid) return;
    if (record.reportCount != 1) return;
    const MceRemoteButton button = MatchMceRemoteReport(record.reports, record.reportSize);
    switch (button.kind) {
      case MceRemoteButton::Kind::kNone:
        return;
      case MceRemoteButton::Kind::kCode:
        DeliverCode(MceCodeText(button.command, button.parameter));
        return;
      case MceRemoteButton::Kind::kSkipForward:
        // Forward seeks only while the start flag is clear.
        if (!m_started && HostValue(L"Playback Player Type") == kMceSeekPlayerType)
          StartSeek(true, kMceSkipForwardCommand);
        else
          DeliverCode(MceCodeText(button.command, 0));
        return;
      case MceRemoteButton::Kind::kSkipBack:
        if (HostValue(L"Playback Player Type") == kMceSeekPlayerType)
          StartSeek(false, kMceSkipBackCommand);
        else
          DeliverCode(MceCodeText(button.command, 0));
        return;
    }
  });
  return false;
}

int32_t CMCERemote::HostValue(const wchar_t* name) {
  if (!m_host) return 0;
  ZrBstr answer(m_host->GetValue(name));
  const ZrString text = ZrReadableText(answer.get());
  return text.IsEmpty() ? 0 : ZrToInt(text.c_str());
}

void CMCERemote::StartSeek(bool forward, uint32_t command) {
  if (!m_host) return;
  const int32_t value = HostValue(forward ? L"Seek Forward MS" : L"Seek Back MS");
  m_seekCommand = command;
  m_seekStep = MceSeekStep(value, forward);
  DeliverSeek(m_seekStep);
  m_seekTimer->Restart();
  m_seekTicks = 0;
  SetTimer(kSeekTimer, kFirstSeekTickMs);
}

void CMCERemote::DeliverSeek(int32_t distance) {
  DeliverCode(MceSeekText(distance, static_cast<uint32_t>(m_seekCommand)));
}

void CMCERemote::OnTimer(uintptr_t id) {
  ZrNoThrowVoid([&] {
    if (id != kSeekTimer || !m_host) return;
    SetTimer(kSeekTimer, kSeekTickMs);
    const double elapsed = m_seekTimer->ElapsedMs(true);
    const int32_t distance = m_seekTicks == 0 ? m_seekStep : MceSeekDistance(m_seekStep, elapsed);
    ++m_seekTicks;
    DeliverSeek(distance);
  });
}

ZrString CMCERemote::GetName() { return ZrString(u"MCE"); }

ZrString CMCERemote::GetDisplayName() { return ZrString(u"Microsoft MCE"); }

bool CMCERemote::GetEnableOnInstall() { return true; }
