#include "module/ZrRegistration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/testsupport/ZrFakeTools.h"

namespace {

struct Plugin {
  int index;
  std::wstring name;
  std::wstring displayName;
  std::wstring enableOnInstall;
};

const Plugin kPlugins[] = {
    {0, L"MCE", L"Microsoft MCE", L"1"},
    {1, L"Raw Input", L"Remote, keyboard, gamepad or other HID", L"0"},
    {2, L"IRMAN", L"IRMAN", L"0"},
    {3, L"USB-UUIRT", L"USB-UUIRT", L"0"},
};

std::vector<std::wstring> RegisterCalls(const Plugin& p) {
  const std::wstring path = ZrW(ZrGetModuleFileName(ZrGetModuleInstance()).c_str());
  return {
      L"Open Plugins\\RemoteControl\\" + p.name + L" 1",
      L"RemoveAllValues",
      L"SetString DisplayName=" + p.displayName,
      L"SetString EnableOnInstall=" + p.enableOnInstall,
      L"SetInt IVersion=3",
      L"SetString Company=Zorvane, Inc.",
      L"SetString Path=" + path,
      L"SetInt Index=" + std::to_wstring(p.index),
      L"SetString Version=1.0.1",
      L"SetString URL=www.zorvane.com",
      L"SetString Copyright=Copyright (C) 2026 Zorvane, Inc. All rights reserved.",
      L"SetString Description=Zorvane main remote control plug-ins.",
      L"Close",
  };
}

std::vector<std::wstring> UnregisterCalls(const Plugin& p) {
  return {
      L"Open Plugins\\RemoteControl 1", L"RemoveSubkey " + p.name, L"Close",
      L"Open Plugins\\RemoteControl 0", L"RemoveSubkey " + p.name, L"Close",
  };
}

void ExpectCalls(const std::vector<std::wstring>& got, const std::vector<std::wstring>& expected) {
  for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i)
    EXPECT_EQ(i < got.size() ? got[i] : L"(missing)", i < expected.size() ? expected[i] : L"(extra)")
        << "call " << i;
}

TEST(ZrRegistration, RegisterWritesEveryPluginsValuesInOrder) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  ZrRegisterPlugins(true);
  std::vector<std::wstring> expected;
  for (const Plugin& p : kPlugins) {
    auto calls = RegisterCalls(p);
    expected.insert(expected.end(), calls.begin(), calls.end());
  }
  ExpectCalls(tools.RegistryCalls(), expected);
}

TEST(ZrRegistration, UnregisterRemovesEachKeyTwiceAndKeepsTheParent) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  ZrRegisterPlugins(false);
  std::vector<std::wstring> expected;
  for (const Plugin& p : kPlugins) {
    auto calls = UnregisterCalls(p);
    expected.insert(expected.end(), calls.begin(), calls.end());
  }
  ExpectCalls(tools.RegistryCalls(), expected);
}

TEST(ZrRegistration, AKeyThatCannotBeOpenedSkipsOnlyThatPlugin) {
  zrtest::FakeTools tools;
  tools.RefuseKey(L"Plugins\\RemoteControl\\Raw Input");
  zrtest::ToolsScope scope(tools);
  ZrRegisterPlugins(true);
  std::vector<std::wstring> expected;
  for (const Plugin& p : kPlugins) {
    auto calls = RegisterCalls(p);
    if (p.index == 1) calls.resize(1);
    expected.insert(expected.end(), calls.begin(), calls.end());
  }
  ExpectCalls(tools.RegistryCalls(), expected);
}

TEST(ZrRegistration, TranslatedDisplayNamesAreRegistered) {
  zrtest::FakeTools tools;
  tools.AddTranslation(u"Remote, keyboard, gamepad or other HID", u"HID-Geraet");
  zrtest::ToolsScope scope(tools);
  ZrRegisterPlugins(true);
  const auto calls = tools.RegistryCalls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), L"SetString DisplayName=HID-Geraet"), calls.end());
}

TEST(ZrRegistration, WithoutTheToolsLibraryNothingHappens) {
  ZrSetTools(nullptr);
  ZrRegisterPlugins(true);
  ZrRegisterPlugins(false);
}

}  // namespace
