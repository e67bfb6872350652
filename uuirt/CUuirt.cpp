#include "uuirt/CUuirt.h"

#include <string>

#include "foundation/ZrFormat.h"
#include "foundation/win/ZrBoundary.h"
#include "foundation/win/ZrLoadLibrary.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrTraceScope.h"

namespace {

constexpr int kLearnLogLevel = 2048;
constexpr char kLearnUserData[] = "ZorvaneUserID";

// Text in the system's ANSI code page, as the driver speaks it. Null reads as empty.
ZrString FromAnsi(const char* text, int length = -1) {
  if (!text || length == 0 || (length < 0 && !*text)) return ZrString();
  const int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (units <= 0) return ZrString();
  std::u16string wide(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, length, ZrW(wide.data()), units);
  // A terminated input converts its terminator too.
  if (length < 0 && !wide.empty() && wide.back() == u'\0') wide.pop_back();
  return ZrString(std::u16string_view(wide));
}

std::string ToAnsi(const ZrString& text) {
  if (text.IsEmpty()) return std::string();
  const int bytes = WideCharToMultiByte(CP_ACP, 0, ZrW(text.c_str()), text.Length(), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, ZrW(text.c_str()), text.Length(), narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

template <typename Proc>
bool Bind(HMODULE module, const char* name, Proc* proc) {
  *proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *proc != nullptr;
}

}  // namespace

CUuirt::CUuirt(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {
  // A learn result still waiting for the main thread when a learn is cancelled or the plug-in
  // destroyed is dropped, never handed over from inside the cancel or the destructor.
  SetFlushAfterStop(false);
  OpenDriver();
  // The host hears of no code before it holds the plug-in.
  std::lock_guard<std::mutex> lock(m_receiveLock);
  m_receiveState = ReceiveState::kOpen;
}

CUuirt::~CUuirt() {
  {
    // From here on the driver's calls deliver nothing.
    std::lock_guard<std::mutex> lock(m_receiveLock);
    m_receiveState = ReceiveState::kClosing;
  }
  Abort();
  ZrThread::Stop(-1);
  m_learnCallback = nullptr;
  CloseDevice();
  m_driver.reset();
}

void CUuirt::OpenDriver() {
  if (!ZrLoadLibrary(&m_driver, kDriverName)) {
    SetDriverError(u"ERROR: Unable to load uuirtdrv.dll. Update your driver at ", true);
    return;
  }
  if (!BindFunctions()) {
    SetDriverError(u"ERROR: Unable to find all functions in uuirtdrv.dll. Update your driver at ", true);
    m_driver.reset();
    return;
  }
  uint32_t version = 0;
  if (!m_functions.getDrvInfo(&version) || version < kUuirtMinimumDriverVersion) {
    SetDriverError(u"ERROR: Invalid or unavailable uuirtdrv version. Update your driver at ", true);
    m_driver.reset();
    return;
  }
  UuirtHandle device = m_functions.open();
  if (device == INVALID_HANDLE_VALUE) device = nullptr;
  if (!device) {
    SetOpenError(GetLastError());
    m_driver.reset();
    return;
  }
  m_device = device;
  m_functions.setReceiveCallback(m_device, &CUuirt::ReceiveProc, this);
}

bool CUuirt::BindFunctions() {
  HMODULE module = m_driver.get();
  // Every one is looked up, so that the table is complete whatever is missing.
  bool all = Bind(module, "UUIRTOpen", &m_functions.open);
  all &= Bind(module, "UUIRTClose", &m_functions.close);
  all &= Bind(module, "UUIRTGetDrvInfo", &m_functions.getDrvInfo);
  all &= Bind(module, "UUIRTGetUUIRTInfo", &m_functions.getUUIRTInfo);
  all &= Bind(module, "UUIRTGetUUIRTConfig", &m_functions.getUUIRTConfig);
  all &= Bind(module, "UUIRTSetUUIRTConfig", &m_functions.setUUIRTConfig);
  all &= Bind(module, "UUIRTSetReceiveCallback", &m_functions.setReceiveCallback);
  all &= Bind(module, "UUIRTTransmitIR", &m_functions.transmitIR);
  all &= Bind(module, "UUIRTLearnIR", &m_functions.learnIR);
  return all;
}

void CUuirt::SetDriverError(const ZrChar* text, bool withSupportPage) {
  m_lastError = text;
  if (withSupportPage) m_lastError += kSupportPage;
}

void CUuirt::SetOpenError(DWORD error) {
  switch (error) {
    case kUuirtErrorNoDriver:
      SetDriverError(u"ERROR: Unable to find USB-UIRT Driver. Please make sure driver is Installed.\r\n"
                     u" Update your driver at ",
                     true);
      break;
    case kUuirtErrorNoDevice:
      SetDriverError(u"ERROR: Unable to connect to USB-UIRT device! Please ensure device is connected to the "
                     u"computer.",
                     false);
      break;
    case kUuirtErrorNoResponse:
      SetDriverError(u"ERROR: Unable to communicate with USB-UIRT device! Please check connections and try "
                     u"again.  If you still have problems, try unplugging and reconnecting your USB-UIRT.",
                     false);
      break;
    case kUuirtErrorWrongFirmware:
      SetDriverError(u"ERROR: Your USB-UIRT's firmware is not compatible with this API DLL. Please verify you "
                     u"are running the latest API DLL and that you're using the latest version of USB-UIRT "
                     u"firmware.",
                     false);
      break;
    default:
      SetDriverError(u"ERROR: Unable to initialize USB-UIRT (unknown error)! Update your driver at ", true);
      break;
  }
}

void CUuirt::CloseDevice() {
  {
    // A delivery under way uses this object: it must have returned before anything goes.
    std::unique_lock<std::mutex> lock(m_receiveLock);
    m_receiveState = ReceiveState::kClosing;
    m_receiveIdle.wait(lock, [this] { return m_receivesInProgress == 0; });
  }
  if (m_device && m_functions.close) m_functions.close(m_device);
  m_device = nullptr;
}

void WINAPI CUuirt::ReceiveProc(const char* eventText, void* userData) {
  if (!userData) return;
  // The driver's thread has no one to report an exception to.
  ZrNoThrowVoid([&] { static_cast<CUuirt*>(userData)->OnReceive(eventText); });
}

void CUuirt::OnReceive(const char* eventText) {
  const ZrString code = FromAnsi(eventText);
  {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (m_receiveState != ReceiveState::kOpen) return;
    ++m_receivesInProgress;
  }
  struct Done {
    CUuirt* self;
    ~Done() {
      {
        std::lock_guard<std::mutex> lock(self->m_receiveLock);
        --self->m_receivesInProgress;
      }
      self->m_receiveIdle.notify_all();
    }
  } done{this};
  DeliverCode(code);
}

bool CUuirt::Start(bool) { return m_driver.valid() && m_device != nullptr; }

void CUuirt::Abort() { InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_learnAbort), 1); }

bool CUuirt::Stop() {
  return ZrNoThrow(false, [&] {
    Abort();
    const bool result = ZrThread::Stop(-1);
    // Once Stop has returned the host may release its callback.
    m_learnCallback = nullptr;
    return result;
  });
}

int32_t CUuirt::IRGetNumBlastPorts() { return 3; }

bool CUuirt::IRCanBlast() { return IRGetNumBlastPorts() > 0; }

bool CUuirt::IRBlast(const wchar_t* code) {
  return ZrNoThrow(false, [&] {
    if (!m_device || !m_functions.transmitIR || !ZrIsReadableString(code)) return false;
    const IRBlastCode record{ZrString(ZrU(code))};
    ZrString data;
    record.GetString(data, IRBlastCode::kIRData);
    if (data.IsEmpty()) return false;
    const int32_t port = record.GetInt(IRBlastCode::kPortIndex, -1);
    if (port >= 0 && port < IRGetNumBlastPorts()) data = ZrFormatV(u"Z%d", {port + 1}) + data;
    const std::string narrow = ToAnsi(data);
    ZrEventHandle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!done) return false;
    const int32_t repeatCount = record.GetInt(u"RepeatCount", kDefaultRepeatCount);
    if (!m_functions.transmitIR(m_device, narrow.c_str(), kUuirtCodeFormat, repeatCount, 0, done.get(), nullptr,
                                nullptr))
      return false;
    return WaitForSingleObject(done.get(), kTransmitTimeoutMs) == WAIT_OBJECT_0;
  });
}

