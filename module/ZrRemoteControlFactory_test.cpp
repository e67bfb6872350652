#include "module/ZrRemoteControlFactory.h"

#include <gtest/gtest.h>

#include <climits>

#include "mce/CMCERemote.h"
#include "foundation/win/testsupport/ZrFakeTools.h"
#include "plugin/testsupport/ZrRecordingHost.h"
#include "rawinput/CRawInput.h"
#include "serial/CIRMAN.h"
#include "uuirt/CUuirt.h"

namespace {

using zrtest::Info;

// Owns a plug-in the way a host does: destroyed through slot 0.
struct Created {
  explicit Created(int type, IZrRemoteControlHost* host) : plugin(ZrCreateRemoteControl(type, host)) {}
  ~Created() {
    if (plugin) plugin->DeletingDestructor(IZrRemoteControl::kFreeMemory);
  }
  IZrRemoteControl* plugin;
};

TEST(ZrRemoteControlFactory, OnlyTheFourTypesExist) {
  for (int type : {4, 5, -1, INT_MIN, INT_MAX}) EXPECT_EQ(Created(type, nullptr).plugin, nullptr) << type;
}

TEST(ZrRemoteControlFactory, EachTypeIsItsPluginWithTheHostKeptAndUntouched) {
  zrtest::RecordingHost host;
  Created mce(0, &host), raw(1, &host), irman(2, &host), uuirt(3, &host);
  EXPECT_NE(dynamic_cast<CMCERemote*>(mce.plugin), nullptr);
  EXPECT_NE(dynamic_cast<CRawInput*>(raw.plugin), nullptr);
  EXPECT_NE(dynamic_cast<CIRMAN*>(irman.plugin), nullptr);
  EXPECT_NE(dynamic_cast<CUuirt*>(uuirt.plugin), nullptr);
  for (IZrRemoteControl* plugin : {mce.plugin, raw.plugin, irman.plugin, uuirt.plugin})
    EXPECT_EQ(static_cast<ZrRemoteControlBase*>(plugin)->Host(), &host);
  EXPECT_EQ(host.CodeCount(), 0u);
  EXPECT_TRUE(host.ValuesAsked().empty());
}

TEST(ZrRemoteControlFactory, TheRawInputPluginHasItsWindowFromTheStart) {
  Created raw(1, nullptr);
  auto* plugin = dynamic_cast<CRawInput*>(raw.plugin);
  ASSERT_NE(plugin, nullptr);
  EXPECT_TRUE(plugin->HasWindow());
  EXPECT_EQ(plugin->GetOwnerThreadId(), GetCurrentThreadId());
  EXPECT_EQ(ZrCmdTarget::FromWindow(plugin->GetTargetWindow()), static_cast<ZrCmdTarget*>(plugin));
}

TEST(ZrRemoteControlFactory, TheRawInputDisplayNameIsTranslated) {
  zrtest::FakeTools tools;
  tools.AddTranslation(u"Remote, keyboard, gamepad or other HID", u"Fernbedienung, Tastatur oder Gamepad");
  zrtest::ToolsScope scope(tools);
  Created raw(1, nullptr), mce(0, nullptr);
  EXPECT_EQ(Info(*raw.plugin, L"Display Name"), L"Fernbedienung, Tastatur oder Gamepad");
  EXPECT_EQ(Info(*raw.plugin, L"Name"), L"Raw Input");
  EXPECT_EQ(Info(*mce.plugin, L"Display Name"), L"Microsoft MCE");
}

TEST(ZrRemoteControlFactory, RawInputTakesNoSharedSetting) {
  Created raw(1, nullptr);
  EXPECT_FALSE(raw.plugin->SetInfo(L"system shutdown", L"1"));
  EXPECT_FALSE(raw.plugin->SetInfo(L"System Shutdown", nullptr));
  EXPECT_FALSE(static_cast<ZrRemoteControlBase*>(raw.plugin)->IsSystemShutdown());
}

// The raw-input plug-ins start without a device of their own (the host registers their
// collections) and leave no error.
TEST(ZrRemoteControlFactory, RawInputPluginsStartWithoutError) {
  for (int type : {0, 1}) {
    Created created(type, nullptr);
    EXPECT_TRUE(created.plugin->Start(true)) << type;
    EXPECT_EQ(Info(*created.plugin, L"Last Error"), L"") << type;
    EXPECT_TRUE(created.plugin->Stop()) << type;
  }
}

}  // namespace
