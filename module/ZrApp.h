#pragma once
// The application object of a module of the product family: it receives the module's load and
// unload events and runs its start-up. One static object per module; the slot order below is the
// one every module of the family keeps.

#include <atomic>
#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/win/ZrWindows.h"

class ZrApp {
 public:
  ZrApp();
  virtual ~ZrApp();                                                      // 0

  virtual BOOL OnDllMain(HINSTANCE instance, DWORD reason, void* reserved);  // 1
  virtual int RunAsProgram(HINSTANCE instance, HINSTANCE previous, int show);  // 2
  virtual int RunAsProgram();                                            // 3
  virtual bool InitInstance();                                           // 4
  virtual bool ExitInstance();                                           // 5
  virtual void Run();                                                    // 6
  virtual bool Reserved7();                                              // 7
  virtual void Reserved8();                                              // 8
  virtual bool Reserved9();                                              // 9

  HINSTANCE Instance() const { return m_instance; }
  int AttachCount() const { return m_attachCount.load(); }
  // Whether the last process detach came from the process ending rather than FreeLibrary.
  bool ProcessTerminating() const { return m_processTerminating; }

  ZrApp(const ZrApp&) = delete;
  ZrApp& operator=(const ZrApp&) = delete;

 protected:
  HINSTANCE m_instance = nullptr;
  int32_t m_exitCode = 0;
  std::atomic<int32_t> m_attachCount{0};
  int m_show = 0;
  bool m_processTerminating = false;
};

// A module loaded as a DLL: its start-up loads the product information through the tools library.
class ZrDllApp : public ZrApp {
 public:
  // Locale and character tables, then the product information when the module needs it.
  bool InitInstance() override;
  // The final shutdown of the tools library.
  bool ExitInstance() override;

  virtual bool LoadProductInfo();   // 10
  virtual bool Reserved11();        // 11
  virtual void Reserved12();        // 12
  virtual bool NeedsProductInfo();  // 13

 protected:
  // The "Critical Error" box for a failed start-up: the module's path and the error text.
  void ReportCriticalError(const ZrString& error);
};

// The module's application object, or null before static initialisation made it / after it ended.
ZrApp* ZrGetApp();
