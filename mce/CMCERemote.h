#pragma once
// The plug-in for the Microsoft MCE remote: read as raw input; blasts and learns through the host's
// service.

#include "plugin/ZrRemoteControlBase.h"

class CMCERemote : public ZrRemoteControlBase {
 public:
  explicit CMCERemote(IZrRemoteControlHost* host);
  ~CMCERemote() override;

  bool Start(bool flag) override;
  bool Stop() override;
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  bool IRBlast(const wchar_t* code) override;
  bool IRLearn(IZrLearnCallback* callback) override;
  void IRLearnCancel() override;
  bool GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) override;
  bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  ZrString GetName() override;
  ZrString GetDisplayName() override;
  bool GetEnableOnInstall() override;
};
