#pragma once
// A key below the host's registry root (HKEY_CURRENT_USER\Software\Zorvane\Stagecore\), as the
// tools library hands it out. The object owns its registry handle; Close releases both.

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsInterface.h"

class ZrHostRegistryKey final : public IZrHostRegistryKey {
 public:
  static constexpr ZrChar kDefaultRoot[] = u"Software\\Zorvane\\Stagecore\\";

  // flags bit 0: create the key when missing; otherwise it must exist. Null when it can't be had.
  // root: a path below HKEY_CURRENT_USER ending in a backslash.
  static IZrHostRegistryKey* Open(const ZrString& root, const wchar_t* path, int flags);

  void Close() override;
  bool GetInt(const wchar_t* name, int* value) override;
  // *value is replaced (a string it held is freed).
  bool GetString(const wchar_t* name, BSTR* value) override;
  bool ValueExists(const wchar_t* name) override;
  bool SubkeyExists(const wchar_t* name) override;
  bool SetInt(const wchar_t* name, int value, int reserved1, int reserved2) override;
  bool SetString(const wchar_t* name, const wchar_t* value, int reserved1, const wchar_t* reserved2,
                 int reserved3) override;
  bool DeleteValue(const wchar_t* name) override;
  int GetSubkeyCount() override;
  bool GetSubkeyName(int index, BSTR* name) override;
  // Removes every value of the key itself; subkeys stay.
  bool RemoveAllValues() override;
  // Removes the subkey with everything below it. An empty name is refused: it would mean this key.
  bool RemoveSubkey(const wchar_t* name, int reserved) override;

 private:
  explicit ZrHostRegistryKey(ZrRegistryKey key) : m_key(std::move(key)) {}
  ~ZrHostRegistryKey();

  ZrRegistryKey m_key;
};
