#include "peers/tools/ZrToolsObject.h"

#include <gtest/gtest.h>

#include "peers/tools/ZrToolsProductInfo.h"

namespace {

TEST(ZrToolsObject, TheMessageManagerLivesFromTheFirstInitialiseToTheLastShutdown) {
  ZrToolsObject tools(ZrString(u"Software\\Zorvane\\ZrToolsObjectTest\\"), ZrString(), ZrString());
  EXPECT_EQ(tools.GetMainThreadMessageManager(0), nullptr);
  EXPECT_TRUE(tools.Initialise(nullptr, nullptr));
  EXPECT_TRUE(tools.Initialise(nullptr, nullptr));
  EXPECT_EQ(tools.Clients(), 2);
  EXPECT_NE(tools.GetMainThreadMessageManager(0), nullptr);
  EXPECT_EQ(tools.GetMainThreadMessageManager(1), tools.GetMainThreadMessageManager(0));
  tools.Shutdown(true);
  EXPECT_NE(tools.GetMainThreadMessageManager(1), nullptr);
  tools.Shutdown(true);
  EXPECT_EQ(tools.GetMainThreadMessageManager(1), nullptr);
  tools.Shutdown(true);
  EXPECT_EQ(tools.Clients(), 0);
}

TEST(ZrToolsObject, ProductInformationIsLoadedOncePerProcess) {
  ZrToolsObject tools(ZrString(u"Software\\Zorvane\\ZrToolsObjectTest\\"), ZrString(), ZrString());
  tools.Initialise(nullptr, nullptr);
  EXPECT_FALSE(tools.IsProductInfoLoaded());
  BSTR error = SysAllocString(L"");
  EXPECT_TRUE(tools.GetProductInfo(1)->Load(L"", &error));
  SysFreeString(error);
  tools.ProductInfoLoaded(0);
  EXPECT_TRUE(tools.IsProductInfoLoaded());
  tools.Shutdown(true);
  EXPECT_FALSE(tools.IsProductInfoLoaded());
}

TEST(ZrToolsProductInfo, FailsWithTheTextOfTheEnvironment) {
  const struct {
    const wchar_t* variable;
    bool loads;
    const wchar_t* error;
  } cases[] = {{nullptr, true, L""}, {L"Licence expired", false, L"Licence expired"}, {L"(empty)", false, L""}};
  for (const auto& c : cases) {
    SetEnvironmentVariableW(ZrToolsProductInfo::kFailureVariable, c.variable);
    ZrToolsProductInfo info;
    BSTR error = SysAllocString(L"before");
    EXPECT_EQ(info.Load(L"", &error), c.loads);
    EXPECT_EQ(std::wstring(error), c.loads ? L"before" : c.error);
    SysFreeString(error);
    EXPECT_EQ(info.Load(L"", nullptr), c.loads);
  }
  SetEnvironmentVariableW(ZrToolsProductInfo::kFailureVariable, nullptr);
}

// The library as a module reaches it: by its export, asked for the interface version.
TEST(ZrToolsDll, AnswersOnlyTheInterfaceVersionItImplements) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  wcscpy(wcsrchr(path, L'\\') + 1, L"ZrTools.dll");
  HMODULE library = LoadLibraryW(path);
  ASSERT_NE(library, nullptr) << "ZrTools.dll beside the test";
  auto get = reinterpret_cast<ZrGetToolsProc>(reinterpret_cast<void*>(GetProcAddress(library, "GetZrToolsDLL")));
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get(200047), nullptr);
  EXPECT_EQ(get(0), nullptr);
  IZrTools* tools = get(200048);
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(get(200048), tools) << "one object per process";
  EXPECT_NE(tools->GetLogger(0), nullptr);
  EXPECT_NE(tools->GetTranslator(1), nullptr);
  FreeLibrary(library);
}

}  // namespace
