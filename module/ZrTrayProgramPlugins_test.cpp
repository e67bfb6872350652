// The tray program seen through the plug-ins a host creates: both raw-input plug-ins of one module
// keep it ended until the last of them stops.
#include <gtest/gtest.h>

#include "module/ZrRemoteControlFactory.h"
#include "plugin/testsupport/ZrTrayProgram.h"

namespace {

using zrtest::TrayProcesses;
using zrtest::TrayProgramTest;
using zrtest::WaitForTrayCount;

constexpr int kMce = 0;
constexpr int kRawInput = 1;

// Owns a plug-in the way a host does: destroyed through slot 0.
struct Created {
  explicit Created(int type) : plugin(ZrCreateRemoteControl(type, nullptr)) {}
  ~Created() {
    if (plugin) plugin->DeletingDestructor(IZrRemoteControl::kFreeMemory);
  }
  IZrRemoteControl* plugin;
};

// One plug-in alone: Start ends the program (a second Start changes nothing), Stop starts it again.
TEST_F(TrayProgramTest, EachPluginAloneEndsItAtStartAndRestartsItOnceAtStop) {
  for (int type : {kMce, kRawInput}) {
    zrtest::Process tray;
    ASSERT_TRUE(StartTray(tray));
    ASSERT_TRUE(WaitForTrayCount(1));
    Created plugin(type);
    ASSERT_TRUE(plugin.plugin->Start(false)) << type;
    EXPECT_EQ(ExitCodeAfterEnd(tray), 1u) << type;
    ASSERT_TRUE(plugin.plugin->Start(true)) << type;
    EXPECT_TRUE(TrayProcesses().empty()) << type;
    ASSERT_TRUE(plugin.plugin->Stop()) << type;
    EXPECT_TRUE(WaitForTrayCount(1)) << type;
    ASSERT_TRUE(plugin.plugin->Stop()) << type;
    EXPECT_EQ(TrayProcesses().size(), 1u) << "a second Stop started it again, type " << type;
    for (DWORD id : TrayProcesses()) Kill(id);
    ASSERT_TRUE(WaitForTrayCount(0));
  }
}

TEST_F(TrayProgramTest, MceAndRawInputTogetherRestartItOnceAfterTheSecondStops) {
  zrtest::Process tray;
  ASSERT_TRUE(StartTray(tray));
  ASSERT_TRUE(WaitForTrayCount(1));
  Created mce(kMce), rawInput(kRawInput);
  ASSERT_TRUE(mce.plugin->Start(false));
  EXPECT_EQ(ExitCodeAfterEnd(tray), 1u);
  ASSERT_TRUE(rawInput.plugin->Start(false));
  ASSERT_TRUE(mce.plugin->Stop());
  EXPECT_TRUE(TrayProcesses().empty()) << "started again while the raw-input plug-in still listens";
  ASSERT_TRUE(rawInput.plugin->Stop());
  EXPECT_TRUE(WaitForTrayCount(1));
  EXPECT_EQ(TrayProcesses().size(), 1u);
}

// A plug-in destroyed while started restarts it as Stop would.
TEST_F(TrayProgramTest, DestroyingAStartedPluginRestartsIt) {
  zrtest::Process tray;
  ASSERT_TRUE(StartTray(tray));
  ASSERT_TRUE(WaitForTrayCount(1));
  {
    Created rawInput(kRawInput);
    ASSERT_TRUE(rawInput.plugin->Start(false));
    EXPECT_EQ(ExitCodeAfterEnd(tray), 1u);
  }
  EXPECT_TRUE(WaitForTrayCount(1));
}

}  // namespace
