// The MCE plug-in's blasting and learning against the service stand-in, zrservice.exe, over real
// pipes between two processes.
#include <gtest/gtest.h>
#include <share.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/win/ZrBoundary.h"
#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/testsupport/ZrTestProcess.h"
#include "ipc/ZrIpcTestSupport.h"
#include "mce/CMCERemote.h"
#include "mce/CMCERemoteService.h"
#include "mce/IRBlastCode.h"
#include "plugin/testsupport/ZrRecordingHost.h"

namespace {

using Fields = std::vector<std::string>;

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

// zrservice.exe (beside rchost in the build's bin folder) for the installation of this test
// program's folder (a portable one of its own), so that the plug-in in this process finds it and
// no other does; terminated at the end of the test.
class Service {
 public:
  explicit Service(const std::wstring& arguments = L"") {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_report = std::wstring(temp) + L"zrservice-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64()) + L".txt";
    std::wstring folder = zrtest::ExecutableFolder();
    folder.pop_back();  // a trailing backslash would escape the closing quote
    const std::wstring exe = zrtest::ExecutableFolder() + L"..\\..\\bin\\zrservice.exe";
    std::wstring command = L"\"" + exe + L"\" --folder \"" + folder + L"\" --report \"" + m_report +
                           L"\" " + arguments;
    if (!m_process.Start(command)) {
      ADD_FAILURE() << "zrservice.exe " << ZrString(ZrU(m_process.Describe().c_str())).ToUtf8();
      return;
    }
    m_started = static_cast<bool>(WaitFor([](const Fields& f) { return f[0] == "ready"; }));
    EXPECT_TRUE(m_started) << "zrservice.exe did not get ready";
  }
  ~Service() {
    // The service runs until it is ended: ending it here is its normal end.
    if (m_process.Started()) TerminateProcess(m_process.Handle(), 0);
    m_process.WaitForExit(10000);
    DeleteFileW(m_report.c_str());
  }

  std::vector<Fields> Lines() const {
    std::vector<Fields> lines;
    FILE* file = _wfsopen(m_report.c_str(), L"rb", _SH_DENYNO);
    if (!file) return lines;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    fclose(file);
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
      Fields fields;
      size_t start = 0;
      for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(Unescape(line.substr(start, tab - start)));
      fields.push_back(Unescape(line.substr(start)));
      lines.push_back(fields);
    }
    return lines;
  }
  // Lines whose first fields are these.
  std::vector<Fields> Find(const std::string& kind, const std::string& command = "") const {
    std::vector<Fields> found;
    for (const Fields& f : Lines())
      if (f[0] == kind && (command.empty() || (f.size() > 1 && f[1] == command))) found.push_back(f);
    return found;
  }
  testing::AssertionResult WaitFor(const std::function<bool(const Fields&)>& match,
                                   DWORD timeoutMs = zrtest::kWaitMs) const {
    return zrtest::WaitUntil(
        [&] {
          for (const Fields& f : Lines())
            if (match(f)) return true;
          return false;
        },
        timeoutMs, "a line in the service's report");
  }
  bool Started() const { return m_started; }

 private:
  std::wstring m_report;
  zrtest::Process m_process;
  bool m_started = false;
};

class LearnRecorder final : public IZrLearnCallback {
 public:
  bool OnLearned(BSTR code) override {
    thread = GetCurrentThreadId();
    // Kept, not copied: the string is ours, so the plug-in must not free it after the call.
    codes.push_back(code);
    if (onLearned) onLearned();
    return true;
  }
  ~LearnRecorder() {
    for (BSTR code : codes) SysFreeString(code);
  }
  std::vector<BSTR> codes;
  DWORD thread = 0;
  std::function<void()> onLearned;
};

std::string Utf8(const BSTR text) { return ZrString(ZrU(text)).ToUtf8(); }

const char kServiceLearnCode[] =
    "<ZRIR version=\"1.0\">\r\n<Item Name=\"IRData\">0000 006D 0022 0002 0155 00AA</Item>\r\n"
    "<Item Name=\"CarrierFrequency\">38000</Item>\r\n</ZRIR>";

double Seconds(const std::function<void()>& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return zrtest::SecondsSince(start);
}

