#include "ipc/ZrIpcServer.h"

#include <memory>

#include "foundation/ZrFormat.h"
#include "ipc/ZrPipeIo.h"

ZrIpcServerConnectionThread::ZrIpcServerConnectionThread(ZrIpcServer* server, HANDLE pipe, bool checkStop)
    : m_server(server), m_pipe(pipe), m_checkStop(checkStop) {}

ZrIpcServerConnectionThread::~ZrIpcServerConnectionThread() { Stop(-1); }

bool ZrIpcServerConnectionThread::Run() {
  // The thread's own stop event ends the exchange as the server's does.
  m_server->ProcessConnection(m_pipe.release(), m_checkStop, GetStopEvent());
  return true;
}

ZrIpcServer::ZrIpcServer() : m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ZrIpcServer::~ZrIpcServer() { DeleteConnectionThreads(); }

void ZrIpcServer::DeleteConnectionThreads() {
  for (int i = 0; i < m_connectionThreads.GetCount(); ++i) m_connectionThreads[i]->RequestStop(true);
  m_connectionThreads.RemoveAll();
}

bool ZrIpcServer::UseConnectionThreads() { return true; }

int32_t ZrIpcServer::GetOutBufferSize() { return kBufferSize; }

int32_t ZrIpcServer::GetInBufferSize() { return kBufferSize; }

void ZrIpcServer::HandleRequest(const ZrIpcPacket&, ZrIpcPacket&) {}

void ZrIpcServer::ProcessRequest(const ZrByteBuffer& request, ZrByteBuffer& reply) {
  ZrIpcPacket in;
  if (!in.FromBytes(request)) return;
  ZrIpcPacket out;
  HandleRequest(in, out);
  out.ToBytes(reply);
}

HANDLE ZrIpcServer::CreateServerPipe(const ZrString& name) {
  const ZrString fullName = ZrString(kPipePrefix) + name;
  // A null DACL: the host's service runs under another account and must be able to connect.
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
    return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = &descriptor;
  // Programs started by the host must not inherit an instance of our pipe.
  attributes.bInheritHandle = FALSE;
  return CreateNamedPipeW(ZrW(fullName.c_str()), kPipeOpenMode, kPipeMode, PIPE_UNLIMITED_INSTANCES,
                          static_cast<DWORD>(GetOutBufferSize()), static_cast<DWORD>(GetInBufferSize()), 0,
                          &attributes);
}

bool ZrIpcServer::s_ConnectNamedPipe(HANDLE pipe, HANDLE stopEvent) {
  if (pipe == INVALID_HANDLE_VALUE || !pipe) return false;
  ZrEventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();
  if (ConnectNamedPipe(pipe, &overlapped)) return true;
  switch (GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      return true;
    case ERROR_IO_PENDING:
      break;
    default:
      return false;
  }
  HANDLE handles[2] = {event.get(), stopEvent};
  const DWORD wait = WaitForMultipleObjects(stopEvent ? 2 : 1, handles, FALSE, 0x7FFFFFFF);
  DWORD ignored = 0;
  if (wait == WAIT_OBJECT_0) return GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != FALSE;
  CancelIo(pipe);
  GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
  SetLastError(ERROR_OPERATION_ABORTED);
  return false;
}

bool ZrIpcServer::ServerRun(const ZrString& name, bool checkStop) {
  ResetEvent(m_stopEvent.get());
  ZrFileHandle pipe(CreateServerPipe(name));
  if (!pipe) {
    m_state.store(kStateFailed);
    return false;
  }
  m_state.store(kStateCreated);
  if (!s_ConnectNamedPipe(pipe.get(), m_stopEvent.get())) {
    const DWORD error = GetLastError();
    if (ZrIsSignalled(m_stopEvent.get())) return false;
    // A client that connected and left before we looked is not an error of the server.
    return error == ERROR_NO_DATA;
  }
  if (!UseConnectionThreads()) {
    ProcessConnection(pipe.release(), checkStop);
    return true;
  }
  for (int i = m_connectionThreads.GetCount() - 1; i >= 0; --i)
    if (!m_connectionThreads[i]->IsRunning()) m_connectionThreads.RemoveAt(i);
  auto thread = std::make_unique<ZrIpcServerConnectionThread>(this, pipe.release(), checkStop);
  // A thread that cannot start closes its pipe when deleted; the client sees the connection end.
  if (thread->Start(0, false)) m_connectionThreads.Add(thread.release());
  return true;
}

void ZrIpcServer::ProcessConnection(HANDLE pipeHandle, bool checkStop, HANDLE cancel) {
  ZrFileHandle pipe(pipeHandle);
  ZrEventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const HANDLE cancels[2] = {m_stopEvent.get(), cancel};
  const DWORD inSize = static_cast<DWORD>(GetInBufferSize() > 0 ? GetInBufferSize() : 1);
  ZrByteBuffer request;
  ZrByteBuffer reply;
  bool clientGone = false;
  bool replied = false;
  while (event) {
    request.Empty();
    if (!request.Grow(inSize, false, 0, false)) break;
    // A message longer than the buffer fails with ERROR_MORE_DATA and ends the connection unanswered.
    const ZrPipeIoResult read = ZrPipeRead(pipe.get(), event.get(), request.Data(), inSize, INFINITE, cancels, 2);
    if (!read.Done() || read.bytes == 0) {
      clientGone = read.error == ERROR_BROKEN_PIPE || read.error == ERROR_PIPE_NOT_CONNECTED;
      break;
    }
    request.SetSize(read.bytes);
    reply.Empty();
    ProcessRequest(request, reply);
    if (reply.Size() > 0) {
      const ZrPipeIoResult write =
          ZrPipeWrite(pipe.get(), event.get(), reply.Data(), static_cast<DWORD>(reply.Size()), INFINITE, cancels, 2);
      if (write.status == ZrPipeIoStatus::kCancelled) break;
      replied = write.Done();
    }
    if (!checkStop || ZrIsSignalled(m_stopEvent.get()) || ZrIsSignalled(cancel)) break;
  }
  // Disconnecting drops what the client has not read yet, so a reply first has to be read. A client
  // closes its end once it has its reply; one that neither reads nor closes is let go after a
  // while, and at once on a stop, where flushing the pipe would wait for it for ever.
  if (event && replied && !clientGone && !ZrIsSignalled(m_stopEvent.get()) && !ZrIsSignalled(cancel)) {
    uint8_t byte = 0;
    ZrPipeRead(pipe.get(), event.get(), &byte, 1, kReplyLingerMs, cancels, 2);
  }
  DisconnectNamedPipe(pipe.get());
}
