#pragma once
// The plug-in for any human-interface device read as raw input: remotes, keyboards, gamepads.

#include "foundation/win/ZrCmdTarget.h"
#include "foundation/win/ZrSystemFunctions.h"
#include "plugin/ZrRemoteControlBase.h"

// Its hidden window exists from construction; timers for repeats run there.
class CRawInput : public ZrRemoteControlBase, public ZrCmdTarget {
 public:
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

 protected:
  ZrUser32Functions m_user32;
  ZrKernel32Functions m_kernel32;
  ZrSetupApiFunctions m_setupApi;
};
