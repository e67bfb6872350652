#include "peers/host/RcHostOutput.h"

#include <cstdio>
#include <mutex>

#include "foundation/win/ZrWindows.h"

namespace {

std::mutex g_lock;

void Print(FILE* stream, const std::wstring& line) {
  const std::wstring text = line + L"\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  std::lock_guard<std::mutex> lock(g_lock);
  fwrite(bytes.data(), 1, bytes.size(), stream);
  fflush(stream);
}

}  // namespace

void RcPrintLine(const std::wstring& line) { Print(stdout, line); }

void RcPrintErrorLine(const std::wstring& line) { Print(stderr, line); }
