// zrservice: a stand-in for the host's background service, for tests and demonstrations only.
// It serves "Zorvane Service IPC (N)" for the installation that a folder belongs to (its own
// folder, or --folder), found as the module finds it, so that N matches a host run from there.
//
//   zrservice.exe [--folder DIR] [--report FILE] [--ports N|none] [--blast-ms N] [--blast-result N]
//                 [--learn-delay-ms N] [--learn-code TEXT] [--learn-mode send|never|malformed]
//                 [--never-answer COMMAND]... [--seconds N]
//
// Answers "IRGetNumBlastPorts" ("IRNumBlastPorts" = --ports; none leaves the key out), "IRBlast"
// (after --blast-ms, "Result" = --blast-result), "IRLearn" ("Result" = "1"; then, after
// --learn-delay-ms, connects to the named "Callback Server" and sends one "IR Code", or nothing, or
// bytes that are no packet), "IRLearnCancel"; a command named by --never-answer is read and never
// answered, its connection held open. Every event is one line of the report, fields separated by
// tabs, with backslash, tab, CR and LF written as \\, \t, \r, \n:
//   ready <pipe name>
//   request <command> <IR Code or Callback Server, when the request has one>
//   blasted <IR Code>
//   callback <sent|malformed|failed> <the reply's Result>
// The service ends after --seconds (default 600) or when it is terminated.

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ZrFormat.h"
#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/ZrWindows.h"
#include "ipc/ZrByteBuffer.h"
#include "ipc/ZrIpcPacket.h"

