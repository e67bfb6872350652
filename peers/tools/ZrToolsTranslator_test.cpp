#include "peers/tools/ZrToolsTranslator.h"

#include <gtest/gtest.h>

#include "foundation/ZrDllString.h"

namespace {

ZrString Translated(ZrToolsTranslator& translator, const char16_t* text) {
  ZrString value(text);
  ZrDllString handle(value);
  translator.Translate(&handle);
  return value;
}

TEST(ZrToolsTranslator, ReplacesOnlyTextsOfTheTable) {
  ZrToolsTranslator translator;
  translator.LoadText(
      "\xEF\xBB\xBF# a comment line\r\n"
      "Remote, keyboard, gamepad or other HID\tFernbedienung, Tastatur, Gamepad oder anderes HID\r\n"
      "Can't open IR remote control device on any COM nPort.\\n\tKein Empf\xC3\xA4nger gefunden.\\n\n"
      "Tab\\tinside\tmit\\\\Backslash\n"
      "no tab on this line\n"
      "\n");
  EXPECT_EQ(translator.EntryCount(), 3);
  EXPECT_EQ(Translated(translator, u"Remote, keyboard, gamepad or other HID"),
            ZrString(u"Fernbedienung, Tastatur, Gamepad oder anderes HID"));
  EXPECT_EQ(Translated(translator, u"Can't open IR remote control device on any COM nPort.\n"),
            ZrString(u"Kein Empf\u00e4nger gefunden.\n"));
  EXPECT_EQ(Translated(translator, u"Tab\tinside"), ZrString(u"mit\\Backslash"));
  // Exact texts only: case and surrounding spaces count.
  EXPECT_EQ(Translated(translator, u"remote, keyboard, gamepad or other HID"),
            ZrString(u"remote, keyboard, gamepad or other HID"));
  EXPECT_EQ(Translated(translator, u"no tab on this line"), ZrString(u"no tab on this line"));
  EXPECT_EQ(Translated(translator, u""), ZrString(u""));
}

TEST(ZrToolsTranslator, WithoutATableFileEverythingStaysAsItIs) {
  ZrToolsTranslator translator;
  translator.LoadText("Old\tNew\n");
  EXPECT_FALSE(translator.LoadFile(ZrString(u"C:\\no such folder\\Translations.txt")));
  EXPECT_EQ(translator.EntryCount(), 0);
  EXPECT_EQ(Translated(translator, u"Old"), ZrString(u"Old"));
  translator.Translate(nullptr);
}

TEST(ZrToolsTranslator, ReadsTheTableFromItsFile) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"zr-translations-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char table[] = "IRMAN\tInfrarot\n";
  DWORD written = 0;
  WriteFile(file, table, sizeof table - 1, &written, nullptr);
  CloseHandle(file);

  ZrToolsTranslator translator;
  EXPECT_TRUE(translator.LoadFile(ZrString(ZrU(path.c_str()))));
  EXPECT_EQ(Translated(translator, u"IRMAN"), ZrString(u"Infrarot"));
  DeleteFileW(path.c_str());
}

}  // namespace
