#include "foundation/win/ZrRunProgram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrFakeTools.h"

namespace {

std::vector<std::u16string> Traced(zrtest::FakeTools& tools) {
  std::vector<std::u16string> lines;
  for (const zrtest::LogLine& line : tools.Lines())
    if (line.scope == "RunProgram") lines.push_back(line.text);
  return lines;
}

TEST(ZrRunProgram, AnEmptyPathStartsNothing) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  EXPECT_FALSE(ZrRunProgram(ZrString(), IDLE_PRIORITY_CLASS));
  const std::vector<std::u16string> lines = Traced(tools);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], u"Start");
  EXPECT_EQ(lines[1].rfind(u"Finish (", 0), 0u);
}

// A program that is not there: the shell's answer (an instance value below 33) is traced.
TEST(ZrRunProgram, AMissingProgramIsTracedAsAFailure) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  EXPECT_FALSE(ZrRunProgram(ZrString(u"C:\\no such folder zr\\ehtray.exe"), IDLE_PRIORITY_CLASS));
  const std::vector<std::u16string> lines = Traced(tools);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], u"Filename: C:\\no such folder zr\\ehtray.exe / Parameters: ");
  EXPECT_EQ(lines[2], u"Performing ShellExecute...");
  EXPECT_EQ(lines[3].rfind(u"Failed to start (error ", 0), 0u) << ZrString(lines[3]).ToUtf8();
  EXPECT_NE(lines[3], u"Failed to start (error 0)");
}

}  // namespace
