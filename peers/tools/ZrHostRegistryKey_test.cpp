#include "peers/tools/ZrHostRegistryKey.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Keys of this test process only, removed when the test ends.
class ZrHostRegistryKeyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    const std::wstring path = L"Software\\Zorvane\\ZrToolsTest-" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  }

  IZrHostRegistryKey* Open(const wchar_t* path, int flags) { return ZrHostRegistryKey::Open(root, path, flags); }

  const ZrString root =
      ZrString(ZrU((L"Software\\Zorvane\\ZrToolsTest-" + std::to_wstring(GetCurrentProcessId()) + L"\\").c_str()));
};

std::wstring String(IZrHostRegistryKey* key, const wchar_t* name) {
  BSTR value = nullptr;
  if (!key->GetString(name, &value)) return L"(none)";
  std::wstring text(value, SysStringLen(value));
  SysFreeString(value);
  return text;
}

TEST_F(ZrHostRegistryKeyTest, FlagOneCreatesAndFlagZeroOnlyOpens) {
  EXPECT_EQ(Open(L"Plugins\\RemoteControl\\MCE", 0), nullptr);
  IZrHostRegistryKey* created = Open(L"Plugins\\RemoteControl\\MCE", 1);
  ASSERT_NE(created, nullptr);
  created->Close();
  IZrHostRegistryKey* opened = Open(L"Plugins\\RemoteControl\\MCE", 0);
  ASSERT_NE(opened, nullptr);
  opened->Close();
  EXPECT_EQ(Open(nullptr, 1), nullptr);
}

TEST_F(ZrHostRegistryKeyTest, ValuesAreWrittenAndReadBack) {
  IZrHostRegistryKey* key = Open(L"Values", 1);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->SetInt(L"IVersion", 3, 0, 0));
  EXPECT_TRUE(key->SetInt(L"Negative", -2, 0, 0));
  EXPECT_TRUE(key->SetString(L"DisplayName", L"Microsoft MCE", 0, L"", 0));
  EXPECT_TRUE(key->SetString(L"Empty", L"", 0, L"", 0));
  int value = 0;
  EXPECT_TRUE(key->GetInt(L"IVersion", &value));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(key->GetInt(L"Negative", &value));
  EXPECT_EQ(value, -2);
  EXPECT_FALSE(key->GetInt(L"DisplayName", &value)) << "a string is not an integer";
  EXPECT_EQ(String(key, L"DisplayName"), L"Microsoft MCE");
  EXPECT_EQ(String(key, L"Empty"), L"");
  EXPECT_EQ(String(key, L"Missing"), L"(none)");
  EXPECT_TRUE(key->ValueExists(L"Empty"));
  EXPECT_TRUE(key->DeleteValue(L"Empty"));
  EXPECT_FALSE(key->ValueExists(L"Empty"));
  key->Close();
}

TEST_F(ZrHostRegistryKeyTest, RemoveAllValuesKeepsSubkeys) {
  IZrHostRegistryKey* key = Open(L"Plugin", 1);
  ASSERT_NE(key, nullptr);
  for (const wchar_t* name : {L"A", L"B", L"Stale", L""}) key->SetInt(name, 1, 0, 0);
  Open(L"Plugin\\Child", 1)->Close();
  EXPECT_TRUE(key->RemoveAllValues());
  for (const wchar_t* name : {L"A", L"B", L"Stale", L""}) EXPECT_FALSE(key->ValueExists(name)) << name;
  EXPECT_TRUE(key->SubkeyExists(L"Child"));
  EXPECT_TRUE(key->RemoveAllValues()) << "a key without values";
  key->Close();
}

TEST_F(ZrHostRegistryKeyTest, RemoveSubkeyTakesEverythingBelowItAndRefusesAnEmptyName) {
  Open(L"Plugins\\RemoteControl\\IRMAN\\Deeper", 1)->Close();
  Open(L"Plugins\\RemoteControl\\MCE", 1)->Close();
  IZrHostRegistryKey* parent = Open(L"Plugins\\RemoteControl", 0);
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent->GetSubkeyCount(), 2);
  EXPECT_FALSE(parent->RemoveSubkey(L"", 0));
  EXPECT_FALSE(parent->RemoveSubkey(nullptr, 0));
  EXPECT_EQ(parent->GetSubkeyCount(), 2);
  EXPECT_TRUE(parent->RemoveSubkey(L"IRMAN", 0));
  EXPECT_FALSE(parent->RemoveSubkey(L"IRMAN", 0)) << "already gone";
  EXPECT_EQ(parent->GetSubkeyCount(), 1);
  BSTR name = nullptr;
  EXPECT_TRUE(parent->GetSubkeyName(0, &name));
  EXPECT_EQ(std::wstring(name), L"MCE");
  EXPECT_FALSE(parent->GetSubkeyName(1, &name));
  SysFreeString(name);
  parent->Close();
}

}  // namespace
