#include "peers/host/RcHostOptions.h"

#include <cwchar>
#include <cwctype>

namespace {

bool ParseCount(const std::wstring& text, int* value) {
  if (text.empty() || text.size() > 7) return false;
  int result = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    result = result * 10 + (c - L'0');
  }
  *value = result;
  return true;
}

bool TakesPlugin(RcHostOptions::Command command) {
  return command == RcHostOptions::Command::kListen || command == RcHostOptions::Command::kBlast ||
         command == RcHostOptions::Command::kLearn;
}

}  // namespace

std::wstring RcLower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

RcHostOptions RcParseOptions(const std::vector<std::wstring>& arguments) {
  RcHostOptions options;
  bool haveCommand = false;
  auto fail = [&](std::wstring why) {
    options.error = std::move(why);
    return options;
  };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    const bool hasNext = i + 1 < arguments.size();
    if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
      options.command = RcHostOptions::Command::kHelp;
      return options;
    } else if (argument == L"--seconds") {
      if (!hasNext || !ParseCount(arguments[++i], &options.seconds)) return fail(L"--seconds needs a whole number");
      options.secondsGiven = true;
    } else if (argument == L"--start-flag") {
      if (!hasNext || (arguments[i + 1] != L"0" && arguments[i + 1] != L"1"))
        return fail(L"--start-flag needs 0 or 1");
      options.startFlag = arguments[++i] == L"1";
    } else if (argument == L"--timestamps") {
      options.timestamps = true;
    } else if (argument == L"--after-stop-ms") {
      if (!hasNext || !ParseCount(arguments[++i], &options.afterStopMs)) return fail(L"--after-stop-ms needs a whole number");
    } else if (argument == L"--foreground") {
      options.foreground = true;
    } else if (argument == L"--active-codes") {
      if (!hasNext) return fail(L"--active-codes needs a file");
      options.activeCodes = arguments[++i];
    } else if (argument == L"--value") {
      const size_t equals = hasNext ? arguments[i + 1].find(L'=') : std::wstring::npos;
      if (equals == std::wstring::npos || equals == 0) return fail(L"--value needs NAME=VALUE");
      const std::wstring& pair = arguments[++i];
      options.values[RcLower(pair.substr(0, equals))] = pair.substr(equals + 1);
    } else if (argument.rfind(L"--", 0) == 0) {
      return fail(L"unknown option " + argument);
    } else if (!haveCommand) {
      haveCommand = true;
      if (argument == L"list")
        options.command = RcHostOptions::Command::kList;
      else if (argument == L"register")
        options.command = RcHostOptions::Command::kRegister;
      else if (argument == L"unregister")
        options.command = RcHostOptions::Command::kUnregister;
      else if (argument == L"listen")
        options.command = RcHostOptions::Command::kListen;
      else if (argument == L"blast")
        options.command = RcHostOptions::Command::kBlast;
      else if (argument == L"learn")
        options.command = RcHostOptions::Command::kLearn;
      else if (argument == L"validate")
        options.command = RcHostOptions::Command::kValidate;
      else if (argument == L"monitor")
        options.command = RcHostOptions::Command::kMonitor;
      else
        return fail(L"unknown command " + argument);
    } else if (TakesPlugin(options.command) && options.plugin.empty()) {
      options.plugin = argument;
    } else if (options.command == RcHostOptions::Command::kValidate && options.module.empty()) {
      if (argument.empty()) return fail(L"validate needs a module's path, or nothing for this folder's");
      options.module = argument;
    } else if (options.command == RcHostOptions::Command::kBlast && options.code.empty()) {
      // An empty record would be indistinguishable from a missing one.
      if (argument.empty()) return fail(L"blast needs a file or an IR code text");
      options.code = argument;
    } else {
      return fail(L"unexpected argument " + argument);
    }
  }
  if (!haveCommand) return fail(L"no command given");
  if (TakesPlugin(options.command) && options.plugin.empty())
    return fail(L"this command needs a plug-in name or type number");
  if (options.command == RcHostOptions::Command::kBlast && options.code.empty())
    return fail(L"blast needs a file or an IR code text after the plug-in");
  return options;
}

