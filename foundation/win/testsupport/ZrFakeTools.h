#pragma once
// The tools library as tests stand it in: one object that records what the code under test asks of
// it and answers as the test sets it up.
//
// - Logger: every line, with level and scope.
// - Main-thread message manager: posts are queued and delivered on the thread that made this object
//   (the test's stand-in for the host's main thread) when that thread pumps its messages, for
//   instance in zrtest::PumpUntil; Flush delivers at once on the caller's thread; Forget drops. Every
//   call is recorded, and what became of every message is counted.
// - Message dispatcher: records each message, then translates and dispatches it.
// - Product information, translator and host registry keys: answers from the test's set-up; every
//   registry call is recorded as one line ("Open <path> <flags>", "SetString <name>=<value>", ...).
//
// Any thread may call it. Install it with ToolsScope for the lifetime of a test.

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/win/ZrToolsAccess.h"

namespace zrtest {

struct LogLine {
  int level;
  std::string scope;
  std::u16string text;
};

struct ManagerCall {
  std::string operation;  // "Post", "Flush" or "Forget"
  IMainThreadMessageManagerCallback* object;
};

// The library's find (option 3: without regard to case) and compare, as the real library answers.
class FakeTextUtils final : public IZrTextUtils {
 public:
  int Find(const wchar_t* text, const wchar_t* pattern, int options) override;
  int Compare(const wchar_t* a, const wchar_t* b) override;
};

class FakeTools final : public IZrTools,
                        public IZrLogger,
                        public IZrMainThreadMessageManager,
                        public IZrMessageDispatch,
                        public IZrMessageDispatcher,
                        public IZrProductInfo,
                        public IZrTranslator {
 public:
  FakeTools();
  ~FakeTools();
  FakeTools(const FakeTools&) = delete;
  FakeTools& operator=(const FakeTools&) = delete;

  // Set-up.
  void SetHasManager(bool has);  // without one, GetMainThreadMessageManager answers null
  void SetProductInfoLoaded(bool loaded);
  void SetProductInfoError(const wchar_t* error);  // null: loading the product information succeeds
  void AddTranslation(const std::u16string& original, const std::u16string& translation);
  void RefuseKey(const std::wstring& path);  // OpenHostRegistryKey answers null for this path
  // Null (the default): the library offers no text utilities.
  void SetTextUtils(IZrTextUtils* utils) { m_textUtils = utils; }

  // What was recorded.
  std::vector<LogLine> Lines() { return Snapshot(m_lines); }
  std::vector<ManagerCall> ManagerCalls() { return Snapshot(m_calls); }
  std::vector<MSG> Dispatched() { return Snapshot(m_dispatched); }
  std::vector<std::wstring> RegistryCalls() { return Snapshot(m_registryCalls); }
  int InstallDirectoryKnownCalls() { return Snapshot(m_installDirectoryKnownCalls); }
  int GetProductInfoCalls() { return Snapshot(m_getProductInfoCalls); }
  int LoadCalls() { return Snapshot(m_loadCalls); }
  int ProductInfoLoadedCalls() { return Snapshot(m_productInfoLoadedCalls); }
  int ShutdownCalls() { return Snapshot(m_shutdownCalls); }

  // What became of the posted main-thread messages: each is delivered by the pump, flushed,
  // dropped by Forget, or still pending.
  int Posted() { return Snapshot(m_posted); }
  int Delivered() { return Snapshot(m_delivered); }
  int Flushed() { return Snapshot(m_flushed); }
  int Dropped() { return Snapshot(m_dropped); }
  int Pending() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_queue.size());
  }

  // IZrTools
  bool Initialise(void*, HINSTANCE) override { return true; }
  void ProductInfoLoaded(int) override;
  IZrTextUtils* GetTextUtils(int, int) override { return m_textUtils; }
  IZrTranslator* GetTranslator(int) override;
  IZrProductInfo* GetProductInfo(int) override;
  bool IsProductInfoLoaded() override;
  IZrLogger* GetLogger(int) override { return this; }
  IZrMainThreadMessageManager* GetMainThreadMessageManager(int) override;
  IZrMessageDispatch* GetMessageDispatch(int) override { return this; }
  IZrHostRegistryKey* OpenHostRegistryKey(const wchar_t* path, int flags, int) override;
  bool InstallDirectoryKnown() override;
  void Shutdown(bool) override;

  // IZrLogger
  void WriteW(int level, const char* scope, const wchar_t* format, const ZrFormatArg* args, int count) override;
  void WriteA(int level, const char* scope, const char* format, const ZrFormatArg* args, int count) override;

  // IZrMainThreadMessageManager
  void Forget(IMainThreadMessageManagerCallback* object) override;
  bool Post(IMainThreadMessageManagerCallback* object, uint32_t id, void* data) override;
  bool Flush(IMainThreadMessageManagerCallback* object) override;

  // IZrMessageDispatch and its dispatcher
  IZrMessageDispatcher* GetDispatcher(int) override { return this; }
  void Dispatch(MSG* message) override;

  // IZrProductInfo
  bool Load(const wchar_t*, BSTR* error) override;

  // IZrTranslator
  void Translate(IZrDllString* text) override;

  // One line of the registry record; the keys handed out write through it.
  void RecordRegistryCall(std::wstring line);

 private:
  struct Message {
    IMainThreadMessageManagerCallback* object;
    uint32_t id;
    void* data;
  };
  template <typename T>
  T Snapshot(const T& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return value;
  }
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void DeliverQueued();

  std::mutex m_mutex;
  HWND m_window = nullptr;
  std::vector<LogLine> m_lines;
  std::vector<ManagerCall> m_calls;
  std::vector<MSG> m_dispatched;
  std::vector<std::wstring> m_registryCalls;
  std::deque<Message> m_queue;
  bool m_wakeQueued = false;
  int m_posted = 0, m_delivered = 0, m_flushed = 0, m_dropped = 0;

  bool m_hasManager = true;
  IZrTextUtils* m_textUtils = nullptr;
  bool m_productInfoLoaded = false;
  const wchar_t* m_productInfoError = nullptr;
  std::map<std::u16string, std::u16string> m_translations;
  std::set<std::wstring> m_refusedKeys;
  int m_installDirectoryKnownCalls = 0;
  int m_getProductInfoCalls = 0;
  int m_loadCalls = 0;
  int m_productInfoLoadedCalls = 0;
  int m_shutdownCalls = 0;
};

// Installs a tools object for the scope's lifetime and puts back what was installed before.
class ToolsScope {
 public:
  explicit ToolsScope(IZrTools& tools) : m_previous(ZrGetTools()) { ZrSetTools(&tools); }
  ~ToolsScope() { ZrSetTools(m_previous); }
  ToolsScope(const ToolsScope&) = delete;
  ToolsScope& operator=(const ToolsScope&) = delete;

 private:
  IZrTools* m_previous;
};

}  // namespace zrtest
