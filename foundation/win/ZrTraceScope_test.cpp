#include "foundation/win/ZrTraceScope.h"

#include <gtest/gtest.h>

#include "foundation/win/testsupport/ZrFakeTools.h"

namespace {

TEST(ZrTraceScope, WritesStartAndFinishWithTheElapsedTime) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  {
    ZrTraceScope trace("ZrTest::Run", 2048);
    EXPECT_EQ(trace.Result(), ZrTraceScope::kNoResult);
    EXPECT_EQ(static_cast<uint32_t>(trace.Result()), 0x8a33f231u);
    Sleep(20);
  }
  const auto lines = tools.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].level, 2048);
  EXPECT_EQ(lines[0].scope, "ZrTest::Run");
  EXPECT_EQ(lines[0].text, u"Start");
  EXPECT_EQ(lines[1].scope, "ZrTest::Run");
  const std::u16string& finish = lines[1].text;
  ASSERT_EQ(finish.rfind(u"Finish (", 0), 0u) << ZrString(finish).ToUtf8();
  ASSERT_GT(finish.size(), 12u);
  EXPECT_EQ(finish.substr(finish.size() - 4), u" ms)");
  const int ms = std::stoi(ZrString(finish.substr(8)).ToUtf8());
  EXPECT_GE(ms, 19);
}

TEST(ZrTraceScope, ARecordedResultIsWrittenBeforeTheTime) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  { ZrTraceScope trace("RunProgram"); trace.SetResult(-5); }
  const auto lines = tools.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].level, 1);
  EXPECT_EQ(lines[1].text.rfind(u"Finish (result: -5) (", 0), 0u) << ZrString(lines[1].text).ToUtf8();
}

}  // namespace
