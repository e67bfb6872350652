#include "mce/CMCERemoteService.h"

#include "foundation/ZrFormat.h"
#include "foundation/win/ZrProcessInfo.h"

ZrString CMCEServicePipeName(const ZrString& installDirectory) {
  const int32_t hash = installDirectory.IsEmpty() ? 0 : static_cast<int32_t>(ZrHashNoCase(installDirectory.c_str()));
  return ZrFormatV(kMCEServicePipeFormat, {hash});
}

ZrString CMCEServicePipeName() { return CMCEServicePipeName(ZrProcessInfo::Get().GetInstallDirectory()); }
