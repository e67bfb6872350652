#pragma once
// The plug-in for the USB-UIRT infrared transceiver: receives, blasts and learns through the
// vendor's driver library.

#include "foundation/win/ZrThread.h"
#include "plugin/ZrRemoteControlBase.h"

// The thread is the learn worker. Start and Stop here are the plug-in's; the thread's own are
// reached as ZrThread::Start and ZrThread::Stop.
class CUuirt : public ZrRemoteControlBase, public ZrThread {
 public:
  explicit CUuirt(IZrRemoteControlHost* host);
  ~CUuirt() override;

  bool Start(bool flag) override;
  // Raises the stop request and stops the thread, waiting without limit; answers the thread's
  // result (true when it never ran).
  bool Stop() override;
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  void IRLearnCancel() override;
  ZrString GetName() override;
};
