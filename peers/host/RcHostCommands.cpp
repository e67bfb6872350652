#include "peers/host/RcHostCommands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "peers/host/RcHost.h"
#include "peers/host/RcHostModule.h"
#include "peers/host/RcHostOutput.h"
#include "foundation/win/ZrHandle.h"
#include "plugin/IZrRemoteControl.h"
#include "rawinput/ActiveCodesValue.h"

namespace {

constexpr wchar_t kPluginsKey[] = L"Software\\Zorvane\\Stagecore\\Plugins\\RemoteControl";
// The timer that ends listening; the plug-ins' own timers run on their own windows.
constexpr UINT_PTR kListenTimer = 0x7A01;
constexpr int kRawInputType = 1;

std::wstring Hex4(unsigned value) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%04X", value);
  return text;
}

using Module = RcModule;
using Plugin = RcPlugin;

void PrintRegisteredKeys() {
  ZrRegistryKey parent;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kPluginsKey, 0, KEY_READ, parent.put()) != ERROR_SUCCESS) {
    RcPrintLine(L"(no plug-in keys)");
    return;
  }
  RcPrintLine(std::wstring(L"HKEY_CURRENT_USER\\") + kPluginsKey);
  for (DWORD k = 0;; ++k) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(parent.get(), k, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    RcPrintLine(std::wstring(L"  ") + name);
    ZrRegistryKey key;
    if (RegOpenKeyExW(parent.get(), name, 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
    for (DWORD v = 0;; ++v) {
      wchar_t valueName[256];
      DWORD valueNameLength = 256, type = 0;
      BYTE data[4096] = {};
      DWORD size = sizeof data - sizeof(wchar_t);
      if (RegEnumValueW(key.get(), v, valueName, &valueNameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      std::wstring shown;
      if (type == REG_DWORD)
        shown = std::to_wstring(*reinterpret_cast<DWORD*>(data)) + L" (integer)";
      else if (type == REG_SZ)
        shown = L"\"" + std::wstring(reinterpret_cast<wchar_t*>(data)) + L"\"";
      else
        shown = L"(type " + std::to_wstring(type) + L")";
      RcPrintLine(std::wstring(L"    ") + valueName + L" = " + shown);
    }
  }
}

// The window that receives the plug-in's raw input while listening, and the host's wake-ups: its
// timer and WM_APP (Ctrl+C, a learned code) end the message loop.
// The raw-input plug-in sees every message (it swallows the key message that follows a key's raw
// input, and each WM_KEYDOWN is printed with what became of it); the others get WM_INPUT only (the
// MCE plug-in reads any message it is given as raw input).
struct Listener {
  IZrRemoteControl* plugin = nullptr;
  bool allMessages = false;
};

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* listener = reinterpret_cast<Listener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (listener && (message == WM_INPUT || listener->allMessages)) {
    const bool taken = listener->plugin->OnWindowMessage(message, wParam, lParam);
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
      RcPrintLine(L"rchost: WM_KEYDOWN " + Hex4(static_cast<unsigned>(wParam)) +
                  (taken ? L" swallowed by the plug-in" : L" passed on"));
      if (taken) return 0;
    }
  }
  switch (message) {
    case WM_TIMER:
      if (wParam != kListenTimer) break;
      [[fallthrough]];
    case WM_APP:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND g_listener = nullptr;

BOOL WINAPI OnConsoleBreak(DWORD) {
  if (g_listener) PostMessageW(g_listener, WM_APP, 0, 0);
  return TRUE;
}

constexpr wchar_t kListenerClass[] = L"rchost listener";

// The host's window on this thread, handing raw input to one plug-in.
class ListenerWindow {
 public:
  explicit ListenerWindow(IZrRemoteControl* plugin, bool allMessages = false) : m_listener{plugin, allMessages} {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kListenerClass;
    RegisterClassExW(&windowClass);
    m_window = CreateWindowExW(0, kListenerClass, L"rchost", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
    if (!m_window) {
      RcPrintErrorLine(L"rchost: cannot create a window (error " + std::to_wstring(GetLastError()) + L")");
      return;
    }
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_listener));
  }
  ~ListenerWindow() {
    if (!m_window) return;
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
    UnregisterClassW(kListenerClass, GetModuleHandleW(nullptr));
  }
  ListenerWindow(const ListenerWindow&) = delete;
  ListenerWindow& operator=(const ListenerWindow&) = delete;

  HWND get() const { return m_window; }

  // Shows the window and gives it the foreground and the focus, so that key messages reach it.
  void TakeForeground() {
    SetWindowPos(m_window, HWND_TOP, 0, 0, 240, 80, SWP_SHOWWINDOW);
    if (!SetForegroundWindow(m_window)) RcPrintErrorLine(L"rchost: cannot take the foreground");
    SetFocus(m_window);
  }

  // Dispatches this thread's messages for `ms` milliseconds.
  static void Pump(int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (ULONGLONG now; (now = GetTickCount64()) < end;) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }

  // Dispatches this thread's messages until the window's timer (after `seconds`), Ctrl+C or WM_APP.
  void Run(int seconds) {
    g_listener = m_window;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    SetTimer(m_window, kListenTimer, static_cast<UINT>(seconds) * 1000u, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    KillTimer(m_window, kListenTimer);
    SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
    g_listener = nullptr;
  }

 private:
  Listener m_listener;
  HWND m_window = nullptr;
};

// The bindings of an --active-codes file: each <XMLPH ...>...</XMLPH> record in it.
bool ReadActiveCodes(const std::wstring& path, ZrStringArray& bindings) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  fclose(file);
  const ZrString all = ZrString::FromUtf8(text);
  for (int start = all.Find(u"<XMLPH"); start >= 0; start = all.Find(u"<XMLPH", start)) {
    const int end = all.Find(u"</XMLPH>", start);
    if (end < 0) break;
    bindings.Add(all.Mid(start, end + 8 - start));
    start = end + 8;
  }
  return true;
}

// A plug-in name as typed on a command line: any case, spaces optional ("rawinput", "Raw Input").
std::wstring Squeezed(const std::wstring& name) {
  std::wstring out;
  for (wchar_t c : RcLower(name))
    if (c != L' ') out += c;
  return out;
}

// The plug-in type by number, or by name in any case with spaces optional; a name's last part
// after a dash will do ("uuirt" for "USB-UUIRT"). -1 (said on stderr) when there is none.
int FindPluginType(const Module& module, const std::wstring& wanted, std::wstring* name) {
  const std::wstring lower = Squeezed(wanted);
  for (int type = 0;; ++type) {
    Plugin plugin(module, type, nullptr);
    if (!plugin) break;
    *name = plugin.Info(L"Name");
    const std::wstring candidate = Squeezed(*name);
    const size_t dash = candidate.rfind(L'-');
    if (candidate == lower || std::to_wstring(type) == wanted ||
        (dash != std::wstring::npos && !lower.empty() && candidate.substr(dash + 1) == lower))
      return type;
  }
  RcPrintErrorLine(L"rchost: no plug-in called " + wanted + L" (see rchost list)");
  return -1;
}

// Starts the plug-in as a host does; says why when it does not start.
bool StartPlugin(const Plugin& plugin, bool flag) {
  if (plugin->Start(flag)) return true;
  RcPrintLine(L"Last Error: " + plugin.Info(L"Last Error"));
  return false;
}

// The text of a file when `argument` names one (UTF-16 with its byte-order mark, else UTF-8),
// otherwise the argument itself.
std::wstring CodeText(const std::wstring& argument) {
  HANDLE file = CreateFileW(argument.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return argument;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
  return text;
}

}  // namespace

int RcList(const RcHostOptions& options) {
  Module module;
  if (!module.Loaded()) return 1;
  RcHost host(options.values);
  for (int type = 0;; ++type) {
    Plugin plugin(module, type, &host);
    if (!plugin) break;
    RcPrintLine(L"Plug-in " + std::to_wstring(type));
    for (const wchar_t* key : {L"Name", L"Display Name", L"Version", L"Configurable", L"EnableOnInstall"})
      RcPrintLine(std::wstring(L"  ") + key + L": " + plugin.Info(key));
    std::wstring collections;
    for (const RAWINPUTDEVICE& device : plugin.Collections())
      collections += L" " + Hex4(device.usUsagePage) + L"/" + Hex4(device.usUsage) + L" (flags " +
                     Hex4(device.dwFlags) + L")";
    RcPrintLine(L"  Raw input:" + (collections.empty() ? std::wstring(L" none") : collections));
  }
  return 0;
}

int RcRegister(const RcHostOptions&, bool doRegister) {
  Module module;
  if (!module.Loaded()) return 1;
  const HRESULT result = doRegister ? module.registerServer() : module.unregisterServer();
  wchar_t text[64];
  swprintf(text, 64, L"%ls: 0x%08lX", doRegister ? L"DllRegisterServer" : L"DllUnregisterServer",
           static_cast<unsigned long>(result));
  RcPrintLine(text);
  PrintRegisteredKeys();
  return SUCCEEDED(result) ? 0 : 1;
}

int RcListen(const RcHostOptions& options) {
  Module module;
  if (!module.Loaded()) return 1;
  RcHost host(options.values, options.timestamps);
  std::wstring name;
  const int type = FindPluginType(module, options.plugin, &name);
  if (type < 0) return 1;

  Plugin plugin(module, type, &host);
  host.Name(plugin.get(), name);
  ListenerWindow window(plugin.get(), type == kRawInputType);
  if (!window.get()) return 1;

  if (!options.activeCodes.empty()) {
    ZrStringArray bindings;
    if (!ReadActiveCodes(options.activeCodes, bindings)) {
      RcPrintErrorLine(L"rchost: cannot read " + options.activeCodes);
      return 1;
    }
    const ZrString value = MakeActiveCodesValue(bindings);
    const bool taken = plugin->SetInfo(L"Active Codes", ZrW(value.c_str()));
    RcPrintLine(L"Active Codes: " + std::to_wstring(bindings.GetCount()) + L" bindings" +
                (taken ? L"" : L" (not taken by this plug-in)"));
  }
  if (options.foreground) window.TakeForeground();

  std::vector<RAWINPUTDEVICE> collections = plugin.Collections();
  for (RAWINPUTDEVICE& device : collections) device.hwndTarget = window.get();
  if (!collections.empty() &&
      !RegisterRawInputDevices(collections.data(), static_cast<UINT>(collections.size()), sizeof(RAWINPUTDEVICE)))
    RcPrintErrorLine(L"rchost: raw-input registration failed (error " + std::to_wstring(GetLastError()) + L")");

  int exitCode = 0;
  if (!StartPlugin(plugin, options.startFlag)) {
    exitCode = 1;
  } else {
    RcPrintLine(L"Listening to " + name + L" for " + std::to_wstring(options.seconds) + L" s");
    window.Run(options.seconds);
  }
  plugin->Stop();
  RcPrintLine(L"Stopped " + name + L" after " + std::to_wstring(host.CodeCount()) + L" codes");
  if (options.afterStopMs > 0) {
    // The messages keep flowing a while, the plug-in's timers included: a code printed now
    // reached the host after Stop returned.
    const int before = host.CodeCount();
    ListenerWindow::Pump(options.afterStopMs);
    RcPrintLine(L"After Stop: " + std::to_wstring(host.CodeCount() - before) + L" codes in " +
                std::to_wstring(options.afterStopMs) + L" ms");
  }

  for (RAWINPUTDEVICE& device : collections) {
    device.dwFlags = RIDEV_REMOVE;
    device.hwndTarget = nullptr;
  }
  if (!collections.empty())
    RegisterRawInputDevices(collections.data(), static_cast<UINT>(collections.size()), sizeof(RAWINPUTDEVICE));
  return exitCode;
}

int RcBlast(const RcHostOptions& options) {
  Module module;
  if (!module.Loaded()) return 1;
  RcHost host(options.values);
  std::wstring name;
  const int type = FindPluginType(module, options.plugin, &name);
  if (type < 0) return 1;

  Plugin plugin(module, type, &host);
  host.Name(plugin.get(), name);
  if (!StartPlugin(plugin, options.startFlag)) {
    plugin->Stop();
    return 1;
  }
  RcPrintLine(L"Blast ports: " + std::to_wstring(plugin->IRGetNumBlastPorts()));
  const std::wstring code = CodeText(options.code);
  const bool sent = plugin->IRBlast(code.c_str());
  RcPrintLine(sent ? L"Blasted through " + name : L"Blast failed: " + name + L" did not send the code");
  plugin->Stop();
  return sent ? 0 : 1;
}

int RcLearn(const RcHostOptions& options) {
  Module module;
  if (!module.Loaded()) return 1;
  RcHost host(options.values);
  std::wstring name;
  const int type = FindPluginType(module, options.plugin, &name);
  if (type < 0) return 1;

  Plugin plugin(module, type, &host);
  host.Name(plugin.get(), name);
  ListenerWindow window(plugin.get());
  if (!window.get()) return 1;
  if (!StartPlugin(plugin, options.startFlag)) {
    plugin->Stop();
    return 1;
  }

  // The learner outlives every call that may reach it: the plug-in is stopped before it goes.
  RcLearner learner(window.get());
  int exitCode = 0;
  if (!plugin->IRLearn(&learner)) {
    RcPrintLine(L"Learn failed: " + name + L" did not begin to learn");
    exitCode = 1;
  } else {
    RcPrintLine(L"Learning with " + name + L" for up to " + std::to_wstring(options.seconds) + L" s");
    window.Run(options.seconds);
    if (learner.HasCode()) {
      RcPrintLine(L"Learned:");
      // One output line per line of the record, whose lines end in CR LF.
      std::wstring record = learner.Code();
      for (size_t at; (at = record.find(L"\r\n")) != std::wstring::npos;) record.erase(at, 1);
      if (!record.empty() && record.back() == L'\n') record.pop_back();
      RcPrintLine(record);
    } else {
      plugin->IRLearnCancel();
      RcPrintLine(L"No code learned; the learn was cancelled");
      exitCode = 1;
    }
  }
  plugin->Stop();
  return exitCode;
}
