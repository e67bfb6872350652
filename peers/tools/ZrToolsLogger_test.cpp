#include "peers/tools/ZrToolsLogger.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  static int counter = 0;
  return std::wstring(folder) + L"zr-logger-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++counter) + L"\\";
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(missing)";
  std::string bytes(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "(no line end)");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void RemoveFolder(const std::wstring& folder, const std::wstring& file) {
  DeleteFileW((folder + file).c_str());
  RemoveDirectoryW((folder + L"sub\\").c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(ZrToolsLogger, ALineHasTimeLevelThreadScopeAndMessage) {
  SYSTEMTIME time = {};
  time.wYear = 2026;
  time.wMonth = 3;
  time.wDay = 7;
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 4;
  time.wMilliseconds = 21;
  EXPECT_EQ(ZrToolsLogger::FormatLine(time, 0x1c, 2048, "CUuirt::Thread", ZrString(u"Code learned")),
            ZrString(u"2026-03-07 09:05:04.021 [2048] [thread 28] CUuirt::Thread: Code learned\r\n"));
  EXPECT_EQ(ZrToolsLogger::FormatLine(time, 1, 1, nullptr, ZrString()),
            ZrString(u"2026-03-07 09:05:04.021 [1] [thread 1] : \r\n"));
}

TEST(ZrToolsLogger, WideAndNarrowFormatsAppendFormattedLines) {
  const std::wstring folder = TempFolder();
  const std::wstring path = folder + L"sub\\ZrTools.log";
  {
    ZrToolsLogger logger(ZrString(ZrU(path.c_str())));
    const ZrString name(u"COM3");
    const ZrFormatArg wide[] = {ZrFormatArg(name), ZrFormatArg(42)};
    logger.WriteW(1, "ZrSerialComm::Open", L"Port %s answered %d", wide, 2);
    const ZrFormatArg narrow[] = {ZrFormatArg("caf\xC3\xA9"), ZrFormatArg(2.5)};
    logger.WriteA(2048, "CUuirt::IRLearnCallback", "user data %s, %.1f", narrow, 2);
    logger.WriteW(1, "Null::Format", nullptr, nullptr, 0);
  }
  // A second logger on the same file appends after the first one's lines.
  {
    ZrToolsLogger again(ZrString(ZrU(path.c_str())));
    again.WriteW(3, "Again", L"third", nullptr, 0);
  }
  const std::vector<std::string> lines = Lines(ReadWholeFile(path));
  ASSERT_EQ(lines.size(), 4u) << ReadWholeFile(path);
  const std::string thread = std::to_string(GetCurrentThreadId());
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(stamp + R"(\[1\] \[thread )" + thread +
                                                    R"(\] ZrSerialComm::Open: Port COM3 answered 42)")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + R"(\[2048\] \[thread \d+\] CUuirt::IRLearnCallback: )"
                                                            "user data caf\xC3\xA9, 2.5")))
      << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(stamp + R"(\[1\] \[thread \d+\] Null::Format: \(null\))")))
      << lines[2];
  EXPECT_TRUE(std::regex_match(lines[3], std::regex(stamp + R"(\[3\] \[thread \d+\] Again: third)"))) << lines[3];
  RemoveFolder(folder, L"sub\\ZrTools.log");
}

TEST(ZrToolsLogger, LinesFromManyThreadsStayWhole) {
  const std::wstring folder = TempFolder();
  const std::wstring path = folder + L"ZrTools.log";
  {
    ZrToolsLogger logger(ZrString(ZrU(path.c_str())));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < 50; ++i) {
          const ZrFormatArg args[] = {ZrFormatArg(t), ZrFormatArg(i)};
          logger.WriteW(1, "Worker", L"thread %d line %d of a longer text to interleave", args, 2);
        }
      });
    for (auto& t : threads) t.join();
  }
  const std::vector<std::string> lines = Lines(ReadWholeFile(path));
  ASSERT_EQ(lines.size(), 200u);
  for (const std::string& line : lines)
    EXPECT_TRUE(std::regex_search(line, std::regex(R"(Worker: thread \d line \d+ of a longer text to interleave$)")))
        << line;
  DeleteFileW(path.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
