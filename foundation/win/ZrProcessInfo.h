#pragma once
// The process information block: facts about the host process that every module of the product
// family in it agrees on (host executable, install directory, portable copy, application data
// directory, the thread that filled the block). The first module that asks computes them and
// publishes them in a named mapping private to the process; every later module reads them.

#include <cstddef>
#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/win/ZrSharedMemory.h"

inline constexpr ZrChar kZrProcessBlockName[] = u"Zorvane Process v%d (%d)";
inline constexpr int kZrProductMajorVersion = 35;

// Layout of the block. Strings are UTF-16 and zero-terminated in fields of 260 characters.
namespace ZrProcessBlock {
inline constexpr size_t kSize = 3184;
inline constexpr size_t kInitialised = 0;
inline constexpr size_t kExecutablePath = 2;
inline constexpr size_t kInstallDirectory = 524;
inline constexpr size_t kInstallDirectory2 = 1046;
inline constexpr size_t kInstallDirectory3 = 1568;
inline constexpr size_t kAppDataDirectory = 2090;
inline constexpr size_t kFillingThreadId = 2616;
inline constexpr size_t kFlags = 2624;
inline constexpr size_t kPortable = 2632;
inline constexpr size_t kReserved = 3168;
inline constexpr size_t kVersion = 3176;
inline constexpr int kStringCells = 260;
inline constexpr uint32_t kFlagsValue = 0x80000001;
inline constexpr int32_t kReservedValue = -1;
inline constexpr int32_t kVersionValue = 99;
}  // namespace ZrProcessBlock

class ZrProcessInfo {
 public:
  // This module's object: created on first use, under the module-wide lock, and kept until the
  // module unloads.
  static ZrProcessInfo& Get();

  // installationsKey: the key below HKEY_LOCAL_MACHINE to search; null for the product's own,
  // chosen by this module's directory. Other values serve tests.
  explicit ZrProcessInfo(const ZrChar* installationsKey = nullptr);
  ZrProcessInfo(const ZrProcessInfo&) = delete;
  ZrProcessInfo& operator=(const ZrProcessInfo&) = delete;

  // The install directory in its long form with one trailing backslash; empty without a block.
  ZrString GetInstallDirectory() const;
  ZrString GetAppDataDirectory() const;
  ZrString GetExecutablePath() const;
  bool IsPortable() const;
  // Whether this object found the block empty and filled it.
  bool FilledBlock() const { return m_filled; }
  // The block itself, null when no block could be mapped.
  const uint8_t* Block() const { return m_memory.View(); }

  static ZrString BlockName(DWORD processId);

 private:
  void Fill();
  ZrString ReadField(size_t offset) const;
  void WriteField(size_t offset, const ZrString& text);

  ZrSharedMemory m_memory;
  bool m_filled = false;
  ZrString m_installationsKey;
};
