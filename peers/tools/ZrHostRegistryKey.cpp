#include "peers/tools/ZrHostRegistryKey.h"

#include <new>
#include <vector>

#include "foundation/win/ZrBoundary.h"

IZrHostRegistryKey* ZrHostRegistryKey::Open(const ZrString& root, const wchar_t* path, int flags) {
  if (!ZrIsReadableString(path)) return nullptr;
  const ZrString full = root + ZrU(path);
  ZrRegistryKey key;
  const REGSAM access = KEY_READ | KEY_WRITE | DELETE;
  const LSTATUS status =
      (flags & 1) ? RegCreateKeyExW(HKEY_CURRENT_USER, ZrW(full.c_str()), 0, nullptr, 0, access, nullptr, key.put(), nullptr)
                  : RegOpenKeyExW(HKEY_CURRENT_USER, ZrW(full.c_str()), 0, access, key.put());
  if (status != ERROR_SUCCESS) return nullptr;
  return new (std::nothrow) ZrHostRegistryKey(std::move(key));
}

ZrHostRegistryKey::~ZrHostRegistryKey() = default;

void ZrHostRegistryKey::Close() { delete this; }

bool ZrHostRegistryKey::GetInt(const wchar_t* name, int* value) {
  DWORD data = 0, size = sizeof data, type = 0;
  if (!value || RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return false;
  *value = static_cast<int>(data);
  return true;
}

bool ZrHostRegistryKey::GetString(const wchar_t* name, BSTR* value) {
  if (!value) return false;
  DWORD size = 0, type = 0;
  if (RegQueryValueExW(m_key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, 0);
  size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
    return false;
  return SysReAllocString(value, text.data()) != FALSE;
}

bool ZrHostRegistryKey::ValueExists(const wchar_t* name) {
  return RegQueryValueExW(m_key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool ZrHostRegistryKey::SubkeyExists(const wchar_t* name) {
  ZrRegistryKey subkey;
  return ZrIsReadableString(name) && RegOpenKeyExW(m_key.get(), name, 0, KEY_READ, subkey.put()) == ERROR_SUCCESS;
}

bool ZrHostRegistryKey::SetInt(const wchar_t* name, int value, int, int) {
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExW(m_key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
         ERROR_SUCCESS;
}

bool ZrHostRegistryKey::SetString(const wchar_t* name, const wchar_t* value, int, const wchar_t*, int) {
  if (!ZrIsReadableString(value)) value = L"";
  const DWORD size = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  return RegSetValueExW(m_key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size) == ERROR_SUCCESS;
}

bool ZrHostRegistryKey::DeleteValue(const wchar_t* name) { return RegDeleteValueW(m_key.get(), name) == ERROR_SUCCESS; }

int ZrHostRegistryKey::GetSubkeyCount() {
  DWORD count = 0;
  if (RegQueryInfoKeyW(m_key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return 0;
  return static_cast<int>(count);
}

bool ZrHostRegistryKey::GetSubkeyName(int index, BSTR* name) {
  if (!name || index < 0) return false;
  wchar_t buffer[256];
  DWORD length = 256;
  if (RegEnumKeyExW(m_key.get(), static_cast<DWORD>(index), buffer, &length, nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS)
    return false;
  return SysReAllocStringLen(name, buffer, length) != FALSE;
}

bool ZrHostRegistryKey::RemoveAllValues() {
  // Deleting while enumerating shifts the indexes, so the first value is taken until none is left.
  for (;;) {
    wchar_t name[16384];
    DWORD length = 16384;
    const LSTATUS status = RegEnumValueW(m_key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS || RegDeleteValueW(m_key.get(), name) != ERROR_SUCCESS) return false;
  }
}

bool ZrHostRegistryKey::RemoveSubkey(const wchar_t* name, int) {
  if (!ZrIsReadableString(name) || !name[0]) return false;
  return RegDeleteTreeW(m_key.get(), name) == ERROR_SUCCESS;
}
