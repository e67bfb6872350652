#include "peers/tools/ZrToolsPaths.h"

#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrProcessInfo.h"

ZrString ZrToolsInstallDirectory() {
  const ZrString installed = ZrProcessInfo::Get().GetInstallDirectory();
  if (!installed.IsEmpty()) return installed;
  // Without a known installation the library's own folder stands in for it.
  const ZrString path = ZrGetModuleFileName(ZrGetModuleInstance());
  const int slash = path.ReverseFind(u'\\');
  return slash < 0 ? ZrString() : path.Left(slash + 1);
}

ZrString ZrToolsAppDataDirectory() { return ZrProcessInfo::Get().GetAppDataDirectory(); }
