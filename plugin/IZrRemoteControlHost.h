#pragma once
// The host's side of the plug-in interface: objects the host implements and the plug-ins call.
//
// These cross into a module built by another compiler: no virtual destructor, no overloaded virtual
// names, nothing returned by value but bool, 32-bit integers, pointers and BSTRs. The slot order is
// the contract.

#include <cstdint>

#include "foundation/win/ZrWindows.h"

class IZrRemoteControl;

class IZrRemoteControlHost {
 public:
  // Slot 0. Called on the host's thread, or on a device driver's thread for plug-ins that receive
  // there. The plug-in frees `code` as soon as this returns; the host copies what it keeps.
  // milliseconds: time since this plug-in's previous code. The result is ignored.
  virtual bool OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) = 0;
  // Slot 1. Called on the host's thread. Answers a new BSTR the plug-in frees, or null.
  virtual BSTR GetValue(const wchar_t* name) = 0;

 protected:
  ~IZrRemoteControlHost() = default;
};

class IZrLearnCallback {
 public:
  // Slot 0. Called once per learned code. `code` belongs to the callee, which frees it with
  // SysFreeString. The result is ignored.
  virtual bool OnLearned(BSTR code) = 0;

 protected:
  ~IZrLearnCallback() = default;
};
