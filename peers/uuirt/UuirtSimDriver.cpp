// The substitute "uuirtdrv.dll": the transceiver's driver library with its nine calls, behaving as
// the settings in ZR_UUIRT_SIM say (see UuirtSimConfig.h), with a simulated device behind each
// open handle. Each device has a thread of its own that delivers received codes and finishes
// transmissions. Everything the driver sees goes to the report file as one line per event:
//   drvinfo version=0x100 | open handle=<n> | open failed error=0x20000001 | callback set
//   receive-thread <id> | deliver <code> @<ns> | transmit code=<text> format=16 repeat=8 inactivity=0
//   transmit done | transmit refused | learn begin format=16 user=<text> | learn progress <n>
//   learn aborted | learn failed | learn filled 2048 | learn done <text> | close | closed
//   bad handle <call> | unexpected call <name> | bad setting <text>
// "@<ns>" is the performance counter in nanoseconds, taken just before the receive function is
// called. UUIRTClose returns only once no call of the receive function runs or will run.
//
// Tests in the process that loaded the driver steer a device through the extra export
// ZrUuirtSimCommand (UuirtSimCommand.h).

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "foundation/win/ZrWindows.h"
#include "peers/uuirt/UuirtSimConfig.h"
#include "uuirt/UuirtDriverApi.h"

namespace {

int64_t NowNs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<int64_t>(static_cast<long double>(now.QuadPart) * 1e9L / frequency);
}

UuirtSimConfig ReadConfig() {
  char buffer[8192];
  const DWORD length = GetEnvironmentVariableA("ZR_UUIRT_SIM", buffer, sizeof buffer);
  return UuirtParseSimConfig(length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string());
}

SRWLOCK g_reportLock = SRWLOCK_INIT;

void Report(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  AcquireSRWLockExclusive(&g_reportLock);
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
  }
  ReleaseSRWLockExclusive(&g_reportLock);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

class Device {
 public:
  explicit Device(UuirtSimConfig config) : m_config(std::move(config)), m_script(m_config.ReceivedCodes()) {
    m_openedNs = NowNs();
    m_thread = CreateThread(nullptr, 0, &Device::ThreadProc, this, 0, &m_threadId);
  }

  const UuirtSimConfig& Config() const { return m_config; }
  void Say(const std::string& line) const { Report(m_config.report, line); }
  bool Started() const { return m_thread != nullptr; }

  void SetReceive(UuirtReceiveProc receive, void* userData) {
    AcquireSRWLockExclusive(&m_lock);
    m_receive = receive;
    m_userData = userData;
    ReleaseSRWLockExclusive(&m_lock);
    WakeAllConditionVariable(&m_wake);
  }

  // A code the device receives now. null: the driver hands over a null text.
  void Queue(const std::string& text, bool null) {
    AcquireSRWLockExclusive(&m_lock);
    m_queue.push_back({text, null});
    ReleaseSRWLockExclusive(&m_lock);
    WakeAllConditionVariable(&m_wake);
  }

  // Signals `event` (a handle of our own) once the transmission has taken its time.
  void Transmit(HANDLE event, int durationMs) {
    AcquireSRWLockExclusive(&m_lock);
    m_transmissions.push_back({event, NowNs() + static_cast<int64_t>(durationMs) * 1000000});
    ReleaseSRWLockExclusive(&m_lock);
    WakeAllConditionVariable(&m_wake);
  }

  // After this returns the receive function is never called again.
  void Close() {
    AcquireSRWLockExclusive(&m_lock);
    if (m_config.drainOnClose)
      while (!m_queue.empty() || m_delivering) SleepConditionVariableSRW(&m_wake, &m_lock, INFINITE, 0);
    m_stop = true;
    ReleaseSRWLockExclusive(&m_lock);
    WakeAllConditionVariable(&m_wake);
    // A close from inside the receive function cannot wait for itself; the thread ends after it.
    if (m_thread && GetCurrentThreadId() != m_threadId) WaitForSingleObject(m_thread, INFINITE);
    if (m_thread) CloseHandle(m_thread);
    m_thread = nullptr;
    for (const Pending& pending : m_transmissions) CloseHandle(pending.event);
    m_transmissions.clear();
  }

 private:
  struct Queued {
    std::string text;
    bool null;
  };
  struct Pending {
    HANDLE event;
    int64_t dueNs;
  };

  static DWORD WINAPI ThreadProc(void* self) {
    static_cast<Device*>(self)->Loop();
    return 0;
  }

  int64_t ScriptDueNs(size_t n) const {
    return m_openedNs + static_cast<int64_t>(m_config.startDelayMs) * 1000000 +
           static_cast<int64_t>(static_cast<double>(n) * 1e9 / m_config.rate);
  }

