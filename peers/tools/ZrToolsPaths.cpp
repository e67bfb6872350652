#include "peers/tools/ZrToolsPaths.h"

#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrWindows.h"

ZrString ZrToolsInstallDirectory() {
  const ZrString path = ZrGetModuleFileName(ZrGetModuleInstance());
  const int slash = path.ReverseFind(u'\\');
  return slash < 0 ? ZrString() : path.Left(slash + 1);
}

ZrString ZrToolsAppDataDirectory() { return ZrToolsInstallDirectory() + u"Application Data\\"; }
