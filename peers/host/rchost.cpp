// rchost: the reference host of ZrRemoteControl.dll. See RcHostUsage() for what it does.

#include <vector>

#include "foundation/win/ZrWindows.h"
#include "peers/host/RcHostCommands.h"
#include "peers/host/RcHostOptions.h"
#include "peers/host/RcHostOutput.h"

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::wstring> arguments(argv + 1, argv + argc);
  const RcHostOptions options = RcParseOptions(arguments);
  if (!options.error.empty()) {
    RcPrintErrorLine(L"rchost: " + options.error + L" (rchost --help explains the commands)");
    return 2;
  }
  switch (options.command) {
    case RcHostOptions::Command::kList:
      return RcList(options);
    case RcHostOptions::Command::kRegister:
      return RcRegister(options, true);
    case RcHostOptions::Command::kUnregister:
      return RcRegister(options, false);
    case RcHostOptions::Command::kListen:
      return RcListen(options);
    case RcHostOptions::Command::kBlast:
      return RcBlast(options);
    case RcHostOptions::Command::kLearn:
      return RcLearn(options);
    case RcHostOptions::Command::kValidate:
      return RcValidate(options);
    case RcHostOptions::Command::kMonitor:
      return RcMonitor(options);
    case RcHostOptions::Command::kHelp:
      break;
  }
  RcPrintLine(RcHostUsage());
  return 0;
}
