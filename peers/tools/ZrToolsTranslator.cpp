#include "peers/tools/ZrToolsTranslator.h"

#include "foundation/win/ZrHandle.h"

namespace {

std::u16string Unescape(std::string_view utf8) {
  std::string plain;
  for (size_t i = 0; i < utf8.size(); ++i) {
    char c = utf8[i];
    if (c == '\\' && i + 1 < utf8.size()) {
      switch (utf8[++i]) {
        case 'n': c = '\n'; break;
        case 't': c = '\t'; break;
        case 'r': c = '\r'; break;
        case '\\': c = '\\'; break;
        default: plain += '\\'; c = utf8[i]; break;
      }
    }
    plain += c;
  }
  return std::u16string(ZrString::FromUtf8(plain).View());
}

}  // namespace

bool ZrToolsTranslator::LoadFile(const ZrString& path) {
  ZrFileHandle file(CreateFileW(ZrW(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > (16 << 20)) {
    LoadText({});
    return false;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    LoadText({});
    return false;
  }
  bytes.resize(read);
  LoadText(bytes);
  return true;
}

void ZrToolsTranslator::LoadText(std::string_view utf8) {
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  std::unordered_map<std::u16string, std::u16string> table;
  while (!utf8.empty()) {
    const size_t end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string_view::npos) continue;
    table[Unescape(line.substr(0, tab))] = Unescape(line.substr(tab + 1));
  }
  std::lock_guard<std::mutex> lock(m_lock);
  m_table.swap(table);
}

int ZrToolsTranslator::EntryCount() {
  std::lock_guard<std::mutex> lock(m_lock);
  return static_cast<int>(m_table.size());
}

void ZrToolsTranslator::Translate(IZrDllString* text) {
  if (!text) return;
  try {
    const ZrChar* chars = text->GetChars();
    if (!chars) return;
    std::u16string translation;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      auto it = m_table.find(std::u16string(chars));
      if (it == m_table.end()) return;
      translation = it->second;
    }
    text->SetChars(translation.c_str(), static_cast<int>(translation.size()));
  } catch (...) {
  }
}
