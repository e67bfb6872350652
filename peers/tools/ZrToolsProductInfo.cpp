#include "peers/tools/ZrToolsProductInfo.h"

#include <vector>

bool ZrToolsProductInfo::Load(const wchar_t*, BSTR* error) {
  const DWORD needed = GetEnvironmentVariableW(kFailureVariable, nullptr, 0);
  if (needed == 0) return true;
  std::vector<wchar_t> text(needed + 1, 0);
  GetEnvironmentVariableW(kFailureVariable, text.data(), needed + 1);
  const wchar_t* message = wcscmp(text.data(), L"(empty)") == 0 ? L"" : text.data();
  if (error) SysReAllocString(error, message);
  return false;
}
