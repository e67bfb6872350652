#pragma once
// Request/reply exchanges over a Windows named pipe. One listening cycle (ServerRun) creates one
// pipe instance, waits for one client or for the stop event, and serves the connection on the
// calling thread or on a connection thread of its own. Each exchange is one request packet and one
// reply packet; a subclass decides what a request means in HandleRequest.
//
// Every read and write is overlapped and waits on the stop event too, so a client that sends
// nothing or never reads its reply holds no thread past a stop. A subclass must stop its server
// (signal the stop event and delete the connection threads) before its own part is destroyed:
// the connection threads call its virtual operations.

#include <atomic>
#include <cstdint>

#include "foundation/ZrArray.h"
#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrThread.h"
#include "ipc/ZrByteBuffer.h"
#include "ipc/ZrIpcPacket.h"

class ZrIpcServer;

// Serves one accepted connection on a thread of its own.
class ZrIpcServerConnectionThread : public ZrThread {
 public:
  // Takes the pipe handle; the exchange loop closes it (or this object, when the thread never ran).
  ZrIpcServerConnectionThread(ZrIpcServer* server, HANDLE pipe, bool checkStop);
  ~ZrIpcServerConnectionThread() override;

 protected:
  bool Run() override;

 private:
  ZrIpcServer* m_server;
  ZrFileHandle m_pipe;
  bool m_checkStop;
};

class ZrIpcServer {
 public:
  // The pipe namespace every name is placed in.
  static constexpr ZrChar kPipePrefix[] = u"\\\\.\\pipe\\";
  static constexpr int32_t kBufferSize = 16384;
  static constexpr DWORD kPipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;  // 0x40000003
  // Message type, message read mode, blocking; and nobody from another machine.
  static constexpr DWORD kPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
  // After the reply, how long a connection waits for its client to read it and go away.
  static constexpr DWORD kReplyLingerMs = 5000;

  enum State : int32_t {
    kStateNone = 0,     // no cycle has created its pipe yet
    kStateFailed = 1,   // the last cycle could not create its pipe
    kStateCreated = 2,  // the last cycle's pipe exists
  };

  ZrIpcServer();
  ZrIpcServer(const ZrIpcServer&) = delete;
  ZrIpcServer& operator=(const ZrIpcServer&) = delete;
  // Deletes the connection threads (each first ends its exchange), then closes the stop event.
  virtual ~ZrIpcServer();

  virtual bool UseConnectionThreads();
  // Reads the request packet, has it handled and writes the reply packet. A request that is not a
  // packet leaves the reply empty: nothing is written back.
  virtual void ProcessRequest(const ZrByteBuffer& request, ZrByteBuffer& reply);
  virtual void HandleRequest(const ZrIpcPacket& request, ZrIpcPacket& reply);
  virtual int32_t GetOutBufferSize();
  // Also the most bytes one request may have: a longer one closes its connection without a reply.
  virtual int32_t GetInBufferSize();

  // One listening cycle. True when a client was served or handed to a connection thread, or came
  // and went before it could be; false on a stop, or when the pipe could not be made.
  bool ServerRun(const ZrString& name, bool checkStop);
  // A new local, non-inheritable instance of \\.\pipe\<name> that every account may open; the
  // invalid handle on failure.
  HANDLE CreateServerPipe(const ZrString& name);
  // The exchange loop on an accepted connection; closes the pipe. `cancel`, when given, ends it
  // like the stop event (a connection thread's own stop event).
  void ProcessConnection(HANDLE pipe, bool checkStop, HANDLE cancel = nullptr);
  // Waits for a client on the pipe; the stop event, when given, abandons the wait.
  static bool s_ConnectNamedPipe(HANDLE pipe, HANDLE stopEvent);

  HANDLE GetServerStopEvent() const { return m_stopEvent.get(); }
  // Abandons a wait for a client and every exchange in progress.
  void SignalStop() { SetEvent(m_stopEvent.get()); }
  int32_t GetState() const { return m_state.load(); }
  int GetConnectionThreadCount() const { return m_connectionThreads.GetCount(); }

 protected:
  // Asks every connection thread to stop, then deletes them all.
  void DeleteConnectionThreads();

  ZrEventHandle m_stopEvent;
  ZrOwnedPtrArray<ZrIpcServerConnectionThread> m_connectionThreads;
  std::atomic<int32_t> m_state{kStateNone};
};
