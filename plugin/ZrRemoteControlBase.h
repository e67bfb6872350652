#pragma once
// The common frame of every plug-in: the host pointer, the last error, the time since the previous
// code, and the answers to the host's information queries.

#include <atomic>
#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/ZrTimer.h"
#include "plugin/IZrRemoteControl.h"
#include "plugin/IZrRemoteControlHost.h"

class ZrRemoteControlBase : public IZrRemoteControl {
 public:
  // The host is kept, never owned, and not called here.
  explicit ZrRemoteControlBase(IZrRemoteControlHost* host);

  void* DeletingDestructor(unsigned flags) noexcept override;
  // Stores the flag; answers false. Every plug-in overrides it.
  bool Start(bool flag) override;
  // Clears the start flag; answers false. Every plug-in overrides it.
  bool Stop() override;
  bool ReservedQuery() override;
  // Slots 4-8: a plug-in that neither blasts nor learns keeps these (no ports, nothing sent,
  // nothing learned).
  int32_t IRGetNumBlastPorts() override;
  bool IRCanBlast() override;
  bool IRBlast(const wchar_t* code) override;
  bool IRLearn(IZrLearnCallback* callback) override;
  void IRLearnCancel() override;
  BSTR GetInfo(const wchar_t* name) override;
  // Only "System Shutdown" is known here.
  bool SetInfo(const wchar_t* name, const wchar_t* value) override;
  bool GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) override;
  bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Slots 13-16: the module's own questions, never asked by a host.
  virtual ZrString GetName() = 0;
  virtual ZrString GetDisplayName();
  virtual bool IsConfigurable();
  virtual bool GetEnableOnInstall();

  // Past the host's slots, so that deleting through slot 0 reaches the most derived class.
  virtual ~ZrRemoteControlBase();

  const ZrString& LastError() const { return m_lastError; }
  bool IsStarted() const { return m_started.load(); }
  bool IsSystemShutdown() const { return m_systemShutdown.load(); }
  IZrRemoteControlHost* Host() const { return m_host; }

  // Milliseconds rounded half away from zero to a 32-bit integer, saturating at its limits.
  static int32_t RoundMilliseconds(double milliseconds);

  // One raw-input collection a plug-in asks the host to register.
  struct Collection {
    USHORT page;
    USHORT usage;
  };

 protected:
  // The serial reader's main-thread handler delivers codes on its owner's behalf.
  friend class ZrSerialComm;

  // Hands one code to the host with the milliseconds since the previous one (restarting the clock
  // in the same step). Without a host the code is dropped, the clock restarted all the same.
  // Called on the host's thread, or on a driver thread; the host must accept both.
  void DeliverCode(const ZrString& code);

  // What GetRawInputDevice of a plug-in answers from its table of collections.
  static bool FillRawInputDevice(const Collection* table, int count, int32_t index, RAWINPUTDEVICE* device);

  IZrRemoteControlHost* const m_host;
  ZrString m_lastError;
  ZrTimer m_codeTimer;
  std::atomic<bool> m_started{false};
  std::atomic<bool> m_systemShutdown{false};
};
