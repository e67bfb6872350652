#pragma once
// A stand-in for the tools library in tests: it records log lines, the calls made to the
// main-thread message manager, and the messages handed to the dispatcher. Install it for the
// lifetime of a test with ZrFakeToolsScope.

#include <mutex>
#include <string>
#include <vector>

#include "foundation/ZrFormat.h"
#include "foundation/win/ZrToolsAccess.h"

struct ZrFakeLogLine {
  int level;
  std::string scope;
  std::u16string text;
};

class ZrFakeTools final : public IZrTools,
                          public IZrLogger,
                          public IZrMainThreadMessageManager,
                          public IZrMessageDispatch,
                          public IZrMessageDispatcher {
 public:
  // IZrTools
  bool Initialise(void*, HINSTANCE) override { return true; }
  void ProductInfoLoaded(int) override {}
  IZrTextUtils* GetTextUtils(int, int) override { return nullptr; }
  IZrTranslator* GetTranslator(int) override { return nullptr; }
  IZrProductInfo* GetProductInfo(int) override { return nullptr; }
  bool IsProductInfoLoaded() override { return true; }
  IZrLogger* GetLogger(int) override { return this; }
  IZrMainThreadMessageManager* GetMainThreadMessageManager(int) override { return m_hasManager ? this : nullptr; }
  IZrMessageDispatch* GetMessageDispatch(int) override { return this; }
  IZrHostRegistryKey* OpenHostRegistryKey(const wchar_t*, int, int) override { return nullptr; }
  bool InstallDirectoryKnown() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_installDirectoryKnownCalls;
    return true;
  }
  void Shutdown(bool) override {}

  // IZrLogger
  void WriteW(int level, const char* scope, const wchar_t* format, const ZrFormatArg* args, int count) override {
    ZrString text = ZrFormat(ZrU(format), args, count);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back({level, scope ? scope : "", std::u16string(text.View())});
  }
  void WriteA(int level, const char* scope, const char* format, const ZrFormatArg* args, int count) override {
    ZrString text = ZrFormatA(format, args, count);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back({level, scope ? scope : "", std::u16string(text.View())});
  }

  // IZrMainThreadMessageManager
  void Forget(IMainThreadMessageManagerCallback* object) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({"Forget", object});
  }
  bool Post(IMainThreadMessageManagerCallback* object, uint32_t, void*) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({"Post", object});
    return true;
  }
  bool Flush(IMainThreadMessageManagerCallback* object) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({"Flush", object});
    return true;
  }

  // IZrMessageDispatch and its dispatcher
  IZrMessageDispatcher* GetDispatcher(int) override { return this; }
  void Dispatch(MSG* message) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_dispatched.push_back(*message);
    }
    TranslateMessage(message);
    DispatchMessageW(message);
  }

  struct Call {
    std::string operation;
    IMainThreadMessageManagerCallback* object;
  };

  std::vector<ZrFakeLogLine> Lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }
  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
  }
  std::vector<MSG> Dispatched() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dispatched;
  }
  int InstallDirectoryKnownCalls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_installDirectoryKnownCalls;
  }
  void SetHasManager(bool has) { m_hasManager = has; }

 private:
  std::mutex m_mutex;
  std::vector<ZrFakeLogLine> m_lines;
  std::vector<Call> m_calls;
  std::vector<MSG> m_dispatched;
  int m_installDirectoryKnownCalls = 0;
  bool m_hasManager = true;
};

class ZrFakeToolsScope {
 public:
  explicit ZrFakeToolsScope(ZrFakeTools& tools) { ZrSetTools(&tools); }
  ~ZrFakeToolsScope() { ZrSetTools(nullptr); }
  ZrFakeToolsScope(const ZrFakeToolsScope&) = delete;
  ZrFakeToolsScope& operator=(const ZrFakeToolsScope&) = delete;
};
