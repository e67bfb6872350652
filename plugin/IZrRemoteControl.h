#pragma once
// The plug-in interface a host drives by vtable slot.
//
// Hosts are built with Microsoft's compiler. Its virtual destructor is one slot (a deleting
// destructor taking flags), where ours would be two, so slot 0 is declared as that deleting
// destructor explicitly and the interface has no C++ virtual destructor. Nothing overloads a
// virtual name, and only bool, 32-bit integers, pointers and BSTRs are returned.
//
// Every operation is called on the host's thread, never concurrently; none lets an exception out.

#include <cstdint>

#include "foundation/win/ZrWindows.h"

class IZrLearnCallback;

class IZrRemoteControl {
 public:
  static constexpr unsigned kFreeMemory = 1;  // flags bit of the deleting destructor

  // 0: destroys the object, frees its memory when (flags & kFreeMemory); answers this.
  virtual void* DeletingDestructor(unsigned flags) = 0;
  virtual bool Start(bool flag) = 0;                           // 1
  virtual bool Stop() = 0;                                     // 2
  virtual bool ReservedQuery() = 0;                            // 3
  virtual int32_t IRGetNumBlastPorts() = 0;                    // 4
  virtual bool IRCanBlast() = 0;                               // 5
  virtual bool IRBlast(const wchar_t* code) = 0;               // 6
  // 7: the callback must stay valid until the learn ends or IRLearnCancel/Stop returns.
  virtual bool IRLearn(IZrLearnCallback* callback) = 0;
  virtual void IRLearnCancel() = 0;                            // 8
  // 9: a new BSTR the caller frees; empty (not null) for a name that matches no key.
  virtual BSTR GetInfo(const wchar_t* name) = 0;
  // 10: value may be null. Answers whether the name was recognised.
  virtual bool SetInfo(const wchar_t* name, const wchar_t* value) = 0;
  // 11: fills usage page, usage and flags of `device` for this index; the host sets the window.
  virtual bool GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) = 0;
  virtual bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;  // 12

 protected:
  ~IZrRemoteControl() = default;
};

class IZrRemoteControlHost;

// The module's exports, as a host finds them with GetProcAddress under their plain names.
// "CreateRemoteControl": 0 MCE, 1 raw input, 2 IRMAN, 3 USB-UIRT; null for any other type. The host
// pointer is kept, not owned, and not called during construction.
using ZrCreateRemoteControlProc = IZrRemoteControl* (*)(int type, IZrRemoteControlHost* host);
// "DllRegisterServer", "DllUnregisterServer": always S_OK.
using ZrRegisterServerProc = HRESULT(__stdcall*)();