TEST(CMCERemoteIR, TheServicePipeIsNamedAfterTheInstallDirectorysHash) {
  // This program's own folder is its installation.
  const ZrString own = ZrLongPathForm(ZrString(ZrU(zrtest::ExecutableFolder().c_str())));
  EXPECT_EQ(CMCEServicePipeName(), CMCEServicePipeName(own));
  EXPECT_NE(CMCEServicePipeName(), CMCEServicePipeName(ZrString()));

  EXPECT_EQ(CMCEServicePipeName(ZrString(u"D:\\Media\\")), ZrString(u"Zorvane Service IPC (-43772418)"));
  EXPECT_EQ(CMCEServicePipeName(ZrString(u"d:\\MEDIA\\")), ZrString(u"Zorvane Service IPC (-43772418)"));
  EXPECT_EQ(CMCEServicePipeName(ZrString()), ZrString(u"Zorvane Service IPC (0)"));
}

TEST(CMCERemoteIR, AsksTheServiceForItsPortCount) {
  zrtest::RecordingHost host;
  CMCERemote plugin(&host);
  EXPECT_TRUE(plugin.IRCanBlast());
  {
    Service service(L"--ports 3");
    ASSERT_TRUE(service.Started());
    EXPECT_EQ(plugin.IRGetNumBlastPorts(), 3);
    EXPECT_EQ(service.Find("request", "IRGetNumBlastPorts").size(), 1u);
  }
  {
    Service service(L"--ports none");
    ASSERT_TRUE(service.Started());
    EXPECT_EQ(plugin.IRGetNumBlastPorts(), 0);
  }
  int32_t ports = -1;
  const double seconds = Seconds([&] { ports = plugin.IRGetNumBlastPorts(); });
  EXPECT_EQ(ports, 0);
  EXPECT_LT(seconds, 3.0);
}

TEST(CMCERemoteIR, BlastSendsTheWholeCodeWithAUsableCarrier) {
  const struct {
    const char16_t* carrier;  // null: no such key
    int32_t sent;
  } cases[] = {{u"999", 38000}, {u"100001", 38000}, {nullptr, 38000}, {u"-1", 38000},
               {u"1000", 1000},  {u"100000", 100000}, {u"56000", 56000}};
  zrtest::RecordingHost host;
  CMCERemote plugin(&host);
  Service service(L"--blast-ms 20");
  ASSERT_TRUE(service.Started());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.carrier ? ZrString(c.carrier).ToUtf8() : "none");
    std::u16string text = u"<ZRIR version=\"1.0\">\r\n<Item Name=\"BlastCommandName\">Power</Item>\r\n"
                          u"<Item Name=\"RemotePlugin\">Remote X</Item>\r\n<Item Name=\"PortIndex\">2</Item>\r\n"
                          u"<Item Name=\"IRData\">0000 0070 0001 &lt;raw&gt;</Item>\r\n"
                          u"<Item Name=\"Vendor Extra\">kept</Item>\r\n";
    if (c.carrier) text += u"<Item Name=\"CarrierFrequency\">" + std::u16string(c.carrier) + u"</Item>\r\n";
    text += u"</ZRIR>";
    const size_t before = service.Find("blasted").size();
    ASSERT_TRUE(plugin.IRBlast(ZrW(text.c_str())));
    // The service records the code once its transmission is over, before answering.
    const std::vector<Fields> blasted = service.Find("blasted");
    ASSERT_EQ(blasted.size(), before + 1);
    const IRBlastCode sent(ZrString::FromUtf8(blasted.back()[1]));
    EXPECT_EQ(sent.GetInt(IRBlastCode::kCarrierFrequency, -7), c.sent);
    EXPECT_EQ(sent.GetInt(IRBlastCode::kPortIndex, -7), 2);
    ZrString value;
    sent.GetString(value, IRBlastCode::kIRData);
    EXPECT_EQ(value, ZrString(u"0000 0070 0001 <raw>"));
    sent.GetString(value, IRBlastCode::kBlastCommandName);
    EXPECT_EQ(value, ZrString(u"Power"));
    sent.GetString(value, IRBlastCode::kRemotePlugin);
    EXPECT_EQ(value, ZrString(u"Remote X"));
    sent.GetString(value, u"Vendor Extra");
    EXPECT_EQ(value, ZrString(u"kept"));
  }
}

