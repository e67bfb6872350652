#include "foundation/win/ZrProcessInfo.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "foundation/ZrFormat.h"
#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrModuleLocks.h"
#include "foundation/win/ZrToolsAccess.h"

namespace {

constexpr int kAppDataFolder = 0x101A;  // the roaming application data folder, without aliasing
// Another module may have marked the block initialised and still be filling it; its last write is
// the version. Wait that long for it at most.
constexpr DWORD kFillWaitMs = 2000;

std::unique_ptr<ZrProcessInfo> g_processInfo;

template <typename T>
void Store(uint8_t* block, size_t offset, T value) {
  std::memcpy(block + offset, &value, sizeof value);
}

std::atomic_ref<int32_t> Version(uint8_t* block) {
  return std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(block + ZrProcessBlock::kVersion));
}

ZrString AppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, kAppDataFolder, nullptr, 0 /* the current path */, path))) return ZrString();
  return ZrWithOneTrailingBackslash(ZrString(ZrU(path)));
}

}  // namespace

ZrProcessInfo& ZrProcessInfo::Get() {
  ZrLock lock(ZrModuleLocks::ProcessInfo());
  if (!g_processInfo) g_processInfo = std::make_unique<ZrProcessInfo>();
  return *g_processInfo;
}

ZrString ZrProcessInfo::BlockName(DWORD processId) {
  return ZrFormatV(kZrProcessBlockName, {kZrProductMajorVersion, static_cast<unsigned long>(processId)});
}

ZrProcessInfo::ZrProcessInfo(const ZrChar* installationsKey) {
  if (installationsKey) m_installationsKey = installationsKey;
  if (!m_memory.Open(BlockName(GetCurrentProcessId()), ZrProcessBlock::kSize)) return;
  uint8_t* block = m_memory.View();
  // Two modules attaching at once both find the block empty; only the one whose exchange turns the
  // field from 0 to 1 fills it, the other waits for the version like any later module.
  auto* initialised = reinterpret_cast<volatile SHORT*>(block + ZrProcessBlock::kInitialised);
  if (InterlockedCompareExchange16(initialised, 1, 0) == 0) {
    Fill();
    m_filled = true;
    return;
  }
  const ULONGLONG end = GetTickCount64() + kFillWaitMs;
  while (Version(block).load(std::memory_order_acquire) != ZrProcessBlock::kVersionValue && GetTickCount64() < end)
    Sleep(5);
}

void ZrProcessInfo::Fill() {
  uint8_t* block = m_memory.View();
  // Everything but the claim made in the constructor.
  std::memset(block + ZrProcessBlock::kExecutablePath, 0, ZrProcessBlock::kSize - ZrProcessBlock::kExecutablePath);

  const ZrString executable = ZrGetModuleFileName(nullptr);
  WriteField(ZrProcessBlock::kExecutablePath, executable);

  const ZrString moduleDirectory = ZrDirectoryOf(ZrGetModuleFileName(ZrGetModuleInstance()));
  const ZrString keyPath = m_installationsKey.IsEmpty() ? ZrInstallationsKeyPath(moduleDirectory) : m_installationsKey;
  bool portable = false;
  const ZrString install = ZrResolveInstallDirectory(ZrDirectoryOf(executable), moduleDirectory, keyPath, &portable);
  if (portable) block[ZrProcessBlock::kPortable] = 1;
  WriteField(ZrProcessBlock::kInstallDirectory, install);
  WriteField(ZrProcessBlock::kInstallDirectory2, install);
  WriteField(ZrProcessBlock::kInstallDirectory3, install);

  const ZrString line = ZrFormatV(u"Zorvane install path (process: %d): %s\r\n",
                                  {static_cast<unsigned long>(GetCurrentProcessId()), install});
  OutputDebugStringW(ZrW(line.c_str()));
  if (IZrTools* tools = ZrGetTools()) tools->InstallDirectoryKnown();

  Store<uint32_t>(block, ZrProcessBlock::kFlags, ZrProcessBlock::kFlagsValue);
  Store<uint32_t>(block, ZrProcessBlock::kFillingThreadId, GetCurrentThreadId());

  const ZrString appData = portable ? install + u"Application Data\\" : AppDataFolder();
  WriteField(ZrProcessBlock::kAppDataDirectory, appData);

  Store<int32_t>(block, ZrProcessBlock::kReserved, ZrProcessBlock::kReservedValue);
  Version(block).store(ZrProcessBlock::kVersionValue, std::memory_order_release);
}

void ZrProcessInfo::WriteField(size_t offset, const ZrString& text) {
  auto* cells = reinterpret_cast<ZrChar*>(m_memory.View() + offset);
  const int length = std::min(text.Length(), ZrProcessBlock::kStringCells - 1);
  std::memcpy(cells, text.c_str(), static_cast<size_t>(length) * sizeof(ZrChar));
  cells[length] = 0;
  cells[ZrProcessBlock::kStringCells - 1] = 0;
}

ZrString ZrProcessInfo::ReadField(size_t offset) const {
  if (!m_memory.View()) return ZrString();
  // Another module wrote the field; it need not be terminated.
  const auto* cells = reinterpret_cast<const ZrChar*>(m_memory.View() + offset);
  int length = 0;
  while (length < ZrProcessBlock::kStringCells - 1 && cells[length]) ++length;
  return ZrString(cells, length);
}

ZrString ZrProcessInfo::GetInstallDirectory() const { return ZrLongPathForm(ReadField(ZrProcessBlock::kInstallDirectory)); }

ZrString ZrProcessInfo::GetAppDataDirectory() const { return ReadField(ZrProcessBlock::kAppDataDirectory); }

ZrString ZrProcessInfo::GetExecutablePath() const { return ReadField(ZrProcessBlock::kExecutablePath); }

bool ZrProcessInfo::IsPortable() const {
  return m_memory.View() && m_memory.View()[ZrProcessBlock::kPortable] == 1;
}
