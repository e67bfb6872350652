/*
 * The module as a host built with another compiler sees it, run on the DLL beside this program.
 * The checks are the ones `rchost validate` makes; here no device is present, so a plug-in that
 * starts is stopped again at once and no learn is asked for.
 */
#include <stdio.h>

#include "foundation/win/ZrWindows.h"
#include "module/ZrConformance.h"

static void PrintLine(void* context, const wchar_t* line) {
  char bytes[4096];
  int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes, NULL, NULL);
  (void)context;
  if (size > 0) printf("%s\n", bytes);
}

int main(void) {
  wchar_t path[MAX_PATH];
  wchar_t* slash;
  ZrConformanceOptions options = {0};
  ZrConformanceResult result;

  GetModuleFileNameW(NULL, path, MAX_PATH);
  slash = wcsrchr(path, L'\\');
  wcscpy(slash ? slash + 1 : path, L"ZrRemoteControl.dll");
  options.modulePath = path;
  options.print = PrintLine;
  result = ZrConformanceRun(&options);
  printf("conformance: %d passed, %d failed, %d skipped\n", result.passed, result.failed, result.skipped);
  return result.failed || result.passed == 0 ? 1 : 0;
}
