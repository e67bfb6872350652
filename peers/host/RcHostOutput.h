#pragma once
// The reference host's output: whole lines of UTF-8 on the standard output, flushed at once so
// that codes show up as they arrive. Lines may come from any thread.

#include <string>

void RcPrintLine(const std::wstring& line);
void RcPrintErrorLine(const std::wstring& line);
