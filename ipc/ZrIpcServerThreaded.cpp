#include "ipc/ZrIpcServerThreaded.h"

#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrTraceScope.h"
#include "ipc/ZrPipeIo.h"

namespace {

constexpr char kStopScope[] = "ZrIpcServerThreaded::ServerStop";
constexpr char kThreadScope[] = "ZrIpcServerThreaded::Thread";
// The most a posted request may wait for its handler when the poster waits at all.
constexpr int64_t kWaitForever = 0x7FFFFFFF;

}  // namespace

ZrIpcServerThreaded::~ZrIpcServerThreaded() { Shutdown(false); }

bool ZrIpcServerThreaded::HandleOnMainThread(const ZrIpcPacket&) { return false; }

bool ZrIpcServerThreaded::WaitForHandling(const ZrIpcPacket&) { return false; }

void ZrIpcServerThreaded::ProcessRequest(const ZrByteBuffer& request, ZrByteBuffer& reply) {
  ZrIpcPacket in;
  if (!in.FromBytes(request)) return;
  const bool wait = WaitForHandling(in);
  const bool onMainThread = HandleOnMainThread(in);
  if (!wait && !onMainThread) {
    ZrIpcPacket out;
    HandleRequest(in, out);
    out.ToBytes(reply);
    return;
  }
  // The window outlives every thread that can get here: ServerStop ends them before deleting it.
  if (m_window) m_window->PostRequest(request, reply, wait ? kWaitForever : 0, GetServerStopEvent());
}

bool ZrIpcServerThreaded::ServerStart(const ZrString& name) {
  if (GetStartCount() > 0) return false;
  if (!m_window) {
    m_window = std::make_unique<ZrIpcServerNotificationWindow>(this);
    m_window->CreateTargetWindow();
  }
  m_pipeName = name;
  m_state.store(kStateNone);
  Start(0, false);
  while (m_state.load() == kStateNone && ZrThread::IsRunning()) Sleep(1);
  return m_state.load() == kStateCreated;
}

bool ZrIpcServerThreaded::Run() {
  ZrTraceScope scope(kThreadScope);
  ZrLog(1, kThreadScope, u"Starting server loop for: %s", {m_pipeName});
  if (!IsStopRequested()) ServerRun(m_pipeName, false);
  ZrLog(1, kThreadScope, u"Thread finishing (cancel: %d; errors: %d)", {IsStopRequested() ? 1 : 0, 0});
  return true;
}

bool ZrIpcServerThreaded::ServerStop() {
  ZrTraceScope scope(kStopScope);
  Shutdown(true);
  return true;
}

void ZrIpcServerThreaded::Shutdown(bool trace) {
  auto step = [trace](const char16_t* text) {
    if (trace) ZrLog(1, kStopScope, text);
  };
  step(u"Canceling thread");
  RequestStop(true);
  step(u"Canceling pending run");
  SignalStop();
  step(u"Stopping thread");
  Stop(-1);
  step(u"Canceling response threads");
  for (int i = 0; i < m_connectionThreads.GetCount(); ++i) m_connectionThreads[i]->RequestStop(true);
  step(u"Deleting response threads");
  m_connectionThreads.RemoveAll();
  step(u"Closing notification window");
  m_window.reset();
}