  void Deliver(const Queued& code) {
    const int64_t stamp = NowNs();
    m_receive(code.null ? nullptr : code.text.c_str(), m_userData);
    Say("deliver " + (code.null ? std::string("(null)") : code.text) + " @" + std::to_string(stamp));
  }

  void Loop() {
    Say("receive-thread " + std::to_string(GetCurrentThreadId()));
    AcquireSRWLockExclusive(&m_lock);
    while (!m_stop) {
      const int64_t now = NowNs();
      int64_t nextDue = INT64_MAX;
      for (auto it = m_transmissions.begin(); it != m_transmissions.end();) {
        if (it->dueNs <= now) {
          SetEvent(it->event);
          CloseHandle(it->event);
          it = m_transmissions.erase(it);
          Say("transmit done");
        } else {
          nextDue = std::min(nextDue, it->dueNs);
          ++it;
        }
      }
      Queued code;
      bool have = false;
      if (m_receive && !m_queue.empty()) {
        code = m_queue.front();
        m_queue.pop_front();
        have = true;
      } else if (m_receive && m_nextScripted < m_script.size()) {
        const int64_t due = ScriptDueNs(m_nextScripted);
        if (due <= now) {
          code = {m_script[m_nextScripted++], false};
          have = true;
        } else {
          nextDue = std::min(nextDue, due);
        }
      }
      if (have) {
        m_delivering = true;
        ReleaseSRWLockExclusive(&m_lock);
        Deliver(code);
        AcquireSRWLockExclusive(&m_lock);
        m_delivering = false;
        WakeAllConditionVariable(&m_wake);
        continue;
      }
      const DWORD waitMs =
          nextDue == INT64_MAX ? INFINITE : static_cast<DWORD>(std::max<int64_t>(0, (nextDue - now + 999999) / 1000000));
      SleepConditionVariableSRW(&m_wake, &m_lock, waitMs, 0);
    }
    ReleaseSRWLockExclusive(&m_lock);
  }

  const UuirtSimConfig m_config;
  const std::vector<std::string> m_script;
  int64_t m_openedNs = 0;
  SRWLOCK m_lock = SRWLOCK_INIT;
  CONDITION_VARIABLE m_wake = CONDITION_VARIABLE_INIT;
  UuirtReceiveProc m_receive = nullptr;
  void* m_userData = nullptr;
  std::deque<Queued> m_queue;
  std::vector<Pending> m_transmissions;
  size_t m_nextScripted = 0;
  bool m_delivering = false;
  bool m_stop = false;
  HANDLE m_thread = nullptr;
  DWORD m_threadId = 0;
};

SRWLOCK g_devicesLock = SRWLOCK_INIT;
std::vector<Device*> g_devices;

// The open device behind a handle, or null (reported) when the handle is not one.
Device* Find(UuirtHandle handle, const char* call) {
  AcquireSRWLockShared(&g_devicesLock);
  auto it = std::find(g_devices.begin(), g_devices.end(), static_cast<Device*>(handle));
  Device* device = it == g_devices.end() ? nullptr : *it;
  ReleaseSRWLockShared(&g_devicesLock);
  if (!device) Report(ReadConfig().report, std::string("bad handle ") + call);
  return device;
}

