// The MCE plug-in's infrared operations: each is one request to the host's background service.
// They run on the host's thread and block it for the length of the exchange, never longer than
// the client's limits.

#include "foundation/win/ZrBoundary.h"
#include "ipc/ZrIpcClient.h"
#include "mce/CMCERemote.h"
#include "mce/CMCERemoteCallbackServer.h"
#include "mce/CMCERemoteService.h"
#include "mce/IRBlastCode.h"

namespace {

constexpr int kPortsLimitMs = 3000;
constexpr int32_t kLowestCarrier = 1000;
constexpr int32_t kHighestCarrier = 100000;
constexpr int32_t kDefaultCarrier = 38000;

ZrIpcPacket Command(const ZrChar* command) {
  ZrIpcPacket packet;
  packet.SetString(u"Command", ZrString(command));
  return packet;
}

}  // namespace

int32_t CMCERemote::IRGetNumBlastPorts() {
  return ZrNoThrow(int32_t{0}, [&] {
    ZrByteBuffer request;
    Command(u"IRGetNumBlastPorts").ToBytes(request);
    ZrByteBuffer replyBytes;
    ZrIpcClient client(CMCEServicePipeName());
    if (!client.Transact(request.Data(), request.Size(), replyBytes, kPortsLimitMs)) return int32_t{0};
    ZrIpcPacket reply;
    if (!reply.FromBytes(replyBytes)) return int32_t{0};
    return reply.GetInt(u"IRNumBlastPorts", 0);
  });
}

bool CMCERemote::IRBlast(const wchar_t* text) {
  return ZrNoThrow(false, [&] {
    const ZrString given = ZrReadableText(text);
    // A text that is not a code leaves it empty, and an empty code has nothing to send.
    IRBlastCode code(given.IsEmpty() ? ZrString() : given);
    ZrString data;
    code.GetString(data, IRBlastCode::kIRData);
    if (data.IsEmpty()) return false;
    const int32_t carrier = code.GetInt(IRBlastCode::kCarrierFrequency, -1);
    if (carrier < kLowestCarrier || carrier > kHighestCarrier) code.SetInt(IRBlastCode::kCarrierFrequency, kDefaultCarrier);

    ZrIpcPacket request = Command(u"IRBlast");
    ZrString codeText;
    code.ToText(codeText);
    request.SetString(u"IR Code", codeText);
    ZrIpcClient client(CMCEServicePipeName());
    return client.SendPacket(request);
  });
}

bool CMCERemote::IRLearn(IZrLearnCallback* callback) {
  return ZrNoThrow(false, [&] {
    // Without a callback a learned code could reach nobody: the service is not asked to learn.
    if (!callback) return false;
    auto server = std::make_unique<CMCERemoteCallbackServer>(callback);
    server->ServerStart(ZrString(kMCEResponseServerName));
    // The previous server goes only now, once the new one listens.
    m_callbackServer = std::move(server);

    ZrIpcPacket request = Command(u"IRLearn");
    request.SetString(u"Callback Server", ZrString(kMCEResponseServerName));
    ZrIpcClient client(CMCEServicePipeName());
    const bool accepted = client.SendPacket(request);
    if (accepted)
      m_learnInProgress = true;
    else
      m_callbackServer.reset();
    return accepted;
  });
}

void CMCERemote::IRLearnCancel() {
  ZrNoThrowVoid([&] {
    // Bounded: a service that accepts and never answers costs at most the client's limits.
    ZrIpcClient client(CMCEServicePipeName());
    client.SendCommandRequest(ZrString(u"IRLearnCancel"));
    m_callbackServer.reset();
    m_learnInProgress = false;
  });
}

void CMCERemote::CancelLearnOnStop() {
  if (m_learnInProgress && !IsSystemShutdown()) IRLearnCancel();
}
