#pragma once
// The one-shot pipe server that a learn request starts: the service connects to it once and sends
// the learned code, which reaches the host's learn callback on the thread that started the server
// (it must dispatch window messages). The service is answered "Result" = "1" at once.

#include "foundation/ZrString.h"
#include "ipc/ZrIpcServerThreaded.h"
#include "plugin/IZrRemoteControlHost.h"

class CMCERemoteCallbackServer : public ZrIpcServerThreaded {
 public:
  // The callback is not owned; it may be null (the code is then only kept).
  explicit CMCERemoteCallbackServer(IZrLearnCallback* callback);
  ~CMCERemoteCallbackServer() override;

  // The one connection is served on the listening thread.
  bool UseConnectionThreads() override;
  bool HandleOnMainThread(const ZrIpcPacket& request) override;
  // Keeps the code and hands a copy to the callback, which owns it. The callback may delete this
  // server (through IRLearnCancel or Stop): nothing here touches the object after the call.
  void HandleRequest(const ZrIpcPacket& request, ZrIpcPacket& reply) override;

  const ZrString& GetLastCode() const { return m_lastCode; }

 private:
  IZrLearnCallback* m_callback;
  ZrString m_lastCode;
};
