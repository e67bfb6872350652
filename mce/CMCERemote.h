#pragma once
// The plug-in for the Microsoft MCE remote: read as raw input; blasts and learns through the host's
// service.

#include "foundation/ZrTimer.h"
#include "foundation/win/ZrCmdTarget.h"
#include "foundation/win/ZrSystemFunctions.h"
#include "plugin/ZrRemoteControlBase.h"

// Its command window is made by Start, not at construction.
class CMCERemote : public ZrRemoteControlBase, private ZrCmdTarget {
 public:
  explicit CMCERemote(IZrRemoteControlHost* host);
  ~CMCERemote() override;

  bool Start(bool flag) override;
  bool Stop() override;
  bool IRCanBlast() override;
  bool GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) override;
  bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  ZrString GetName() override;
  ZrString GetDisplayName() override;
  bool GetEnableOnInstall() override;

 protected:
  ZrUser32Functions m_user32;
  ZrKernel32Functions m_kernel32;
  ZrSetupApiFunctions m_setupApi;
  ZrTimer m_seekTimer;  // started at construction, like the code timer
  bool m_learnInProgress = false;
};
