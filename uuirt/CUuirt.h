#pragma once
// The plug-in for the USB-UIRT infrared transceiver: receives, blasts and learns through the
// vendor's driver library.

#include "plugin/ZrRemoteControlBase.h"

class CUuirt : public ZrRemoteControlBase {
 public:
  explicit CUuirt(IZrRemoteControlHost* host);
  ~CUuirt() override;

  bool Start(bool flag) override;
  bool Stop() override;
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  bool IRBlast(const wchar_t* code) override;
  bool IRLearn(IZrLearnCallback* callback) override;
  void IRLearnCancel() override;
  ZrString GetName() override;
};