const wchar_t* RcHostUsage() {
  return L"rchost: the reference host of ZrRemoteControl.dll, loaded from this program's folder.\n"
         L"\n"
         L"usage: rchost <command> [options]\n"
         L"\n"
         L"commands:\n"
         L"  list                 every plug-in's Name, Display Name, Version, Configurable,\n"
         L"                       EnableOnInstall and the raw-input collections it asks for\n"
         L"  register             the module's DllRegisterServer, then the keys it wrote below\n"
         L"                       HKEY_CURRENT_USER\\Software\\Zorvane\\Stagecore\\Plugins\\RemoteControl\n"
         L"  unregister           the module's DllUnregisterServer\n"
         L"  listen <plugin>      registers the plug-in's raw-input collections on a window of its own,\n"
         L"                       starts the plug-in and prints every code it delivers with the\n"
         L"                       milliseconds since the previous one; prints \"Last Error\" when the\n"
         L"                       start fails; stops the plug-in at the end. <plugin> is a name\n"
         L"                       (\"IRMAN\", \"Raw Input\", \"USB-UUIRT\" or \"uuirt\", any case) or a\n"
         L"                       type number (0-3)\n"
         L"  blast <plugin> <code>\n"
         L"                       starts the plug-in and blasts one IR code record (the \"ZRIR\" XML\n"
         L"                       text); <code> is a file holding the record (UTF-8 or UTF-16) or the\n"
         L"                       text itself; prints the plug-in's blast port count, then whether it\n"
         L"                       sent the code\n"
         L"  learn <plugin>       starts the plug-in, asks it to learn one IR code and prints the record\n"
         L"                       it hands back; cancels the learn when none arrives in time\n"
         L"  validate [<module>]  checks a build of the module (this folder's ZrRemoteControl.dll, or\n"
         L"                       the DLL given) against the plug-in interface, as a host built with\n"
         L"                       another compiler calls it: exports, version, imports, the factory,\n"
         L"                       every plug-in's answers and careless arguments, every order of\n"
         L"                       Start and Stop, who frees each BSTR, the thread of each callback;\n"
         L"                       one line per check, then \"validate: N passed, M failed\"; exit 0\n"
         L"                       only when none failed\n"
         L"  monitor              starts every plug-in that can start and shows each code as it\n"
         L"                       arrives (plug-in, code, ms since that plug-in's previous code, time);\n"
         L"                       at the end a table per plug-in: codes, codes per second, the\n"
         L"                       shortest and the longest gap\n"
         L"\n"
         L"options:\n"
         L"  --seconds N          listen, monitor: run for N seconds (default 30; Ctrl+C ends it\n"
         L"                       sooner); learn: wait at most N seconds for a code (default 30);\n"
         L"                       validate: wait at most N seconds for each started plug-in's codes\n"
         L"                       and for a learned code (default 2)\n"
         L"  --start-flag 0|1     listen, blast, learn, monitor: the flag handed to Start (default 0)\n"
         L"  --timestamps         listen: end each code line with \" @<ns>\", the receive time in\n"
         L"                       nanoseconds of the performance counter (for latency measurements)\n"
         L"  --active-codes FILE  listen: hands the plug-in the bindings in FILE (XML records\n"
         L"                       <XMLPH version=\"1.0\">...</XMLPH>, one after another) as its\n"
         L"                       \"Active Codes\" before it starts\n"
         L"  --foreground         listen: shows the window and takes the foreground and the focus, so\n"
         L"                       that key messages reach it after their raw input; each WM_KEYDOWN\n"
         L"                       is printed as swallowed by the plug-in or passed on\n"
         L"  --after-stop-ms N    listen: keeps handling messages N ms after Stop and says how many\n"
         L"                       codes still arrived (none should)\n"
         L"  --value NAME=VALUE   the answer to the plug-in's question for NAME, for example\n"
         L"                       --value \"Seek Forward MS=500\"; may be given more than once\n"
         L"  --help               this text\n";
}