namespace {

struct Options {
  std::wstring folder;
  std::wstring report;
  std::wstring ports = L"1";
  int blastMs = 50;
  std::wstring blastResult = L"1";
  int learnDelayMs = 300;
  std::wstring learnCode =
      L"<ZRIR version=\"1.0\">\r\n<Item Name=\"IRData\">0000 006D 0022 0002 0155 00AA</Item>\r\n"
      L"<Item Name=\"CarrierFrequency\">38000</Item>\r\n</ZRIR>";
  std::wstring learnMode = L"send";
  std::vector<std::wstring> neverAnswer;
  int seconds = 600;
};

Options g_options;
std::mutex g_reportLock;
FILE* g_report = nullptr;
// Connections left unanswered on purpose stay open until the service ends.
std::mutex g_heldLock;
std::vector<HANDLE> g_held;

std::string Escape(const ZrString& text) {
  std::string out;
  for (char c : text.ToUtf8()) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

void Report(std::initializer_list<ZrString> fields) {
  std::string line;
  for (const ZrString& field : fields) {
    if (!line.empty()) line += '\t';
    line += Escape(field);
  }
  std::lock_guard<std::mutex> lock(g_reportLock);
  FILE* out = g_report ? g_report : stdout;
  std::fprintf(out, "%s\n", line.c_str());
  std::fflush(out);
}

ZrString Text(const std::wstring& text) { return ZrString(ZrU(text.c_str())); }

ZrString Get(const ZrIpcPacket& packet, const ZrChar* key) {
  ZrString value;
  packet.GetString(value, key);
  return value;
}

ZrString ExecutableFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return ZrDirectoryOf(ZrString(ZrU(path)));
}

// The pipe the module's client opens for a host in this folder.
ZrString ServicePipeName(const ZrString& folder) {
  const ZrString directory = ZrWithOneTrailingBackslash(folder);
  bool portable = false;
  const ZrString install = ZrLongPathForm(
      ZrResolveInstallDirectory(directory, directory, ZrInstallationsKeyPath(directory), &portable));
  const int32_t hash = install.IsEmpty() ? 0 : static_cast<int32_t>(ZrHashNoCase(install.c_str()));
  return ZrFormatV(u"Zorvane Service IPC (%d)", {hash});
}

bool WriteMessage(HANDLE pipe, const ZrByteBuffer& bytes) {
  DWORD written = 0;
  return WriteFile(pipe, bytes.Data(), static_cast<DWORD>(bytes.Size()), &written, nullptr) &&
         written == static_cast<DWORD>(bytes.Size());
}

// Connects to the learn's response server and hands it the learned code, as the real service does.
void SendLearnedCode(ZrString callbackServer) {
  Sleep(static_cast<DWORD>(g_options.learnDelayMs));
  if (g_options.learnMode == L"never") return;
  const std::wstring name = L"\\\\.\\pipe\\" + std::wstring(ZrW(callbackServer.c_str()));
  ZrFileHandle pipe;
  for (int i = 0; i < 400 && !pipe; ++i) {
    pipe.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!pipe) Sleep(5);
  }
  if (!pipe) {
    Report({u"callback", u"failed", ZrFormatV(u"open error %d", {GetLastError()})});
    return;
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
  ZrByteBuffer bytes;
  const bool malformed = g_options.learnMode == L"malformed";
  if (malformed) {
    // Not a packet: the root's version is wrong.
    const char text[] = "<ZRIPC version=\"7.0\">\r\n<Item Name=\"IR Code\">x</Item>\r\n</ZRIPC>";
    bytes.Append(text, sizeof text);
  } else {
    ZrIpcPacket packet;
    packet.SetString(u"IR Code", Text(g_options.learnCode));
    packet.ToBytes(bytes);
  }
  if (!WriteMessage(pipe.get(), bytes)) {
    Report({u"callback", u"failed", ZrFormatV(u"write error %d", {GetLastError()})});
    return;
  }
  std::vector<uint8_t> reply(16384);
  DWORD read = 0;
  ZrString result(u"(no reply)");
  if (ReadFile(pipe.get(), reply.data(), static_cast<DWORD>(reply.size()), &read, nullptr) && read > 0) {
    ZrByteBuffer replyBytes;
    replyBytes.Append(reply.data(), read);
    ZrIpcPacket packet;
    if (packet.FromBytes(replyBytes)) result = Get(packet, u"Result");
  }
  Report({u"callback", malformed ? ZrString(u"malformed") : ZrString(u"sent"), result});
}

void Serve(HANDLE pipeHandle) {
  ZrFileHandle pipe(pipeHandle);
  std::vector<uint8_t> buffer(16384);
  DWORD read = 0;
  if (!ReadFile(pipe.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) || read == 0) return;
  ZrByteBuffer bytes;
  bytes.Append(buffer.data(), read);
  ZrIpcPacket request;
  if (!request.FromBytes(bytes)) {
    Report({u"request", u"(not a packet)"});
    return;
  }
  const ZrString command = Get(request, u"Command");
  const ZrString detail = request.Exists(u"IR Code") ? Get(request, u"IR Code") : Get(request, u"Callback Server");
  Report({u"request", command, detail});

  for (const std::wstring& never : g_options.neverAnswer) {
    if (command.EqualsNoCase(Text(never))) {
      std::lock_guard<std::mutex> lock(g_heldLock);
      g_held.push_back(pipe.release());
      return;
    }
  }

  ZrIpcPacket reply;
  if (command.EqualsNoCase(u"IRGetNumBlastPorts")) {
    if (g_options.ports != L"none") reply.SetString(u"IRNumBlastPorts", Text(g_options.ports));
    reply.SetString(u"Result", ZrString(u"1"));
  } else if (command.EqualsNoCase(u"IRBlast")) {
    Sleep(static_cast<DWORD>(g_options.blastMs));
    Report({u"blasted", Get(request, u"IR Code")});
    reply.SetString(u"Result", Text(g_options.blastResult));
  } else if (command.EqualsNoCase(u"IRLearn")) {
    reply.SetString(u"Result", ZrString(u"1"));
    std::thread(SendLearnedCode, Get(request, u"Callback Server")).detach();
  } else if (command.EqualsNoCase(u"IRLearnCancel")) {
    reply.SetString(u"Result", ZrString(u"1"));
  } else {
    reply.SetString(u"Result", ZrString(u"0"));
  }
  ZrByteBuffer replyBytes;
  reply.ToBytes(replyBytes);
  WriteMessage(pipe.get(), replyBytes);
  FlushFileBuffers(pipe.get());
  DisconnectNamedPipe(pipe.get());
}

bool ParseOptions(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring value = argv[++i];
    if (option == L"--folder") g_options.folder = value;
    else if (option == L"--report") g_options.report = value;
    else if (option == L"--ports") g_options.ports = value;
    else if (option == L"--blast-ms") g_options.blastMs = _wtoi(value.c_str());
    else if (option == L"--blast-result") g_options.blastResult = value;
    else if (option == L"--learn-delay-ms") g_options.learnDelayMs = _wtoi(value.c_str());
    else if (option == L"--learn-code") g_options.learnCode = value;
    else if (option == L"--learn-mode") g_options.learnMode = value;
    else if (option == L"--never-answer") g_options.neverAnswer.push_back(value);
    else if (option == L"--seconds") g_options.seconds = _wtoi(value.c_str());
    else return false;
  }
  return g_options.learnMode == L"send" || g_options.learnMode == L"never" || g_options.learnMode == L"malformed";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!ParseOptions(argc, argv)) {
    std::fprintf(stderr, "zrservice: bad arguments (see the top of peers/service/zrservice.cpp)\n");
    return 2;
  }
  if (!g_options.report.empty()) g_report = _wfopen(g_options.report.c_str(), L"wb");
  const ZrString folder = g_options.folder.empty() ? ExecutableFolder() : Text(g_options.folder);
  const ZrString name = ServicePipeName(folder);
  const std::wstring fullName = L"\\\\.\\pipe\\" + std::wstring(ZrW(name.c_str()));

  // The service runs under another account than the host: everyone may connect.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};

  std::thread([] {
    Sleep(static_cast<DWORD>(g_options.seconds) * 1000);
    ExitProcess(0);
  }).detach();

  bool announced = false;
  for (;;) {
    HANDLE pipe = CreateNamedPipeW(fullName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                   PIPE_UNLIMITED_INSTANCES, 16384, 16384, 0, &attributes);
    if (pipe == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "zrservice: cannot create the pipe (error %lu)\n", GetLastError());
      return 1;
    }
    if (!announced) {
      Report({u"ready", name});
      announced = true;
    }
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)
      std::thread(Serve, pipe).detach();
    else
      CloseHandle(pipe);
  }
}
