#include "peers/tools/ZrToolsLogger.h"

#include <string>

#include "foundation/ZrFormat.h"

namespace {

// Creates every missing folder on the way to the file.
void CreateFoldersFor(const ZrString& filePath) {
  for (int i = 3; i < filePath.Length(); ++i) {
    if (filePath[i] != u'\\') continue;
    const ZrString folder = filePath.Left(i);
    CreateDirectoryW(ZrW(folder.c_str()), nullptr);
  }
}

}  // namespace

ZrToolsLogger::ZrToolsLogger(ZrString filePath) : m_path(std::move(filePath)) {}

ZrToolsLogger::~ZrToolsLogger() = default;

ZrString ZrToolsLogger::FormatLine(const SYSTEMTIME& time, DWORD thread, int level, const char* scope,
                                   const ZrString& message) {
  return ZrFormatV(u"%04d-%02d-%02d %02d:%02d:%02d.%03d [%d] [thread %u] %s: %s\r\n",
                   {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                    time.wMilliseconds, level, static_cast<unsigned>(thread), scope ? scope : "", message});
}

void ZrToolsLogger::WriteW(int level, const char* scope, const wchar_t* format, const ZrFormatArg* args, int count) {
  try {
    Write(level, scope, format ? ZrFormat(ZrU(format), args, count) : ZrString(u"(null)"));
  } catch (...) {
  }
}

void ZrToolsLogger::WriteA(int level, const char* scope, const char* format, const ZrFormatArg* args, int count) {
  try {
    Write(level, scope, format ? ZrFormatA(format, args, count) : ZrString(u"(null)"));
  } catch (...) {
  }
}

void ZrToolsLogger::Write(int level, const char* scope, const ZrString& message) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const ZrString line = FormatLine(now, GetCurrentThreadId(), level, scope, message);
  OutputDebugStringW(ZrW(line.c_str()));
  if (m_path.IsEmpty()) return;
  const std::string bytes = line.ToUtf8();
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_file && !m_openFailed) {
    CreateFoldersFor(m_path);
    // Appending writes land at the end even when another process writes the same file.
    m_file.reset(CreateFileW(ZrW(m_path.c_str()), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    m_openFailed = !m_file;
  }
  if (!m_file) return;
  DWORD written = 0;
  WriteFile(m_file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
