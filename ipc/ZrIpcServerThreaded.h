#pragma once
// A named-pipe server on a listening thread of its own: its owner starts it on a pipe name and goes
// on with its work. A request is handled on the listening (or connection) thread, or handed through
// a hidden notification window to the thread that started the server, which must dispatch window
// messages. A server object listens once: one connection, one request.
//
// ServerStart, ServerStop and destruction belong to the thread that started the server. ServerStop
// must not be called from a handler that runs on the listening or a connection thread.

#include <memory>

#include "foundation/ZrString.h"
#include "foundation/win/ZrThread.h"
#include "ipc/ZrIpcServer.h"
#include "ipc/ZrIpcServerNotificationWindow.h"

class ZrIpcServerThreaded : public ZrIpcServer, private ZrThread {
 public:
  ZrIpcServerThreaded() = default;
  // Stops everything first (quietly), so that no thread outlives the object or waits for a client.
  ~ZrIpcServerThreaded() override;

  void ProcessRequest(const ZrByteBuffer& request, ZrByteBuffer& reply) override;
  // Hand the request to the starting thread's window.
  virtual bool HandleOnMainThread(const ZrIpcPacket& request);
  // Wait there for the handler's reply instead of answering "Result" = "1" at once.
  virtual bool WaitForHandling(const ZrIpcPacket& request);

  // Creates the notification window on the calling thread and starts listening. False when this
  // object was started before, when the pipe cannot be made, or when the thread ended first.
  bool ServerStart(const ZrString& name);
  // Takes the server down in a fixed order, each step traced. Answers true; may be called again.
  bool ServerStop();

  const ZrString& GetPipeName() const { return m_pipeName; }
  ZrIpcServerNotificationWindow* GetNotificationWindow() { return m_window.get(); }
  using ZrThread::IsRunning;

 protected:
  bool Run() override;

 private:
  void Shutdown(bool trace);

  ZrString m_pipeName;
  std::unique_ptr<ZrIpcServerNotificationWindow> m_window;
};
