#pragma once
// The module as rchost hosts it: the tools library started first, ZrRemoteControl.dll from this
// program's folder with its exports, and plug-ins owned as a host owns them.

#include <string>
#include <vector>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsInterface.h"
#include "plugin/IZrRemoteControl.h"

class IZrRemoteControlHost;

// This program's folder, with a trailing backslash.
std::wstring RcOwnFolder();

// The product family's tools library, started by the host on its main thread before any module
// is loaded, as the family's host application does. Its main-thread messages then have their
// window on this thread, made here and not inside a module's start-up under the loader lock.
class RcTools {
 public:
  explicit RcTools(const std::wstring& folder);
  ~RcTools();
  RcTools(const RcTools&) = delete;
  RcTools& operator=(const RcTools&) = delete;

 private:
  ZrModuleHandle m_library;
  IZrTools* m_tools = nullptr;
};

// ZrRemoteControl.dll from this program's folder, with its exports.
class RcModule {
 public:
  RcModule();
  RcModule(const RcModule&) = delete;
  RcModule& operator=(const RcModule&) = delete;

  bool Loaded() const { return m_module && create && registerServer && unregisterServer; }

  ZrCreateRemoteControlProc create = nullptr;
  ZrRegisterServerProc registerServer = nullptr;
  ZrRegisterServerProc unregisterServer = nullptr;

 private:
  RcTools m_tools;  // outlives the module
  std::wstring m_path;
  ZrModuleHandle m_module;
};

// A plug-in owned as a host owns it: destroyed through slot 0 with the module's own allocator.
class RcPlugin {
 public:
  RcPlugin(const RcModule& module, int type, IZrRemoteControlHost* host) : m_plugin(module.create(type, host)) {}
  ~RcPlugin() {
    if (m_plugin) m_plugin->DeletingDestructor(IZrRemoteControl::kFreeMemory);
  }
  RcPlugin(const RcPlugin&) = delete;
  RcPlugin& operator=(const RcPlugin&) = delete;

  IZrRemoteControl* operator->() const { return m_plugin; }
  explicit operator bool() const { return m_plugin != nullptr; }
  IZrRemoteControl* get() const { return m_plugin; }

  // The answer to GetInfo(key); "(null)" for a null answer.
  std::wstring Info(const wchar_t* key) const;
  // The raw-input collections it asks for, without a window.
  std::vector<RAWINPUTDEVICE> Collections() const;

 private:
  IZrRemoteControl* m_plugin;
};
