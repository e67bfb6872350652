#pragma once
// Keeps the system's own handling of the MCE remote switched off while a plug-in that reads the
// remote is started: the system's tray program "ehtray.exe" is ended and later started again.
//
// Several plug-ins of one module may each hold a stopper at once (the MCE and the raw-input
// plug-in in one host). The module therefore counts them: the first stopper created ends the tray
// program, and the last one destroyed starts it again, if it was ended; in between nobody hands
// the remote back to the system while another plug-in still listens. Created and destroyed on the
// host's thread that starts and stops the plug-ins.

#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/win/ZrWindows.h"

inline constexpr ZrChar kTrayProgramName[] = u"ehtray.exe";

class CStopMCERemoteHandling {
 public:
  CStopMCERemoteHandling();
  virtual ~CStopMCERemoteHandling();
  CStopMCERemoteHandling(const CStopMCERemoteHandling&) = delete;
  CStopMCERemoteHandling& operator=(const CStopMCERemoteHandling&) = delete;

  // True when this stopper ended a running tray program.
  bool Terminated() const { return m_terminated; }

  // The process id of the last process in a snapshot whose file name matches the tray program's,
  // through the tools library's find; 0 when none matches or the library is not loaded.
  static DWORD FindTrayProgram();
  // "<Windows directory>\ehome\ehtray.exe".
  static ZrString TrayProgramPath();
  // How many stoppers exist in this module now.
  static int LiveCount();

 private:
  bool m_terminated = false;
};
