#include "foundation/win/testsupport/ZrTestProcess.h"

namespace zrtest {

namespace {

constexpr DWORD kEndedByTest = 0xDEAD;
// A child ended by the test is gone only once its handle is signalled.
constexpr DWORD kTerminateWaitMs = 5000;

}  // namespace

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring text(path, length);
  return text.substr(0, text.rfind(L'\\') + 1);
}

Process::~Process() {
  if (m_process && !m_finished) {  // a detached child has no handle here
    TerminateProcess(m_process.get(), kEndedByTest);
    WaitForSingleObject(m_process.get(), kTerminateWaitMs);
  }
}

bool Process::Start(const std::wstring& commandLine, const std::wstring& folder, const std::wstring& application) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::wstring line = commandLine;
  SetLastError(0xdeadbeef);
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    m_startError = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  m_process.reset(info.hProcess);
  m_processId = info.dwProcessId;
  m_started = true;
  return true;
}

testing::AssertionResult Process::WaitForExit(DWORD timeoutMs) {
  if (!m_started) return testing::AssertionFailure() << Describe();
  if (m_finished) return testing::AssertionSuccess();
  m_waitedMs = timeoutMs;
  if (WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) {
    m_timedOut = true;
    const std::wstring description = Describe();
    TerminateProcess(m_process.get(), kEndedByTest);
    WaitForSingleObject(m_process.get(), kTerminateWaitMs);
    m_finished = true;
    GetExitCodeProcess(m_process.get(), &m_exitCode);
    return testing::AssertionFailure() << description;
  }
  m_finished = true;
  GetExitCodeProcess(m_process.get(), &m_exitCode);
  return testing::AssertionSuccess() << Describe();
}

void Process::Detach() {
  m_process.reset();
  m_detached = true;
}

std::wstring Process::Describe() const {
  if (!m_started) return L"(not started, error " + std::to_wstring(m_startError) + L")";
  if (m_detached) return L"(detached)";
  if (m_timedOut) return L"(still running after " + std::to_wstring(m_waitedMs) + L" ms)";
  if (!m_finished) return L"(running)";
  return L"exit " + std::to_wstring(m_exitCode);
}

ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& folder, DWORD timeoutMs,
                         const std::wstring& application) {
  Process process;
  ProcessResult result;
  result.started = process.Start(commandLine, folder, application);
  if (result.started) result.finished = static_cast<bool>(process.WaitForExit(timeoutMs));
  result.exitCode = result.finished ? process.ExitCode() : 0;
  result.description = process.Describe();
  return result;
}

}  // namespace zrtest
