#pragma once
// The tools library's translator: texts found in a translation table are replaced, every other
// text is left alone. Without a table it changes nothing.
//
// Table file: UTF-8, one entry per line, "original<TAB>translation"; "\n", "\t", "\r" and "\\"
// stand for themselves escaped; lines starting with '#' and lines without a tab are skipped.

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/ZrString.h"
#include "foundation/win/ZrToolsInterface.h"

class ZrToolsTranslator final : public IZrTranslator {
 public:
  // Replaces the table with the file's entries; a missing or unreadable file empties it.
  bool LoadFile(const ZrString& path);
  // Replaces the table with the entries of the text.
  void LoadText(std::string_view utf8);
  int EntryCount();

  void Translate(IZrDllString* text) override;

 private:
  std::mutex m_lock;
  std::unordered_map<std::u16string, std::u16string> m_table;
};
