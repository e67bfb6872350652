#include "module/ZrToolsLibrary.h"

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrModuleLocks.h"
#include "foundation/win/ZrProcessInfo.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrWindows.h"

namespace {

// Guarded by ZrModuleLocks::ToolsLibrary(). The tools object itself lives only in ZrToolsAccess;
// this says whether the one installed there came from our own load, so that a stand-in installed
// by other means is never shut down here.
bool g_ownsTools = false;

// The library's handle is never destroyed with the module's statics: at process exit the loader
// unmaps the library itself, and FreeLibrary must not run inside our own process detach.
ZrModuleHandle& Library() {
  static ZrModuleHandle* const library = new ZrModuleHandle;
  return *library;
}

bool IsAbsolutePath(const ZrString& name) {
  if (name.Length() >= 3 && name[1] == u':' && (name[2] == u'\\' || name[2] == u'/')) return true;
  return name.Length() >= 2 && name[0] == u'\\' && name[1] == u'\\';
}

// The install directory the product family agreed on for this process: the block's third copy,
// as every module of the family reads it for this purpose.
ZrString ToolsInstallDirectory() {
  const uint8_t* block = ZrProcessInfo::Get().Block();
  if (!block) return ZrString();
  const auto* text = reinterpret_cast<const ZrChar*>(block + ZrProcessBlock::kInstallDirectory3);
  return ZrString(text, ZrProcessBlock::kStringCells - 1);
}

// One candidate: mapped, asked for the tools object of our interface version, initialised.
bool TryLoad(const ZrString& path) {
  // Dependencies of the library are looked for beside it, not beside the host.
  const DWORD flags = IsAbsolutePath(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  ZrModuleHandle library(LoadLibraryExW(ZrW(path.c_str()), nullptr, flags));
  if (!library) return false;
  auto get = reinterpret_cast<ZrGetToolsProc>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), kZrToolsExportName)));
  IZrTools* tools = get ? get(kZrToolsInterfaceVersion) : nullptr;
  if (!tools || !tools->Initialise(nullptr, ZrGetModuleInstance())) return false;
  // A library shut down earlier is still mapped; the new reference replaces the old one.
  Library() = std::move(library);
  ZrSetTools(tools);
  g_ownsTools = true;
  return true;
}

}  // namespace

ZrStringArray ZrToolsLibraryCandidates(const ZrString& installDirectory, const ZrString& fileName) {
  ZrStringArray candidates;
  if (IsAbsolutePath(fileName)) {
    candidates.Add(fileName);
  } else if (installDirectory.IsEmpty()) {
    candidates.Add(fileName);
  } else {
    const ZrString directory = ZrWithOneTrailingBackslash(installDirectory);
    candidates.Add(directory + fileName);
    candidates.Add(directory + u"x64\\" + fileName);
  }
  return candidates;
}

bool ZrLoadToolsLibrary() {
  ZrLock lock(ZrModuleLocks::ToolsLibrary());
  // A library installed by other means (a test's stand-in) counts as loaded.
  if (ZrGetTools()) return true;
  const ZrStringArray candidates = ZrToolsLibraryCandidates(ToolsInstallDirectory(), ZrString(kZrToolsFileName));
  for (int i = 0; i < candidates.GetCount(); ++i) {
    if (TryLoad(candidates[i])) return true;
  }
  return false;
}

void ZrShutdownToolsLibrary() {
  ZrLock lock(ZrModuleLocks::ToolsLibrary());
  IZrTools* tools = ZrGetTools();
  if (!tools || !g_ownsTools) return;
  // Call sites stop finding the library before it lets go of what it holds for us.
  ZrSetTools(nullptr);
  g_ownsTools = false;
  tools->Shutdown(true);
}

void ZrReleaseToolsLibrary() {
  ZrShutdownToolsLibrary();
  ZrLock lock(ZrModuleLocks::ToolsLibrary());
  Library().reset();
}
