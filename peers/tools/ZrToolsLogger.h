#pragma once
// The tools library's logger: one line per call, with time, level, thread, scope and the formatted
// message, appended to a log file and sent to the debugger output. Any thread may write.

#include <mutex>

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsInterface.h"

class ZrToolsLogger final : public IZrLogger {
 public:
  // filePath: the log file, its folder created when missing; empty: debugger output only.
  explicit ZrToolsLogger(ZrString filePath);
  ~ZrToolsLogger();
  ZrToolsLogger(const ZrToolsLogger&) = delete;
  ZrToolsLogger& operator=(const ZrToolsLogger&) = delete;

  void WriteW(int level, const char* scope, const wchar_t* format, const ZrFormatArg* args, int count) override;
  void WriteA(int level, const char* scope, const char* format, const ZrFormatArg* args, int count) override;

  const ZrString& FilePath() const { return m_path; }

  // One line as it is written, "\r\n" included.
  static ZrString FormatLine(const SYSTEMTIME& time, DWORD thread, int level, const char* scope,
                             const ZrString& message);

 private:
  void Write(int level, const char* scope, const ZrString& message);

  std::mutex m_lock;
  const ZrString m_path;
  ZrFileHandle m_file;
  bool m_openFailed = false;
};
