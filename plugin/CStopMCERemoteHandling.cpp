#include "plugin/CStopMCERemoteHandling.h"

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/ZrModuleLocks.h"
#include "foundation/win/ZrRunProgram.h"
#include "foundation/win/ZrToolsAccess.h"

namespace {

constexpr int kFindIgnoringCase = 3;

// Guarded by ZrModuleLocks::SystemRemoteHandling().
int g_stoppers = 0;
bool g_trayProgramEnded = false;

struct SnapshotTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

bool EndTrayProgram() {
  const DWORD id = CStopMCERemoteHandling::FindTrayProgram();
  if (!id) return false;
  // A process we may not open or end is left alone.
  ZrEventHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
  return process && TerminateProcess(process.get(), 1);
}

}  // namespace

DWORD CStopMCERemoteHandling::FindTrayProgram() {
  ZrUniqueHandle<SnapshotTraits> snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  DWORD found = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (!entry.szExeFile[0]) continue;
    IZrTextUtils* utils = ZrGetTextUtils();
    // The last match wins.
    if (utils && utils->Find(entry.szExeFile, ZrW(kTrayProgramName), kFindIgnoringCase) >= 0)
      found = entry.th32ProcessID;
  }
  return found;
}

ZrString CStopMCERemoteHandling::TrayProgramPath() {
  wchar_t directory[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ZrString();
  return ZrLongPathForm(ZrString(ZrU(directory))) + u"ehome\\" + kTrayProgramName;
}

int CStopMCERemoteHandling::LiveCount() {
  ZrLock lock(ZrModuleLocks::SystemRemoteHandling());
  return g_stoppers;
}

CStopMCERemoteHandling::CStopMCERemoteHandling() {
  ZrLock lock(ZrModuleLocks::SystemRemoteHandling());
  if (g_stoppers++ == 0) {
    m_terminated = EndTrayProgram();
    g_trayProgramEnded = m_terminated;
  }
}

CStopMCERemoteHandling::~CStopMCERemoteHandling() {
  m_terminated = false;
  // The restart happens under the lock, so that a stopper created meanwhile on another thread
  // finds the restarted program and ends it again.
  ZrLock lock(ZrModuleLocks::SystemRemoteHandling());
  if (--g_stoppers == 0 && g_trayProgramEnded) {
    g_trayProgramEnded = false;
    ZrRunProgram(TrayProgramPath(), IDLE_PRIORITY_CLASS);
  }
}
