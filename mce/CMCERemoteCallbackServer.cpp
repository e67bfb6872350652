#include "mce/CMCERemoteCallbackServer.h"

#include "foundation/win/ZrBoundary.h"

CMCERemoteCallbackServer::CMCERemoteCallbackServer(IZrLearnCallback* callback) : m_callback(callback) {}

CMCERemoteCallbackServer::~CMCERemoteCallbackServer() {
  ServerStop();
  m_callback = nullptr;
}

bool CMCERemoteCallbackServer::UseConnectionThreads() { return false; }

bool CMCERemoteCallbackServer::HandleOnMainThread(const ZrIpcPacket&) { return true; }

void CMCERemoteCallbackServer::HandleRequest(const ZrIpcPacket& request, ZrIpcPacket&) {
  request.GetString(m_lastCode, u"IR Code");
  IZrLearnCallback* const callback = m_callback;
  if (!callback) return;
  // The callee owns the string; a null one (no memory) is not handed over.
  if (BSTR code = ZrToBstr(m_lastCode)) callback->OnLearned(code);
}
