#include "foundation/win/testsupport/ZrFakeTools.h"

#include "foundation/ZrFormat.h"
#include "foundation/ZrString.h"

namespace zrtest {

namespace {

constexpr wchar_t kWindowClass[] = L"ZrTestMainThreadMessages";
constexpr UINT kWakeMessage = WM_APP + 0x5A;

std::wstring Text(const wchar_t* text) { return text ? std::wstring(text) : L"(null)"; }

// Reserved arguments are 0; anything else shows up in the line.
std::wstring Extra(int a, int b) {
  return a || b ? L" (reserved " + std::to_wstring(a) + L"," + std::to_wstring(b) + L")" : L"";
}

// A host registry key that records every call through its tools object and stores nothing.
class RecordingKey final : public IZrHostRegistryKey {
 public:
  explicit RecordingKey(FakeTools& tools) : m_tools(tools) {}
  void Close() override {
    m_tools.RecordRegistryCall(L"Close");
    delete this;
  }
  bool GetInt(const wchar_t*, int*) override { return false; }
  bool GetString(const wchar_t*, BSTR*) override { return false; }
  bool ValueExists(const wchar_t*) override { return false; }
  bool SubkeyExists(const wchar_t*) override { return false; }
  bool SetInt(const wchar_t* name, int value, int a, int b) override {
    m_tools.RecordRegistryCall(L"SetInt " + Text(name) + L"=" + std::to_wstring(value) + Extra(a, b));
    return true;
  }
  bool SetString(const wchar_t* name, const wchar_t* value, int a, const wchar_t* b, int c) override {
    m_tools.RecordRegistryCall(L"SetString " + Text(name) + L"=" + Text(value) + Extra(a, c) +
                               (b && !*b ? L"" : L" (reserved text " + Text(b) + L")"));
    return true;
  }
  bool DeleteValue(const wchar_t*) override { return false; }
  int GetSubkeyCount() override { return 0; }
  bool GetSubkeyName(int, BSTR*) override { return false; }
  bool RemoveAllValues() override {
    m_tools.RecordRegistryCall(L"RemoveAllValues");
    return true;
  }
  bool RemoveSubkey(const wchar_t* name, int a) override {
    m_tools.RecordRegistryCall(L"RemoveSubkey " + Text(name) + Extra(a, 0));
    return true;
  }

 private:
  FakeTools& m_tools;
};

// The class stays registered for the life of the test program: several objects may live at once.
bool RegisterWindowClass(WNDPROC procedure) {
  static const bool registered = [procedure] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  return registered;
}

}  // namespace

FakeTools::FakeTools() {
  if (!RegisterWindowClass(&FakeTools::WindowProc)) return;
  m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
  if (m_window) SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

FakeTools::~FakeTools() {
  if (m_window) {
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
  }
}

LRESULT CALLBACK FakeTools::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWakeMessage) {
    if (auto* self = reinterpret_cast<FakeTools*>(GetWindowLongPtrW(window, GWLP_USERDATA))) self->DeliverQueued();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void FakeTools::DeliverQueued() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wakeQueued = false;
  }
  for (;;) {
    Message next;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_queue.empty()) return;
      next = m_queue.front();
      m_queue.pop_front();
      ++m_delivered;
    }
    // Outside the lock: the object may post, flush or forget from inside its handler.
    next.object->MainThreadMessage(next.id, next.data);
  }
}

void FakeTools::SetHasManager(bool has) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_hasManager = has;
}

void FakeTools::SetProductInfoLoaded(bool loaded) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_productInfoLoaded = loaded;
}

void FakeTools::SetProductInfoError(const wchar_t* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_productInfoError = error;
}

void FakeTools::AddTranslation(const std::u16string& original, const std::u16string& translation) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_translations[original] = translation;
}

void FakeTools::RefuseKey(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_refusedKeys.insert(path);
}

void FakeTools::ProductInfoLoaded(int) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_productInfoLoadedCalls;
  m_productInfoLoaded = true;
}

IZrTranslator* FakeTools::GetTranslator(int) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_translations.empty() ? nullptr : this;
}

