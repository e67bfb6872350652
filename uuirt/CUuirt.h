#pragma once
// The plug-in for the USB-UIRT infrared transceiver: receives, blasts and learns through the
// vendor's driver library "uuirtdrv", which it loads, binds by name and opens once, in its
// constructor. The device stays open, and codes flow to the host, for the plug-in's whole life;
// Start and Stop change neither.
//
// Threads: the interface is called on the host's thread. Received codes are delivered on the
// driver's thread. A learn runs on the plug-in's own thread (the ZrThread base) and its result is
// handed to the host's learn callback on the host's main thread.

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrThread.h"
#include "mce/IRBlastCode.h"
#include "plugin/ZrRemoteControlBase.h"
#include "uuirt/UuirtDriverApi.h"

// The thread is the learn worker. Start and Stop here are the plug-in's; the thread's own are
// reached as ZrThread::Start and ZrThread::Stop.
class CUuirt : public ZrRemoteControlBase, public ZrThread {
 public:
  // Where the failure texts send the user for a current driver.
  static constexpr const ZrChar* kSupportPage = u"https://support.zorvane.com/usb-uirt/driver";
  static constexpr const ZrChar* kDriverName = u"uuirtdrv";
  // Blast waits this long for the driver to report the transmission finished.
  static constexpr DWORD kTransmitTimeoutMs = 5000;
  static constexpr int32_t kDefaultRepeatCount = 8;
  // The message a finished learn posts to the host's main thread.
  static constexpr uint32_t kLearnedMessage = 1;

  // Loads and opens the driver; never fails. The outcome shows through Start and the last error.
  explicit CUuirt(IZrRemoteControlHost* host);
  // Ends a learn, closes the device (no code reaches the host once this has begun) and unloads
  // the driver.
  ~CUuirt() override;

  // The flag is ignored. Answers whether the device is open.
  bool Start(bool flag) override;
  // Abandons a learn and waits for its thread; answers the thread's result (true when no learn
  // ever ran). A learn result not yet handed over is dropped, and the learn callback is released.
  // The device stays open and codes keep coming.
  bool Stop() override;
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  // Sends the "IRData" of a "ZRIR" record, on output zone "PortIndex" 0-2 when it names one;
  // answers true once the driver reports the transmission finished (within 5 s).
  bool IRBlast(const wchar_t* code) override;
  // Starts a learn on the plug-in's thread; a learn already running goes on and hands its result
  // to this callback instead. False without a device or a callback.
  bool IRLearn(IZrLearnCallback* callback) override;
  void IRLearnCancel() override;
  ZrString GetName() override;

  bool IsDeviceOpen() const { return m_device != nullptr; }

 protected:
  bool Run() override;
  bool OnMainThreadMessage(uint32_t id, void* data) override;

 private:
  struct DriverFunctions {
    UuirtOpenProc open = nullptr;
    UuirtCloseProc close = nullptr;
    UuirtGetDrvInfoProc getDrvInfo = nullptr;
    UuirtGetUUIRTInfoProc getUUIRTInfo = nullptr;
    UuirtGetUUIRTConfigProc getUUIRTConfig = nullptr;
    UuirtSetUUIRTConfigProc setUUIRTConfig = nullptr;
    UuirtSetReceiveCallbackProc setReceiveCallback = nullptr;
    UuirtTransmitIRProc transmitIR = nullptr;
    UuirtLearnIRProc learnIR = nullptr;
  };

  // Where the driver's receive calls stand: codes are taken only while open.
  enum class ReceiveState { kConstructing, kOpen, kClosing };

  void OpenDriver();
  bool BindFunctions();
  void SetDriverError(const ZrChar* text, bool withSupportPage);
  void SetOpenError(DWORD error);
  void CloseDevice();
  void OnReceive(const char* eventText);
  void Abort();

  static void WINAPI ReceiveProc(const char* eventText, void* userData);
  static void WINAPI LearnProgressProc(uint32_t progress, uint32_t signalQuality, uint32_t carrierFrequency,
                                       void* userData);

  // Read on the main thread only, when a learn result is handed over.
  IZrLearnCallback* m_learnCallback = nullptr;
  // Written by the learn thread, read on the main thread.
  IRBlastCode m_learnedCode;
  std::mutex m_learnedLock;
  ZrModuleHandle m_driver;
  // Shared with the driver by address during a learn: non-zero asks it to give up.
  volatile int32_t m_learnAbort = 0;
  // Set by the learn thread once the driver's learn has returned: from then on the thread brings
  // no further result and only ends, so a new IRLearn starts a learn of its own.
  std::atomic<bool> m_learnEnded{false};
  UuirtHandle m_device = nullptr;
  DriverFunctions m_functions;

  std::mutex m_receiveLock;
  std::condition_variable m_receiveIdle;
  ReceiveState m_receiveState = ReceiveState::kConstructing;
  int m_receivesInProgress = 0;
};
