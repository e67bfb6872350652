#pragma once
// The product family's tools library, as every module sees it.
//
// These objects cross the boundary between modules built by different compilers, so they follow the
// rules of a COM-style interface: no virtual destructor, no overloaded virtual names, no structs
// returned by value; only pointers, 32/64-bit integers, bool and BSTR cross. The slot order of
// every interface is part of the contract and must not change.

#include <cstdint>

#include "foundation/ZrFormatArgs.h"
#include "foundation/ZrDllString.h"
#include "foundation/win/ZrWindows.h"

inline constexpr int kZrToolsInterfaceVersion = 200048;
inline constexpr char kZrToolsExportName[] = "GetZrToolsDLL";

// Called on the host's main thread by the main-thread message manager.
class IMainThreadMessageManagerCallback {
 public:
  virtual bool MainThreadMessage(uint32_t id, void* data) = 0;
};

class IZrLogger {
 public:
  // One line from a wide format: (level, scope name, format, typed arguments, argument count).
  virtual void WriteW(int level, const char* scope, const wchar_t* format, const ZrFormatArg* args, int count) = 0;
  // The same from a narrow (UTF-8) format.
  virtual void WriteA(int level, const char* scope, const char* format, const ZrFormatArg* args, int count) = 0;
};

class IZrTranslator {
 public:
  // Replaces the text in place when a translation is known; leaves it alone otherwise.
  virtual void Translate(IZrDllString* text) = 0;
};

class IZrTextUtils {
 public:
  // options 3: case-insensitive search; answers the position of the match or -1.
  virtual int Find(const wchar_t* text, const wchar_t* pattern, int options) = 0;
  // Ordering for sorting lists shown to the user: <0, 0, >0.
  virtual int Compare(const wchar_t* a, const wchar_t* b) = 0;
};

class IZrProductInfo {
 public:
  // module: the module's name (may be empty). error: receives an error text on failure; the caller
  // owns *error before and after the call.
  virtual bool Load(const wchar_t* module, BSTR* error) = 0;
};

class IZrMainThreadMessageManager {
 public:
  // After this returns no message reaches the object, not even one already queued.
  virtual void Forget(IMainThreadMessageManagerCallback* object) = 0;
  // Queues (id, data) for the object on the host's main thread; answers whether it was queued.
  virtual bool Post(IMainThreadMessageManagerCallback* object, uint32_t id, void* data) = 0;
  // Delivers the object's pending messages now, on the calling thread; answers true.
  virtual bool Flush(IMainThreadMessageManagerCallback* object) = 0;
};

class IZrMessageDispatcher {
 public:
  // Translates and dispatches one message removed from a queue.
  virtual void Dispatch(MSG* message) = 0;
};

class IZrMessageDispatch {
 public:
  virtual IZrMessageDispatcher* GetDispatcher(int which) = 0;
};

// A key below the host's registry root. Slots not used by this module keep their places.
class IZrHostRegistryKey {
 public:
  virtual void Close() = 0;                                                               // 0
  virtual bool GetInt(const wchar_t* name, int* value) = 0;                               // 1
  virtual bool GetString(const wchar_t* name, BSTR* value) = 0;                           // 2
  virtual bool ValueExists(const wchar_t* name) = 0;                                      // 3
  virtual bool SubkeyExists(const wchar_t* name) = 0;                                     // 4
  virtual bool SetInt(const wchar_t* name, int value, int reserved1, int reserved2) = 0;  // 5
  virtual bool SetString(const wchar_t* name, const wchar_t* value, int reserved1,
                         const wchar_t* reserved2, int reserved3) = 0;                    // 6
  virtual bool DeleteValue(const wchar_t* name) = 0;                                      // 7
  virtual int GetSubkeyCount() = 0;                                                       // 8
  virtual bool GetSubkeyName(int index, BSTR* name) = 0;                                  // 9
  virtual bool RemoveAllValues() = 0;                                                     // 10
  virtual bool RemoveSubkey(const wchar_t* name, int reserved) = 0;                       // 11
};

class IZrTools {
 public:
  virtual bool Initialise(void* settings, HINSTANCE module) = 0;
  virtual void ProductInfoLoaded(int reserved) = 0;
  virtual IZrTextUtils* GetTextUtils(int which, int option) = 0;
  virtual IZrTranslator* GetTranslator(int which) = 0;
  virtual IZrProductInfo* GetProductInfo(int which) = 0;
  // Not in the module's list of calls, but the product information state must be readable.
  virtual bool IsProductInfoLoaded() = 0;
  virtual IZrLogger* GetLogger(int which) = 0;
  // which 0: answers a non-null token when the manager exists; which 1: the manager.
  virtual IZrMainThreadMessageManager* GetMainThreadMessageManager(int which) = 0;
  virtual IZrMessageDispatch* GetMessageDispatch(int which) = 0;
  // flags 1: create the key when missing; 0: open an existing key only. Null when it can't be opened.
  virtual IZrHostRegistryKey* OpenHostRegistryKey(const wchar_t* path, int flags, int reserved) = 0;
  virtual bool InstallDirectoryKnown() = 0;
  // final true: the module is unloading and the library may release everything it holds for it.
  virtual void Shutdown(bool final) = 0;
};

// The export "GetZrToolsDLL".
using ZrGetToolsProc = IZrTools* (*)(int interfaceVersion);
