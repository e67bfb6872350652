#include "foundation/win/ZrRunProgram.h"

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrTraceScope.h"
#include "foundation/win/ZrWindows.h"

bool ZrRunProgram(const ZrString& path, DWORD priorityClass) {
  ZrTraceScope trace("RunProgram");
  if (path.IsEmpty()) return false;
  const ZrString parameters;
  ZrLog(1, "RunProgram", u"Filename: %s / Parameters: %s", {path, parameters});

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  // No error box: this runs inside the host's Stop, where a modal box would hold the host's thread
  // until someone answers it; a failure is traced instead.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_NOZONECHECKS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = ZrW(path.c_str());
  info.lpParameters = ZrW(parameters.c_str());
  info.nShow = SW_SHOWNORMAL;
  ZrLog(1, "RunProgram", u"Performing ShellExecute...");
  ShellExecuteExW(&info);
  ZrEventHandle process(info.hProcess);

  const auto instance = reinterpret_cast<INT_PTR>(info.hInstApp);
  if (instance < 33) {
    ZrLog(1, "RunProgram", u"Failed to start (error %d)", {static_cast<int64_t>(instance)});
    return false;
  }
  if (process && priorityClass != NORMAL_PRIORITY_CLASS) SetPriorityClass(process.get(), priorityClass);
  if (process) ZrLog(1, "RunProgram", u"Running process...");
  return true;
}
