#pragma once
// The command line of the reference host.

#include <map>
#include <string>
#include <vector>

struct RcHostOptions {
  enum class Command { kHelp, kList, kRegister, kUnregister, kListen, kBlast, kLearn, kValidate, kMonitor };

  Command command = Command::kHelp;
  std::wstring plugin;  // listen, blast, learn: a plug-in's name (any case) or type number
  std::wstring code;    // blast: a file holding the IR code record, or the record's text itself
  int seconds = 30;     // listen, monitor: how long to run; learn: how long to wait for a code
  bool secondsGiven = false;  // validate waits less than the others unless told
  std::wstring module;  // validate: the module DLL to check; empty for this folder's
  bool startFlag = false;
  bool timestamps = false;  // listen: print each code's receive time on the steady clock
  std::wstring activeCodes;  // listen: a file of XML bindings for the "Active Codes" setting
  bool foreground = false;   // listen: show the window and take the foreground and the focus
  int afterStopMs = 0;       // listen: keep handling messages this long after Stop
  // Answers of GetValue, by name compared without regard to case.
  std::map<std::wstring, std::wstring> values;
  std::wstring error;  // set when the command line is not understood
};

// arguments: without the program name.
RcHostOptions RcParseOptions(const std::vector<std::wstring>& arguments);

// Lower case, as names of values and plug-ins are compared.
std::wstring RcLower(std::wstring text);

// The text of --help.
const wchar_t* RcHostUsage();
