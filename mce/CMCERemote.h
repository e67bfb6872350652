#pragma once
// The plug-in for the Microsoft MCE remote: read as raw input; blasts and learns through the host's
// service.
//
// The host registers the two collections of GetRawInputDevice on its window and hands each WM_INPUT
// to OnWindowMessage. A held skip button becomes a seek when the host's player is of type 11: a
// seek code at once, then on timer 1 of the plug-in's window after 250 ms and every 100 ms, until
// the next raw-input message or Stop. Every operation runs on the host's thread, which owns the
// window made by Start.

#include <cstdint>
#include <memory>

#include "foundation/ZrTimer.h"
#include "foundation/win/ZrCmdTarget.h"
#include "foundation/win/ZrSystemFunctions.h"
#include "plugin/CStopMCERemoteHandling.h"
#include "plugin/ZrRemoteControlBase.h"

class CMCERemoteCallbackServer;

class CMCERemote : public ZrRemoteControlBase, private ZrCmdTarget {
 public:
  static constexpr uintptr_t kSeekTimer = 1;
  static constexpr int kFirstSeekTickMs = 250;
  static constexpr int kSeekTickMs = 100;

  explicit CMCERemote(IZrRemoteControlHost* host);
  ~CMCERemote() override;

  bool Start(bool flag) override;
  bool Stop() override;
  // Blasting and learning go through the host's background service (CMCERemoteIR.cpp).
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  bool IRBlast(const wchar_t* code) override;
  bool IRLearn(IZrLearnCallback* callback) override;
  void IRLearnCancel() override;
  bool GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) override;
  // Reads lParam as a raw-input handle whatever the message is; answers false.
  bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  ZrString GetName() override;
  ZrString GetDisplayName() override;
  bool GetEnableOnInstall() override;

  // Inspection, for tests.
  bool HasStopper() const { return m_stopper != nullptr; }
  bool HasCommandWindow() { return HasWindow(); }
  HWND CommandWindow() const { return GetTargetWindow(); }
  int32_t SeekStep() const { return m_seekStep; }

 protected:
  void OnTimer(uintptr_t id) override;
  // Reads a host value as an integer: a null or unreadable answer reads as 0.
  int32_t HostValue(const wchar_t* name);
  void StartSeek(bool forward, uint32_t command);
  void DeliverSeek(int32_t distance);
  // Ends the plug-in's running parts: window and timers, start flag, stopper.
  void Shutdown();
  // Stop's part in learning: an outstanding learn request is cancelled, unless Windows is shutting
  // down (the service may be gone already; the host will not wait for it).
  void CancelLearnOnStop();

  ZrUser32Functions m_user32;
  ZrKernel32Functions m_kernel32;
  ZrSetupApiFunctions m_setupApi;
  // Started at construction, like the code timer; tests put one of their own clock here.
  std::unique_ptr<ZrTimer> m_seekTimer = std::make_unique<ZrTimer>();
  int32_t m_seekTicks = 0;
  int32_t m_seekStep = 0;
  uint64_t m_seekCommand = 0;
  std::unique_ptr<CStopMCERemoteHandling> m_stopper;
  // The learn's response server, while a learn request is outstanding.
  std::unique_ptr<CMCERemoteCallbackServer> m_callbackServer;
  bool m_learnInProgress = false;
};
