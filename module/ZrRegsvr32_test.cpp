// Registration through the system's own client, regsvr32, read back from the registry.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "foundation/win/testsupport/ZrTestProcess.h"

namespace {

constexpr wchar_t kPluginsKey[] = L"Software\\Zorvane\\Stagecore\\Plugins\\RemoteControl";

// regsvr32 with the given switches on the module beside this test; answers its exit code. It runs
// in the module's folder, where the system's search finds the tools library by its bare name.
std::wstring Regsvr32(const std::wstring& switches) {
  const std::wstring folder = zrtest::ExecutableFolder();
  return zrtest::RunProcess(L"regsvr32.exe " + switches + L" \"" + folder + L"ZrRemoteControl.dll\"", folder)
      .description;
}

// Every value of a key as "text" or "#number"; "(no key)" alone when the key does not exist.
std::map<std::wstring, std::wstring> Values(const std::wstring& subkey) {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(kPluginsKey) + L"\\" + subkey;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {{L"(no key)", L""}};
  std::map<std::wstring, std::wstring> values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0;
    BYTE data[4096] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    if (type == REG_DWORD)
      values[name] = L"#" + std::to_wstring(*reinterpret_cast<DWORD*>(data));
    else if (type == REG_SZ)
      values[name] = reinterpret_cast<wchar_t*>(data);
    else
      values[name] = L"(type " + std::to_wstring(type) + L")";
  }
  RegCloseKey(key);
  return values;
}

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::map<std::wstring, std::wstring> Expected(int index, const wchar_t* displayName, const wchar_t* enable) {
  return {
      {L"DisplayName", displayName},
      {L"EnableOnInstall", enable},
      {L"IVersion", L"#3"},
      {L"Company", L"Zorvane, Inc."},
      {L"Path", zrtest::ExecutableFolder() + L"ZrRemoteControl.dll"},
      {L"Index", L"#" + std::to_wstring(index)},
      {L"Version", L"1.0.1"},
      {L"URL", L"www.zorvane.com"},
      {L"Copyright", L"Copyright (C) 2026 Zorvane, Inc. All rights reserved."},
      {L"Description", L"Zorvane main remote control plug-ins."},
  };
}

const struct {
  const wchar_t* key;
  int index;
  const wchar_t* displayName;
  const wchar_t* enableOnInstall;
} kPlugins[] = {
    {L"MCE", 0, L"Microsoft MCE", L"1"},
    {L"Raw Input", 1, L"Remote, keyboard, gamepad or other HID", L"0"},
    {L"IRMAN", 2, L"IRMAN", L"0"},
    {L"USB-UUIRT", 3, L"USB-UUIRT", L"0"},
};

void ExpectRegistered() {
  for (const auto& p : kPlugins)
    EXPECT_EQ(Values(p.key), Expected(p.index, p.displayName, p.enableOnInstall)) << "key " << p.key;
}

TEST(ZrRegsvr32, RegisterWritesFourKeysAgainAndAgainAndUnregisterRemovesOnlyThem) {
  // A value left by an older version, and another vendor's plug-in beside ours.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kPluginsKey) + L"\\IRMAN").c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD one = 1;
  RegSetValueExW(key, L"Stale", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  RegCloseKey(key);
  const std::wstring other = std::wstring(kPluginsKey) + L"\\Other Vendor";
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, other.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(Regsvr32(L"/s"), L"exit 0");
  ExpectRegistered();
  ASSERT_EQ(Regsvr32(L"/s"), L"exit 0");
  ExpectRegistered();

  ASSERT_EQ(Regsvr32(L"/u /s"), L"exit 0");
  for (const auto& p : kPlugins) EXPECT_FALSE(KeyExists(std::wstring(kPluginsKey) + L"\\" + p.key)) << p.key;
  EXPECT_TRUE(KeyExists(kPluginsKey));
  EXPECT_TRUE(KeyExists(other));
  RegDeleteTreeW(HKEY_CURRENT_USER, other.c_str());
}

}  // namespace
