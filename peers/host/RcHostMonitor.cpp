// rchost monitor: every plug-in that can start, at once, each code shown as it arrives, and a table
// per plug-in at the end.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/ZrTimer.h"
#include "foundation/win/ZrBoundary.h"
#include "peers/host/RcHostCommands.h"
#include "peers/host/RcHostModule.h"
#include "peers/host/RcHostOutput.h"
#include "plugin/IZrRemoteControlHost.h"

namespace {

constexpr UINT_PTR kEndTimer = 0x7A02;
constexpr int kRawInputType = 1;
constexpr wchar_t kMonitorClass[] = L"rchost monitor";

// What one plug-in delivered.
struct Tally {
  std::wstring name;
  int codes = 0;
  int shortestMs = 0;  // between codes; the first code's milliseconds measure from its start
  int longestMs = 0;
};

std::wstring TimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t text[32];
  swprintf(text, 32, L"%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

// The host of every plug-in at once. Codes may come from a driver's thread.
class MonitorHost final : public IZrRemoteControlHost {
 public:
  void Add(IZrRemoteControl* plugin, std::wstring name) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_plugins.push_back(plugin);
    m_tallies.push_back(Tally{std::move(name)});
  }

  bool OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) override {
    const std::wstring text = ZrIsReadableString(code) ? std::wstring(code, SysStringLen(code)) : L"";
    std::wstring name = L"(unknown plug-in)";
    {
      std::lock_guard<std::mutex> lock(m_lock);
      const auto it = std::find(m_plugins.begin(), m_plugins.end(), sender);
      if (it != m_plugins.end()) {
        Tally& tally = m_tallies[static_cast<size_t>(it - m_plugins.begin())];
        name = tally.name;
        if (tally.codes > 0) {
          tally.shortestMs = tally.codes == 1 ? milliseconds : std::min(tally.shortestMs, milliseconds);
          tally.longestMs = tally.codes == 1 ? milliseconds : std::max(tally.longestMs, milliseconds);
        }
        ++tally.codes;
      }
    }
    RcPrintLine(name + L": " + text + L" (" + std::to_wstring(milliseconds) + L" ms) at " + TimeOfDay());
    return true;
  }

  BSTR GetValue(const wchar_t*) override { return nullptr; }

  std::vector<Tally> Tallies() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_tallies;
  }

 private:
  std::mutex m_lock;
  std::vector<IZrRemoteControl*> m_plugins;
  std::vector<Tally> m_tallies;
};

// The plug-ins that read raw input get it from the monitor's window: WM_INPUT to each of them, and
// every other message to the raw-input plug-in, which swallows the key message after a key's raw
// input (the MCE plug-in reads any message it is given as raw input, so it gets WM_INPUT only).
struct Readers {
  std::vector<IZrRemoteControl*> input;
  IZrRemoteControl* allMessages = nullptr;
};

HWND g_monitor = nullptr;

LRESULT CALLBACK MonitorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* readers = reinterpret_cast<Readers*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (readers) {
    bool taken = false;
    if (message == WM_INPUT) {
      for (IZrRemoteControl* plugin : readers->input) taken |= plugin->OnWindowMessage(message, wParam, lParam);
    } else if (readers->allMessages) {
      taken = readers->allMessages->OnWindowMessage(message, wParam, lParam);
    }
    if (taken && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)) return 0;
  }
  switch (message) {
    case WM_TIMER:
      if (wParam != kEndTimer) break;
      [[fallthrough]];
    case WM_APP:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

BOOL WINAPI OnConsoleBreak(DWORD) {
  // Any thread: the message loop ends on the main thread, which stops the plug-ins.
  if (g_monitor) PostMessageW(g_monitor, WM_APP, 0, 0);
  return TRUE;
}

class MonitorWindow {
 public:
  explicit MonitorWindow(Readers* readers) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MonitorProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kMonitorClass;
    RegisterClassExW(&windowClass);
    m_window = CreateWindowExW(0, kMonitorClass, L"rchost monitor", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
    if (m_window) SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(readers));
  }
  ~MonitorWindow() {
    if (!m_window) return;
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
    UnregisterClassW(kMonitorClass, GetModuleHandleW(nullptr));
  }
  MonitorWindow(const MonitorWindow&) = delete;
  MonitorWindow& operator=(const MonitorWindow&) = delete;

  HWND get() const { return m_window; }

  // This thread's messages until the timer, Ctrl+C or WM_APP.
  void Run(int seconds) {
    g_monitor = m_window;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    SetTimer(m_window, kEndTimer, static_cast<UINT>(seconds) * 1000u, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    KillTimer(m_window, kEndTimer);
    SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
    g_monitor = nullptr;
  }

 private:
  HWND m_window = nullptr;
};

// One collection per usage page and usage, whichever plug-ins asked for it.
std::vector<RAWINPUTDEVICE> Union(const std::vector<RAWINPUTDEVICE>& all, HWND window) {
  std::vector<RAWINPUTDEVICE> unique;
  for (RAWINPUTDEVICE device : all) {
    const bool seen = std::any_of(unique.begin(), unique.end(), [&](const RAWINPUTDEVICE& d) {
      return d.usUsagePage == device.usUsagePage && d.usUsage == device.usUsage;
    });
    if (seen) continue;
    device.hwndTarget = window;
    unique.push_back(device);
  }
  return unique;
}

void PrintTable(const std::vector<Tally>& tallies, double seconds) {
  RcPrintLine(L"plug-in              codes  codes/s  shortest ms  longest ms");
  for (const Tally& tally : tallies) {
    wchar_t line[160];
    if (tally.codes > 1)
      swprintf(line, 160, L"%-18ls %7d %8.2f %12d %11d", tally.name.c_str(), tally.codes, tally.codes / seconds,
               tally.shortestMs, tally.longestMs);
    else
      swprintf(line, 160, L"%-18ls %7d %8.2f %12ls %11ls", tally.name.c_str(), tally.codes, tally.codes / seconds, L"-",
               L"-");
    RcPrintLine(line);
  }
}

}  // namespace

