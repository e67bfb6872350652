#pragma once
// Runs another program from a test: a peer, a child that loads the module, the system's regsvr32.
// A Process owns the child's handles; one still running when the object ends is ended with it, so
// that no test leaves a program behind.

#include <gtest/gtest.h>

#include <string>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrWindows.h"

namespace zrtest {

// The folder of the running program, with its trailing backslash.
std::wstring ExecutableFolder();

class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `commandLine` in `folder` (empty: this process's current folder). `application`, when
  // not empty, names the program file; otherwise the command line's first word does. Answers
  // whether it started; Describe says why not.
  bool Start(const std::wstring& commandLine, const std::wstring& folder = L"",
             const std::wstring& application = L"");

  // Waits for the end; a child still running at the deadline is ended (exit code 0xDEAD) and the
  // wait fails.
  testing::AssertionResult WaitForExit(DWORD timeoutMs);

  // Lets the child run on beyond this object: for programs whose handle cannot be waited on, such
  // as a Linux peer started through Wine, which report their state in a file instead.
  void Detach();

  bool Started() const { return m_started; }
  bool Finished() const { return m_finished; }
  DWORD ExitCode() const { return m_exitCode; }
  DWORD ProcessId() const { return m_processId; }
  HANDLE Handle() const { return m_process.get(); }

  // "exit <code>", "(not started, error <n>)", "(still running after <n> ms)", "(running)" or
  // "(detached)".
  std::wstring Describe() const;

 private:
  ZrThreadHandle m_process;
  bool m_started = false;
  bool m_finished = false;
  bool m_timedOut = false;
  bool m_detached = false;
  DWORD m_startError = 0;
  DWORD m_exitCode = 0;
  DWORD m_processId = 0;
  DWORD m_waitedMs = 0;
};

struct ProcessResult {
  bool started = false;
  bool finished = false;
  DWORD exitCode = 0;
  std::wstring description;  // as Process::Describe
};

// Starts a program and waits for its end (90 s by default: a child that loads the module under
// Wine takes a few seconds on a loaded machine).
ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& folder = L"", DWORD timeoutMs = 90000,
                         const std::wstring& application = L"");

}  // namespace zrtest
