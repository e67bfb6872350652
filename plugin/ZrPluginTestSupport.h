#pragma once
// Test helpers for the plug-in frame: a host that records what it is told, a tools library that
// records what it is asked, and a watcher that reads and closes a message box from another thread.

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ZrString.h"
#include "foundation/win/ZrToolsAccess.h"
#include "plugin/IZrRemoteControl.h"
#include "plugin/IZrRemoteControlHost.h"

namespace zrtest {

inline std::wstring Text(const wchar_t* text) { return text ? std::wstring(text) : L"(null)"; }

// The folder of the running program, with its trailing backslash.
inline std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path);
  return text.substr(0, text.rfind(L'\\') + 1);
}

// Runs a command line in a folder and waits up to 90 s; answers its exit code, or a text saying
// why there is none.
inline std::wstring RunProcess(std::wstring command, const std::wstring& folder, DWORD* exitCode) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process))
    return L"(not started, error " + std::to_wstring(GetLastError()) + L")";
  const DWORD wait = WaitForSingleObject(process.hProcess, 90000);
  GetExitCodeProcess(process.hProcess, exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return wait == WAIT_OBJECT_0 ? L"" : L"(still running after 90 s)";
}

// The answer of GetInfo, freed; "(null)" for a null BSTR.
inline std::wstring Info(IZrRemoteControl& plugin, const wchar_t* key) {
  BSTR text = plugin.GetInfo(key);
  std::wstring out = text ? std::wstring(text, SysStringLen(text)) : L"(null)";
  SysFreeString(text);
  return out;
}

class RecordingHost final : public IZrRemoteControlHost {
 public:
  struct Code {
    IZrRemoteControl* sender;
    std::wstring text;
    bool wellFormed;  // the BSTR's length prefix matches its text
    int32_t milliseconds;
  };

  bool OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) override {
    const bool wellFormed = code && SysStringLen(code) == wcslen(code);
    codes.push_back({sender, code ? std::wstring(code) : L"(null)", wellFormed, milliseconds});
    return true;
  }
  BSTR GetValue(const wchar_t*) override {
    ++values;
    return nullptr;
  }

  std::vector<Code> codes;
  int values = 0;
};

// Records every call that reaches the tools library and the host registry keys it hands out, as
// one line each ("Open <path> <flags>", "SetString <name>=<value>", ...), in order.
class RecordingTools final : public IZrTools, public IZrProductInfo, public IZrTranslator {
 public:
  // IZrTools
  bool Initialise(void*, HINSTANCE) override { return true; }
  void ProductInfoLoaded(int) override {
    ++productInfoLoadedCalls;
    productInfoLoaded = true;
  }
  IZrTextUtils* GetTextUtils(int, int) override { return nullptr; }
  IZrTranslator* GetTranslator(int) override { return translations.empty() ? nullptr : this; }
  IZrProductInfo* GetProductInfo(int) override {
    ++getProductInfoCalls;
    return this;
  }
  bool IsProductInfoLoaded() override { return productInfoLoaded; }
  IZrLogger* GetLogger(int) override { return nullptr; }
  IZrMainThreadMessageManager* GetMainThreadMessageManager(int) override { return nullptr; }
  IZrMessageDispatch* GetMessageDispatch(int) override { return nullptr; }
  IZrHostRegistryKey* OpenHostRegistryKey(const wchar_t* path, int flags, int) override {
    Log(L"Open " + Text(path) + L" " + std::to_wstring(flags));
    if (refusedPaths.count(Text(path))) return nullptr;
    return new Key(*this);
  }
  bool InstallDirectoryKnown() override { return true; }
  void Shutdown(bool) override { ++shutdownCalls; }

  // IZrProductInfo
  bool Load(const wchar_t*, BSTR* error) override {
    ++loadCalls;
    if (!productInfoError) return true;
    SysReAllocString(error, productInfoError);
    return false;
  }

  // IZrTranslator
  void Translate(IZrDllString* text) override {
    auto it = translations.find(std::u16string(text->GetChars()));
    if (it != translations.end()) text->SetChars(it->second.c_str(), -1);
  }

  void Log(std::wstring line) {
    std::lock_guard<std::mutex> lock(m_lock);
    calls.push_back(std::move(line));
  }