int RcMonitor(const RcHostOptions& options) {
  RcModule module;
  if (!module.Loaded()) return 1;
  MonitorHost host;
  Readers readers;
  MonitorWindow window(&readers);
  if (!window.get()) {
    RcPrintErrorLine(L"rchost: cannot create a window (error " + std::to_wstring(GetLastError()) + L")");
    return 1;
  }

  // Every plug-in is made and asked for its collections first, so that raw input is registered
  // before any of them starts, as a host does.
  std::vector<std::unique_ptr<RcPlugin>> plugins;
  std::vector<RAWINPUTDEVICE> wanted;
  for (int type = 0;; ++type) {
    auto plugin = std::make_unique<RcPlugin>(module, type, &host);
    if (!*plugin) break;
    for (const RAWINPUTDEVICE& device : plugin->Collections()) wanted.push_back(device);
    plugins.push_back(std::move(plugin));
  }
  std::vector<RAWINPUTDEVICE> collections = Union(wanted, window.get());
  if (!collections.empty() &&
      !RegisterRawInputDevices(collections.data(), static_cast<UINT>(collections.size()), sizeof(RAWINPUTDEVICE)))
    RcPrintErrorLine(L"rchost: raw-input registration failed (error " + std::to_wstring(GetLastError()) + L")");

  std::vector<RcPlugin*> running;
  for (size_t type = 0; type < plugins.size(); ++type) {
    RcPlugin& plugin = *plugins[type];
    const std::wstring name = plugin.Info(L"Name");
    if (!plugin->Start(options.startFlag)) {
      // Said once; the others go on.
      RcPrintLine(name + L": cannot start: " + plugin.Info(L"Last Error"));
      plugin->Stop();
      continue;
    }
    host.Add(plugin.get(), name);
    running.push_back(&plugin);
    if (!plugin.Collections().empty()) readers.input.push_back(plugin.get());
    if (static_cast<int>(type) == kRawInputType) readers.allMessages = plugin.get();
    RcPrintLine(name + L": started");
  }

  int exitCode = 0;
  ZrTimer clock;
  if (running.empty()) {
    RcPrintLine(L"Monitoring nothing: no plug-in could start");
    exitCode = 1;
  } else {
    RcPrintLine(L"Monitoring " + std::to_wstring(running.size()) + L" plug-ins for " +
                std::to_wstring(options.seconds) + L" s (Ctrl+C ends sooner)");
    window.Run(options.seconds);
  }
  const double seconds = std::max(clock.ElapsedMs(false) / 1000.0, 0.001);

  // Stopped on this thread, the one that started them; then no code can arrive any more.
  for (RcPlugin* plugin : running) (*plugin)->Stop();
  readers.input.clear();
  readers.allMessages = nullptr;
  for (RAWINPUTDEVICE& device : collections) {
    device.dwFlags = RIDEV_REMOVE;
    device.hwndTarget = nullptr;
  }
  if (!collections.empty())
    RegisterRawInputDevices(collections.data(), static_cast<UINT>(collections.size()), sizeof(RAWINPUTDEVICE));
  RcPrintLine(L"Stopped " + std::to_wstring(running.size()) + L" plug-ins");
  if (!running.empty()) PrintTable(host.Tallies(), seconds);
  plugins.clear();
  return exitCode;
}
