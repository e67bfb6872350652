#include "module/ZrToolsLibrary.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::u16string> Candidates(const char16_t* directory, const char16_t* name) {
  const ZrStringArray found = ZrToolsLibraryCandidates(ZrString(directory), ZrString(name));
  std::vector<std::u16string> out;
  for (int i = 0; i < found.GetCount(); ++i) out.emplace_back(found[i].View());
  return out;
}

TEST(ZrToolsLibrary, LooksInTheInstallDirectoryThenItsX64Folder) {
  const struct {
    const char16_t* directory;
    const char16_t* name;
    std::vector<std::u16string> expected;
  } cases[] = {
      {u"C:\\Program Files\\Stagecore\\", u"ZrTools.dll",
       {u"C:\\Program Files\\Stagecore\\ZrTools.dll", u"C:\\Program Files\\Stagecore\\x64\\ZrTools.dll"}},
      {u"C:\\Stagecore", u"ZrTools.dll", {u"C:\\Stagecore\\ZrTools.dll", u"C:\\Stagecore\\x64\\ZrTools.dll"}},
      // No install directory: the system's own search for the bare name, never a relative folder.
      {u"", u"ZrTools.dll", {u"ZrTools.dll"}},
      // A name that is a path already is taken as it is.
      {u"C:\\Stagecore\\", u"D:\\Tools\\ZrTools.dll", {u"D:\\Tools\\ZrTools.dll"}},
      {u"C:\\Stagecore\\", u"\\\\server\\share\\ZrTools.dll", {u"\\\\server\\share\\ZrTools.dll"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Candidates(c.directory, c.name), c.expected);
}

}  // namespace
