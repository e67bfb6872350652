// rchost validate: the module's conformance checks, run on any build of the module.

#include "module/ZrConformance.h"
#include "peers/host/RcHostCommands.h"
#include "peers/host/RcHostModule.h"
#include "peers/host/RcHostOutput.h"

namespace {

// Waiting for codes and a learned code is what makes a run long; most plug-ins have no device.
constexpr int kDefaultWaitSeconds = 2;

void PrintCheck(void*, const wchar_t* line) { RcPrintLine(line); }

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(full, length) : path;
}

}  // namespace

int RcValidate(const RcHostOptions& options) {
  // The module is loaded as any host loads it, with nothing of the product family started first:
  // it must find and start its tools library by itself.
  const std::wstring path = options.module.empty() ? RcOwnFolder() + L"ZrRemoteControl.dll" : FullPath(options.module);
  const int waitMs = (options.secondsGiven ? options.seconds : kDefaultWaitSeconds) * 1000;
  ZrConformanceOptions conformance = {};
  conformance.modulePath = path.c_str();
  conformance.listenMs = waitMs;
  conformance.learnMs = waitMs;
  conformance.print = PrintCheck;
  const ZrConformanceResult result = ZrConformanceRun(&conformance);
  if (result.skipped > 0)
    RcPrintLine(L"validate: " + std::to_wstring(result.skipped) +
                L" checks skipped (they need a device or a service that is not here)");
  RcPrintLine(L"validate: " + std::to_wstring(result.passed) + L" passed, " + std::to_wstring(result.failed) +
              L" failed");
  return result.failed == 0 && result.passed > 0 ? 0 : 1;
}