  std::vector<std::wstring> calls;
  std::set<std::wstring> refusedPaths;
  std::map<std::u16string, std::u16string> translations;
  const wchar_t* productInfoError = nullptr;  // null: loading succeeds
  bool productInfoLoaded = false;
  int getProductInfoCalls = 0;
  int loadCalls = 0;
  int productInfoLoadedCalls = 0;
  int shutdownCalls = 0;

 private:
  class Key final : public IZrHostRegistryKey {
   public:
    explicit Key(RecordingTools& tools) : m_tools(tools) {}
    void Close() override {
      m_tools.Log(L"Close");
      delete this;
    }
    bool GetInt(const wchar_t*, int*) override { return false; }
    bool GetString(const wchar_t*, BSTR*) override { return false; }
    bool ValueExists(const wchar_t*) override { return false; }
    bool SubkeyExists(const wchar_t*) override { return false; }
    bool SetInt(const wchar_t* name, int value, int a, int b) override {
      m_tools.Log(L"SetInt " + Text(name) + L"=" + std::to_wstring(value) + Extra(a, b));
      return true;
    }
    bool SetString(const wchar_t* name, const wchar_t* value, int a, const wchar_t* b, int c) override {
      m_tools.Log(L"SetString " + Text(name) + L"=" + Text(value) + Extra(a, c) +
                  (b && !*b ? L"" : L" (reserved text " + Text(b) + L")"));
      return true;
    }
    bool DeleteValue(const wchar_t*) override { return false; }
    int GetSubkeyCount() override { return 0; }
    bool GetSubkeyName(int, BSTR*) override { return false; }
    bool RemoveAllValues() override {
      m_tools.Log(L"RemoveAllValues");
      return true;
    }
    bool RemoveSubkey(const wchar_t* name, int a) override {
      m_tools.Log(L"RemoveSubkey " + Text(name) + Extra(a, 0));
      return true;
    }

   private:
    // Reserved arguments are 0; anything else shows up in the line.
    static std::wstring Extra(int a, int b) {
      return a || b ? L" (reserved " + std::to_wstring(a) + L"," + std::to_wstring(b) + L")" : L"";
    }
    RecordingTools& m_tools;
  };

  std::mutex m_lock;
};

class ToolsScope {
 public:
  explicit ToolsScope(IZrTools* tools) { ZrSetTools(tools); }
  ~ToolsScope() { ZrSetTools(nullptr); }
  ToolsScope(const ToolsScope&) = delete;
  ToolsScope& operator=(const ToolsScope&) = delete;
};

// Watches this process for a message box with the given caption, reads its text and presses OK.
// The box's text sits in the dialog's static control 0xFFFF.
class MessageBoxWatcher {
 public:
  // Returns once the watcher has made its first window call. A thread whose first window call
  // races with a DllMain that makes windows under the loader lock can deadlock the process under
  // Wine (observed about once in ten loads), so the watcher is ready before any load begins.
  explicit MessageBoxWatcher(std::wstring caption) : m_caption(std::move(caption)), m_thread([this] { Watch(); }) {
    while (!m_ready) Sleep(1);
  }
  ~MessageBoxWatcher() { Finish(); }

  // Stops watching; answers whether a box was found.
  bool Finish() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_found;
  }
  const std::wstring& Text() const { return m_text; }

 private:
  static BOOL CALLBACK Candidate(HWND window, LPARAM self) {
    auto* watcher = reinterpret_cast<MessageBoxWatcher*>(self);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t caption[256] = {};
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, caption, 256);
    if (process != GetCurrentProcessId() || watcher->m_caption != caption || wcscmp(className, L"#32770") != 0)
      return TRUE;
    watcher->m_box = window;
    return FALSE;
  }

  void Watch() {
    // Polls until told to stop, and for at most 60 seconds, so that a missing box fails a test
    // instead of hanging it.
    for (int i = 0; i < 6000 && !m_stop && !m_found; ++i) {
      m_box = nullptr;
      EnumWindows(Candidate, reinterpret_cast<LPARAM>(this));
      m_ready = true;
      if (m_box) {
        wchar_t text[4096] = {};
        GetDlgItemTextW(m_box, 0xFFFF, text, 4096);
        m_text = text;
        m_found = true;
        SendMessageW(m_box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(10);
    }
  }

  const std::wstring m_caption;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_found{false};
  std::atomic<bool> m_ready{false};
  HWND m_box = nullptr;
  std::wstring m_text;
  std::thread m_thread;
};

}  // namespace zrtest