BOOL Unexpected(const char* name) {
  Report(ReadConfig().report, std::string("unexpected call ") + name);
  return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI UUIRTGetDrvInfo(uint32_t* version) {
  const UuirtSimConfig config = ReadConfig();
  if (!config.error.empty()) Report(config.report, "bad setting " + config.error);
  if (config.drvInfoFails || !version) {
    Report(config.report, "drvinfo failed");
    return FALSE;
  }
  *version = config.version;
  Report(config.report, "drvinfo version=" + Hex(config.version));
  return TRUE;
}

UuirtHandle WINAPI UUIRTOpen() {
  UuirtSimConfig config = ReadConfig();
  if (config.openFails) {
    Report(config.report, "open failed error=" + Hex(config.openError));
    SetLastError(config.openError);
    return config.openReturnsNull ? nullptr : INVALID_HANDLE_VALUE;
  }
  auto* device = new Device(std::move(config));
  if (!device->Started()) {
    device->Say("open failed: no thread");
    delete device;
    SetLastError(kUuirtErrorNoResponse);
    return INVALID_HANDLE_VALUE;
  }
  AcquireSRWLockExclusive(&g_devicesLock);
  g_devices.push_back(device);
  ReleaseSRWLockExclusive(&g_devicesLock);
  device->Say("open handle=" + std::to_string(reinterpret_cast<uintptr_t>(device)));
  return device;
}

BOOL WINAPI UUIRTClose(UuirtHandle handle) {
  Device* device = Find(handle, "UUIRTClose");
  if (!device) return FALSE;
  AcquireSRWLockExclusive(&g_devicesLock);
  g_devices.erase(std::find(g_devices.begin(), g_devices.end(), device));
  ReleaseSRWLockExclusive(&g_devicesLock);
  device->Say("close");
  device->Close();
  device->Say("closed");
  delete device;
  return TRUE;
}

BOOL WINAPI UUIRTGetUUIRTInfo(UuirtHandle, void*) { return Unexpected("UUIRTGetUUIRTInfo"); }
BOOL WINAPI UUIRTGetUUIRTConfig(UuirtHandle, uint32_t*) { return Unexpected("UUIRTGetUUIRTConfig"); }
BOOL WINAPI UUIRTSetUUIRTConfig(UuirtHandle, uint32_t) { return Unexpected("UUIRTSetUUIRTConfig"); }

BOOL WINAPI UUIRTSetReceiveCallback(UuirtHandle handle, UuirtReceiveProc receive, void* userData) {
  Device* device = Find(handle, "UUIRTSetReceiveCallback");
  if (!device) return FALSE;
  device->SetReceive(receive, userData);
  device->Say(receive ? "callback set" : "callback cleared");
  return TRUE;
}

BOOL WINAPI UUIRTTransmitIR(UuirtHandle handle, const char* irCode, int32_t codeFormat, int32_t repeatCount,
                            int32_t inactivityWaitTime, HANDLE doneEvent, void*, void*) {
  Device* device = Find(handle, "UUIRTTransmitIR");
  if (!device) return FALSE;
  const UuirtSimConfig config = ReadConfig();
  device->Say(std::string("transmit code=") + (irCode ? irCode : "(null)") + " format=" + std::to_string(codeFormat) +
              " repeat=" + std::to_string(repeatCount) + " inactivity=" + std::to_string(inactivityWaitTime));
  if (config.transmitFails || !irCode || !doneEvent) {
    device->Say("transmit refused");
    return FALSE;
  }
  if (config.transmitNever) return TRUE;
  // The caller may close its event as soon as it stops waiting; the device signals its own.
  HANDLE own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), doneEvent, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    device->Say("transmit refused");
    return FALSE;
  }
  device->Transmit(own, config.transmitMs);
  return TRUE;
}

BOOL WINAPI UUIRTLearnIR(UuirtHandle handle, int32_t codeFormat, char* buffer, UuirtLearnProgressProc progress,
                         void* userData, volatile int32_t* abort, uint32_t, void*, void*) {
  Device* device = Find(handle, "UUIRTLearnIR");
  if (!device) return FALSE;
  const UuirtSimConfig config = ReadConfig();
  device->Say("learn begin format=" + std::to_string(codeFormat) + " user=" +
              (userData ? static_cast<const char*>(userData) : "(null)"));
  const int64_t start = NowNs();
  int64_t nextProgress = start;
  for (;;) {
    if (abort && *abort) {
      device->Say("learn aborted");
      return FALSE;
    }
    const int64_t elapsedMs = (NowNs() - start) / 1000000;
    if (elapsedMs >= config.learnMs) break;
    if (progress && NowNs() >= nextProgress) {
      const uint32_t percent = static_cast<uint32_t>(config.learnMs ? elapsedMs * 100 / config.learnMs : 100);
      progress(percent, 80, 38000, userData);
      device->Say("learn progress " + std::to_string(percent));
      nextProgress += 50 * 1000000;
    }
    Sleep(5);
  }
  if (config.learnFails || !buffer) {
    device->Say("learn failed");
    return FALSE;
  }
  if (config.learnFills) {
    std::fill(buffer, buffer + kUuirtLearnBufferSize, 'A');
    device->Say("learn filled " + std::to_string(kUuirtLearnBufferSize));
    return TRUE;
  }
  const size_t length = std::min(config.learnText.size(), kUuirtLearnBufferSize - 1);
  std::copy(config.learnText.begin(), config.learnText.begin() + static_cast<std::ptrdiff_t>(length), buffer);
  buffer[length] = '\0';
  device->Say("learn done " + config.learnText.substr(0, length));
  return TRUE;
}

// Test control, for callers in the same process: "send <text>" (the device receives that text),
// "send-null" (the driver hands over a null text). Acts on the device opened last; FALSE when no
// device is open or the command is not known.
BOOL WINAPI ZrUuirtSimCommand(const char* command) {
  if (!command) return FALSE;
  const std::string text(command);
  AcquireSRWLockShared(&g_devicesLock);
  Device* device = g_devices.empty() ? nullptr : g_devices.back();
  BOOL known = TRUE;
  if (!device)
    known = FALSE;
  else if (text == "send-null")
    device->Queue(std::string(), true);
  else if (text == "send")
    device->Queue(std::string(), false);
  else if (text.rfind("send ", 0) == 0)
    device->Queue(text.substr(5), false);
  else
    known = FALSE;
  ReleaseSRWLockShared(&g_devicesLock);
  return known;
}

}  // extern "C"