TEST(CMCERemoteIR, ACodeWithNothingToSendNeverReachesTheService) {
  zrtest::RecordingHost host;
  CMCERemote plugin(&host);
  Service service;
  ASSERT_TRUE(service.Started());
  const wchar_t* texts[] = {
      L"<ZRIPC version=\"1.0\">\r\n<Item Name=\"IRData\">0000</Item>\r\n</ZRIPC>",  // not an IR code
      L"<ZRIR version=\"2.0\">\r\n<Item Name=\"IRData\">0000</Item>\r\n</ZRIR>",    // another version
      L"<ZRIR version=\"1.0\">\r\n<Item Name=\"CarrierFrequency\">38000</Item>\r\n</ZRIR>",  // no data
      L"",
      L"not xml at all",
      nullptr,
  };
  for (const wchar_t* text : texts) EXPECT_FALSE(plugin.IRBlast(text)) << zrtest::Text(text).size();
  // A blast that does reach it, to be sure the report is written.
  ASSERT_TRUE(plugin.IRBlast(L"<ZRIR version=\"1.0\"><Item Name=\"IRData\">1</Item></ZRIR>"));
  EXPECT_EQ(service.Find("request", "IRBlast").size(), 1u);
}

TEST(CMCERemoteIR, ARefusedBlastFails) {
  zrtest::RecordingHost host;
  CMCERemote plugin(&host);
  Service service(L"--blast-result 0");
  ASSERT_TRUE(service.Started());
  EXPECT_FALSE(plugin.IRBlast(L"<ZRIR version=\"1.0\"><Item Name=\"IRData\">1</Item></ZRIR>"));
  EXPECT_EQ(service.Find("blasted").size(), 1u);
}

TEST(CMCERemoteIR, ALearnWithoutACallbackFailsAndNeverReachesTheService) {
  zrtest::RecordingHost host;
  CMCERemote plugin(&host);
  Service service;
  ASSERT_TRUE(service.Started());
  EXPECT_FALSE(plugin.IRLearn(nullptr));
  // A blast that does reach it, to be sure the report is written.
  ASSERT_TRUE(plugin.IRBlast(L"<ZRIR version=\"1.0\"><Item Name=\"IRData\">1</Item></ZRIR>"));
  EXPECT_TRUE(service.Find("request", "IRLearn").empty());
}

TEST(CMCERemoteIR, ALearnedCodeReachesTheCallbackOnTheLearningThreadAndStopCancels) {
  zrtest::RecordingHost host;
  LearnRecorder recorder;
  {
    CMCERemote plugin(&host);
    Service service(L"--learn-delay-ms 200");
    ASSERT_TRUE(service.Started());
    ASSERT_TRUE(plugin.IRLearn(&recorder));
    const std::vector<Fields> learn = service.Find("request", "IRLearn");
    ASSERT_EQ(learn.size(), 1u);
    EXPECT_EQ(learn[0][2], "MCE Remote Response Server");

    // Only when this thread dispatches its messages.
    ASSERT_TRUE(service.WaitFor([](const Fields& f) { return f[0] == "callback"; }));
    EXPECT_EQ(service.Find("callback")[0], (Fields{"callback", "sent", "1"}));
    ASSERT_TRUE(zrtest::PumpUntil([&] { return !recorder.codes.empty(); }));
    EXPECT_EQ(recorder.thread, GetCurrentThreadId());
    ASSERT_EQ(recorder.codes.size(), 1u);
    EXPECT_EQ(SysStringLen(recorder.codes[0]), wcslen(recorder.codes[0]));
    EXPECT_EQ(Utf8(recorder.codes[0]), kServiceLearnCode);

    // One learn, one code: the response server is gone.
    zrtest::RawClient late;
    EXPECT_FALSE(late.Connect(ZrString(kMCEResponseServerName), 300));

    EXPECT_TRUE(plugin.Stop());
    EXPECT_EQ(service.Find("request", "IRLearnCancel").size(), 1u);
    // Learning is over: a second stop asks nothing.
    EXPECT_TRUE(plugin.Stop());
    EXPECT_EQ(service.Find("request", "IRLearnCancel").size(), 1u);
  }
  // The code handed over is still ours to read after the plug-in is gone.
  EXPECT_EQ(Utf8(recorder.codes[0]), kServiceLearnCode);
}