bool CUuirt::IRLearn(IZrLearnCallback* callback) {
  return ZrNoThrow(false, [&] {
    // A learn without a device ends at once, and one without a callback has nowhere to go.
    if (!m_device || !m_functions.learnIR || !callback) return false;
    m_learnCallback = callback;
    // A learn under way hands its result to the new callback. A thread whose learn has returned
    // brings nothing more: answering true for it would promise a learn that never happens, so
    // that thread is let end and a new one started.
    if (IsRunning() && !m_learnEnded.load()) return true;
    m_learnEnded.store(false);
    // Cleared here, before the thread exists, so that a cancel that follows at once is not undone
    // by the thread starting late.
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_learnAbort), 0);
    return ZrThread::Start(0, true, false);
  });
}

void CUuirt::IRLearnCancel() { Stop(); }

ZrString CUuirt::GetName() { return ZrString(u"USB-UUIRT"); }

bool CUuirt::Run() {
  if (!m_functions.learnIR || !m_device) return false;
  char buffer[kUuirtLearnBufferSize] = {};
  const BOOL learned = m_functions.learnIR(m_device, kUuirtCodeFormat, buffer, &CUuirt::LearnProgressProc,
                                           const_cast<char*>(kLearnUserData), &m_learnAbort, 0, nullptr, nullptr);
  m_learnEnded.store(true);
  if (!learned || m_learnAbort != 0) return true;

  ZrTraceScope scope("CUuirt::Thread", kLearnLogLevel);
  // The driver is not trusted to terminate what it wrote: the text ends inside the buffer.
  buffer[kUuirtLearnBufferSize - 1] = '\0';
  const ZrString text = FromAnsi(buffer);
  {
    std::lock_guard<std::mutex> lock(m_learnedLock);
    m_learnedCode.SetString(IRBlastCode::kIRData, text, false);
  }
  ZrLog(kLearnLogLevel, "CUuirt::Thread", u"Code learned for: %s", {text});
  if (IZrMainThreadMessageManager* manager = ZrGetMainThreadMessageManager())
    manager->Post(this, kLearnedMessage, nullptr);
  return true;
}

bool CUuirt::OnMainThreadMessage(uint32_t id, void*) {
  ZrNoThrowVoid([&] {
    if (id != kLearnedMessage || !m_learnCallback) return;
    ZrString text;
    {
      std::lock_guard<std::mutex> lock(m_learnedLock);
      m_learnedCode.ToText(text);
    }
    // The callback owns the text from here on.
    if (BSTR code = ZrToBstr(text)) m_learnCallback->OnLearned(code);
  });
  return true;
}

void WINAPI CUuirt::LearnProgressProc(uint32_t progress, uint32_t signalQuality, uint32_t carrierFrequency,
                                      void* userData) {
  ZrNoThrowVoid([&] {
    ZrTraceScope scope("CUuirt::IRLearnCallback", kLearnLogLevel);
    ZrLog(kLearnLogLevel, "CUuirt::IRLearnCallback", u"Progress %d, sigQuality %d, carrierFreq %d, user data %s",
          {progress, signalQuality, carrierFrequency, static_cast<const char*>(userData)});
  });
}
