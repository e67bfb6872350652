#include "peers/tools/ZrToolsPaths.h"

#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrProcessInfo.h"

ZrString ZrToolsInstallDirectory() {
  const ZrString installed = ZrProcessInfo::Get().GetInstallDirectory();
  if (!installed.IsEmpty()) return installed;
  // Without a known installation the library's own folder stands in for it.
  return ZrDirectoryOf(ZrGetModuleFileName(ZrGetModuleInstance()));
}

ZrString ZrToolsAppDataDirectory() { return ZrProcessInfo::Get().GetAppDataDirectory(); }
