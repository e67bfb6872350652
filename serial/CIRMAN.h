#pragma once
// The plug-in for the IRMAN serial infrared receiver. It neither blasts nor learns.

#include "plugin/ZrRemoteControlBase.h"

class CIRMAN : public ZrRemoteControlBase {
 public:
  explicit CIRMAN(IZrRemoteControlHost* host);
  ~CIRMAN() override;

  bool Start(bool flag) override;
  bool Stop() override;
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  bool IRBlast(const wchar_t* code) override;
  bool IRLearn(IZrLearnCallback* callback) override;
  void IRLearnCancel() override;
  ZrString GetName() override;
};
