#include "module/ZrApp.h"

#include <gtest/gtest.h>

#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrMessageBoxWatcher.h"

namespace {

// Counts the start-up and shutdown calls and answers start-up as told.
class CountingApp final : public ZrDllApp {
 public:
  bool InitInstance() override {
    ++inits;
    return initResult;
  }
  bool ExitInstance() override {
    ++exits;
    return true;
  }
  int inits = 0;
  int exits = 0;
  bool initResult = true;
};

// The real start-up, with a stand-in tools library installed.
class ProductInfoApp final : public ZrDllApp {
 public:
  using ZrDllApp::LoadProductInfo;
};

HINSTANCE Self() { return GetModuleHandleW(nullptr); }

TEST(ZrApp, OnlyTheFirstAttachStartsAndOnlyTheLastDetachStops) {
  CountingApp app;
  EXPECT_EQ(ZrGetApp(), &app);
  EXPECT_EQ(app.AttachCount(), 0);
  EXPECT_TRUE(app.OnDllMain(Self(), DLL_PROCESS_ATTACH, nullptr));
  EXPECT_TRUE(app.OnDllMain(Self(), DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(app.inits, 1);
  EXPECT_EQ(app.AttachCount(), 2);
  EXPECT_EQ(app.Instance(), Self());
  EXPECT_EQ(ZrGetModuleInstance(), Self());

  EXPECT_TRUE(app.OnDllMain(Self(), DLL_THREAD_ATTACH, nullptr));
  EXPECT_TRUE(app.OnDllMain(Self(), DLL_THREAD_DETACH, nullptr));
  EXPECT_EQ(app.AttachCount(), 2);

  EXPECT_TRUE(app.OnDllMain(Self(), DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ(app.exits, 0);
  EXPECT_TRUE(app.OnDllMain(Self(), DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ(app.exits, 1);
  EXPECT_EQ(app.AttachCount(), 0);
  EXPECT_FALSE(app.ProcessTerminating());
}

TEST(ZrApp, AFailedStartUpShutsDownAndRefusesTheLoad) {
  CountingApp app;
  app.initResult = false;
  EXPECT_FALSE(app.OnDllMain(Self(), DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(app.inits, 1);
  EXPECT_EQ(app.exits, 1);
}

TEST(ZrApp, ADetachAtProcessExitIsTold) {
  CountingApp app;
  int reserved = 0;
  EXPECT_TRUE(app.OnDllMain(Self(), DLL_PROCESS_ATTACH, nullptr));
  EXPECT_TRUE(app.OnDllMain(Self(), DLL_PROCESS_DETACH, &reserved));
  EXPECT_TRUE(app.ProcessTerminating());
}

TEST(ZrApp, TheLastAppMadeIsTheModulesAppUntilItEnds) {
  auto* first = new CountingApp;
  EXPECT_EQ(ZrGetApp(), first);
  delete first;
  EXPECT_EQ(ZrGetApp(), nullptr);
}

TEST(ZrDllApp, ProductInformationLoadedByAnotherModuleIsNotLoadedAgain) {
  zrtest::FakeTools tools;
  tools.SetProductInfoLoaded(true);
  zrtest::ToolsScope scope(tools);
  ProductInfoApp app;
  EXPECT_TRUE(app.LoadProductInfo());
  EXPECT_EQ(tools.GetProductInfoCalls(), 0);
  EXPECT_EQ(tools.LoadCalls(), 0);
  EXPECT_EQ(tools.ProductInfoLoadedCalls(), 0);
}

TEST(ZrDllApp, LoadedProductInformationIsReportedToTheLibrary) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  ProductInfoApp app;
  EXPECT_TRUE(app.LoadProductInfo());
  EXPECT_EQ(tools.LoadCalls(), 1);
  EXPECT_EQ(tools.ProductInfoLoadedCalls(), 1);
}

TEST(ZrDllApp, FailedProductInformationShowsTheCriticalErrorAndFails) {
  const ZrString path = ZrGetModuleFileName(ZrGetModuleInstance());
  const struct {
    const wchar_t* reported;
    const wchar_t* shown;
  } cases[] = {
      {L"Licence expired", L"Licence expired"},
      {L"", L"Unknown error loading product information"},
  };
  for (const auto& c : cases) {
    zrtest::FakeTools tools;
    tools.SetProductInfoError(c.reported);
    zrtest::ToolsScope scope(tools);
    ProductInfoApp app;
    zrtest::MessageBoxWatcher watcher(L"Critical Error");
    EXPECT_FALSE(app.LoadProductInfo());
    ASSERT_TRUE(watcher.Finish()) << "no \"Critical Error\" box appeared";
    EXPECT_EQ(watcher.Text(), L"The following module has failed to load:\r\n" + std::wstring(ZrW(path.c_str())) +
                                  L"\r\n\r\nIt has reported the following error:\r\n\r\n" + c.shown +
                                  L"\r\n\r\nPlease reinstall the latest version of the program.");
    EXPECT_EQ(tools.ProductInfoLoadedCalls(), 0);
  }
}

}  // namespace