TEST(CMCERemoteIR, StopDuringShutdownDoesNotCancelTheLearn) {
  zrtest::RecordingHost host;
  LearnRecorder recorder;
  Service service(L"--learn-mode never");
  ASSERT_TRUE(service.Started());
  {
    CMCERemote plugin(&host);
    ASSERT_TRUE(plugin.IRLearn(&recorder));
    ASSERT_TRUE(plugin.SetInfo(L"System Shutdown", L"1"));
    EXPECT_TRUE(plugin.Stop());
  }
  EXPECT_TRUE(service.Find("request", "IRLearnCancel").empty());
  // The destructor still took the response server down.
  zrtest::RawClient late;
  EXPECT_FALSE(late.Connect(ZrString(kMCEResponseServerName), 300));
}

TEST(CMCERemoteIR, LearnWithoutAServiceFailsAndLeavesNoResponseServer) {
  zrtest::RecordingHost host;
  LearnRecorder recorder;
  CMCERemote plugin(&host);
  bool learned = true;
  const double seconds = Seconds([&] { learned = plugin.IRLearn(&recorder); });
  EXPECT_FALSE(learned);
  EXPECT_LT(seconds, 3.0);
  HANDLE pipe = CreateFileW(zrtest::FullPipeName(ZrString(kMCEResponseServerName)).c_str(),
                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const DWORD error = GetLastError();
  EXPECT_EQ(pipe, INVALID_HANDLE_VALUE) << "a response server is still listening";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
  // Nothing outstanding: Stop has nothing to cancel and returns at once.
  EXPECT_LT(Seconds([&] { plugin.Stop(); }), 0.5);
}

TEST(CMCERemoteIR, AMalformedCallbackIsNotAnsweredNorPassedOn) {
  zrtest::RecordingHost host;
  LearnRecorder recorder;
  CMCERemote plugin(&host);
  Service service(L"--learn-mode malformed --learn-delay-ms 50");
  ASSERT_TRUE(service.Started());
  ASSERT_TRUE(plugin.IRLearn(&recorder));
  ASSERT_TRUE(service.WaitFor([](const Fields& f) { return f[0] == "callback"; }));
  EXPECT_EQ(service.Find("callback")[0], (Fields{"callback", "malformed", "(no reply)"}));
  zrtest::PumpFor(300);
  EXPECT_TRUE(recorder.codes.empty());
}

TEST(CMCERemoteIR, TheCallbackMayCancelTheLearnFromWithin) {
  zrtest::RecordingHost host;
  LearnRecorder recorder;
  CMCERemote plugin(&host);
  Service service(L"--learn-delay-ms 50");
  ASSERT_TRUE(service.Started());
  recorder.onLearned = [&plugin] { plugin.IRLearnCancel(); };
  ASSERT_TRUE(plugin.IRLearn(&recorder));
  ASSERT_TRUE(zrtest::PumpUntil([&] { return !recorder.codes.empty(); }));
  EXPECT_EQ(service.Find("request", "IRLearnCancel").size(), 1u);
  zrtest::PumpFor(200);
  EXPECT_EQ(recorder.codes.size(), 1u);
  // Cancelled already: Stop asks nothing more.
  plugin.Stop();
  EXPECT_EQ(service.Find("request", "IRLearnCancel").size(), 1u);
}

TEST(CMCERemoteIR, AServiceThatNeverAnswersTheCancelCannotHoldStop) {
  zrtest::RecordingHost host;
  LearnRecorder recorder;
  CMCERemote plugin(&host);
  Service service(L"--learn-mode never --never-answer IRLearnCancel");
  ASSERT_TRUE(service.Started());
  ASSERT_TRUE(plugin.IRLearn(&recorder));
  bool stopped = false;
  const double seconds = Seconds([&] { stopped = plugin.Stop(); });
  EXPECT_TRUE(stopped);
  EXPECT_EQ(service.Find("request", "IRLearnCancel").size(), 1u);
  EXPECT_LT(seconds, 9.0) << "Stop waited for the service";
  // The local clean-up went on: the response server is gone.
  zrtest::RawClient late;
  EXPECT_FALSE(late.Connect(ZrString(kMCEResponseServerName), 300));
}

}  // namespace