IZrProductInfo* FakeTools::GetProductInfo(int) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_getProductInfoCalls;
  return this;
}

bool FakeTools::IsProductInfoLoaded() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_productInfoLoaded;
}

IZrMainThreadMessageManager* FakeTools::GetMainThreadMessageManager(int) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_hasManager ? this : nullptr;
}

IZrHostRegistryKey* FakeTools::OpenHostRegistryKey(const wchar_t* path, int flags, int) {
  RecordRegistryCall(L"Open " + Text(path) + L" " + std::to_wstring(flags));
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_refusedKeys.count(Text(path))) return nullptr;
  }
  return new RecordingKey(*this);
}

bool FakeTools::InstallDirectoryKnown() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_installDirectoryKnownCalls;
  return true;
}

void FakeTools::Shutdown(bool) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_shutdownCalls;
}

void FakeTools::WriteW(int level, const char* scope, const wchar_t* format, const ZrFormatArg* args, int count) {
  ZrString text = ZrFormat(ZrU(format), args, count);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_lines.push_back({level, scope ? scope : "", std::u16string(text.View())});
}

void FakeTools::WriteA(int level, const char* scope, const char* format, const ZrFormatArg* args, int count) {
  ZrString text = ZrFormatA(format, args, count);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_lines.push_back({level, scope ? scope : "", std::u16string(text.View())});
}

void FakeTools::Forget(IMainThreadMessageManagerCallback* object) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_calls.push_back({"Forget", object});
  for (auto it = m_queue.begin(); it != m_queue.end();) {
    if (it->object == object) {
      ++m_dropped;
      it = m_queue.erase(it);
    } else {
      ++it;
    }
  }
}

bool FakeTools::Post(IMainThreadMessageManagerCallback* object, uint32_t id, void* data) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({"Post", object});
    if (!object || !m_window) return false;
    m_queue.push_back({object, id, data});
    ++m_posted;
    // One wake-up at a time: the window drains the whole queue, so a long burst never fills the
    // thread's message queue.
    wake = !m_wakeQueued;
    m_wakeQueued = true;
  }
  if (wake) PostMessageW(m_window, kWakeMessage, 0, 0);
  return true;
}

bool FakeTools::Flush(IMainThreadMessageManagerCallback* object) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({"Flush", object});
  }
  for (;;) {
    Message next;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      auto it = m_queue.begin();
      while (it != m_queue.end() && it->object != object) ++it;
      if (it == m_queue.end()) return true;
      next = *it;
      m_queue.erase(it);
      ++m_flushed;
    }
    next.object->MainThreadMessage(next.id, next.data);
  }
}

void FakeTools::Dispatch(MSG* message) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dispatched.push_back(*message);
  }
  TranslateMessage(message);
  DispatchMessageW(message);
}

bool FakeTools::Load(const wchar_t*, BSTR* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_loadCalls;
  if (!m_productInfoError) return true;
  SysReAllocString(error, m_productInfoError);
  return false;
}

void FakeTools::Translate(IZrDllString* text) {
  std::u16string translation;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_translations.find(std::u16string(text->GetChars()));
    if (it == m_translations.end()) return;
    translation = it->second;
  }
  text->SetChars(translation.c_str(), -1);
}

void FakeTools::RecordRegistryCall(std::wstring line) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_registryCalls.push_back(std::move(line));
}

int FakeTextUtils::Find(const wchar_t* text, const wchar_t* pattern, int options) {
  if (!text || !pattern) return -1;
  const ZrStringGlobals& strings = ZrStringGlobals::Instance();
  auto same = [&](wchar_t a, wchar_t b) {
    return (options & 1) ? strings.Fold(static_cast<ZrChar>(a)) == strings.Fold(static_cast<ZrChar>(b)) : a == b;
  };
  for (int start = 0;; ++start) {
    int i = 0;
    while (pattern[i] && text[start + i] && same(text[start + i], pattern[i])) ++i;
    if (!pattern[i]) return start;
    if (!text[start + i]) return -1;
  }
}

int FakeTextUtils::Compare(const wchar_t* a, const wchar_t* b) { return ZrCompareNoCase(ZrU(a), ZrU(b)); }

}  // namespace zrtest
