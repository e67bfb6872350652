#include "foundation/win/ZrProcessInfo.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestProcess.h"
#include "foundation/win/ZrInstallLocation.h"
#include "foundation/win/ZrModuleInstance.h"

namespace {

std::string Utf8(const ZrString& text) { return text.ToUtf8(); }
ZrString Number(unsigned long value) { return ZrString::FromNarrow(std::to_string(value).c_str()); }

// A directory of its own for each case, holding a copy of the probe program; removed afterwards.
class ProbeDirectory {
 public:
  ProbeDirectory() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_path = ZrLongPathForm(ZrString(ZrU(temp))) + u"ZrProbe-" + Number(GetCurrentProcessId()) + u"-" +
             Number(static_cast<unsigned long>(++counter)) + u"\\";
    CreateDirectoryW(ZrW(m_path.c_str()), nullptr);
    ZrString source = ZrDirectoryOf(ZrGetModuleFileName(nullptr)) + u"zr_process_info_probe.exe";
    m_program = m_path + u"zr_process_info_probe.exe";
    m_ready = CopyFileW(ZrW(source.c_str()), ZrW(m_program.c_str()), FALSE) != FALSE;
  }
  ~ProbeDirectory() {
    for (const ZrChar* name : {u"zr_process_info_probe.exe", u"report.txt", kZrPortableMarker})
      DeleteFileW(ZrW((m_path + name).c_str()));
    RemoveDirectoryW(ZrW(m_path.c_str()));
  }

  bool Ready() const { return m_ready; }
  const ZrString& Path() const { return m_path; }
  const ZrString& Program() const { return m_program; }

  void AddPortableMarker() {
    HANDLE file = CreateFileW(ZrW((m_path + kZrPortableMarker).c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    CloseHandle(file);
  }

  // Runs the probe with these arguments and answers its report; "exit" holds its exit code.
  std::map<std::string, std::string> Run(const std::vector<ZrString>& arguments) {
    ZrString report = m_path + u"report.txt";
    ZrString command = ZrString(u"\"") + m_program + u"\" \"" + report + u"\"";
    for (const ZrString& argument : arguments) command = command + u" \"" + argument + u"\"";
    std::map<std::string, std::string> values;
    const zrtest::ProcessResult run = zrtest::RunProcess(ZrW(command.c_str()), ZrW(m_path.c_str()), 60000,
                                                         ZrW(m_program.c_str()));
    if (!run.finished) {
      values["exit"] = ZrString(ZrU(run.description.c_str())).ToUtf8();
      return values;
    }
    values["exit"] = std::to_string(run.exitCode);

    std::ifstream in(Utf8(report), std::ios::binary);  // the file name is plain ASCII here
    for (std::string text; std::getline(in, text);) {
      size_t equals = text.find('=');
      if (equals != std::string::npos) values[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return values;
  }

 private:
  ZrString m_path;
  ZrString m_program;
  bool m_ready = false;
};

class InstallationsKey {
 public:
  // One installation "Inst", named as the default, at installPath.
  explicit InstallationsKey(const wchar_t* installPath) {
    static std::atomic<int> counter{0};
    m_root = ZrString(u"Software\\ZrTests\\Block-") + Number(GetCurrentProcessId()) + u"-" +
             Number(static_cast<unsigned long>(++counter));
    m_path = m_root + u"\\Installations";
    Set(m_path, nullptr, L"Inst");
    Set(m_path + u"\\Inst", L"Path", installPath);
  }
  ~InstallationsKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, ZrW(m_root.c_str())); }
  const ZrString& Path() const { return m_path; }

 private:
  static void Set(const ZrString& keyPath, const wchar_t* name, const wchar_t* value) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZrW(keyPath.c_str()), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (!key) return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ZrString m_root;
  ZrString m_path;
};

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

void PutString(std::vector<uint8_t>& block, size_t offset, const ZrString& text) {
  std::memcpy(block.data() + offset, text.c_str(), static_cast<size_t>(text.Length()) * sizeof(ZrChar));
}

template <typename T>
void Put(std::vector<uint8_t>& block, size_t offset, T value) {
  std::memcpy(block.data() + offset, &value, sizeof value);
}

ZrString RoamingAppData() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, 0x101A, nullptr, 0, path);
  return ZrWithOneTrailingBackslash(ZrString(ZrU(path)));
}

// The block as a filling module must leave it: every field at its offset, every other byte 0.
std::vector<uint8_t> ExpectedBlock(const ZrString& executable, const ZrString& install, const ZrString& appData,
                                   uint32_t thread, bool portable) {
  std::vector<uint8_t> block(ZrProcessBlock::kSize, 0);
  block[0] = 1;
  PutString(block, 2, executable);
  PutString(block, 524, install);
  PutString(block, 1046, install);
  PutString(block, 1568, install);
  PutString(block, 2090, appData);
  Put<uint32_t>(block, 2616, thread);
  Put<uint32_t>(block, 2624, 0x80000001u);
  block[2632] = portable ? 1 : 0;
  Put<int32_t>(block, 3168, -1);
  Put<int32_t>(block, 3176, 99);
  return block;
}

void ExpectSameBlock(const std::vector<uint8_t>& got, const std::vector<uint8_t>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i] != expected[i]) {
      ADD_FAILURE() << "first difference at offset " << i << ": got " << int(got[i]) << ", expected " << int(expected[i]);
      return;
    }
}

}  // namespace

TEST(ZrProcessInfo, TheBlockNameCarriesTheVersionAndTheProcess) {
  EXPECT_EQ(Utf8(ZrProcessInfo::BlockName(1234)), "Zorvane Process v35 (1234)");
}

TEST(ZrProcessInfo, AFreshProcessFillsEveryFieldFromTheRegistry) {
  ProbeDirectory directory;
  ASSERT_TRUE(directory.Ready());
  InstallationsKey key(L"C:\\Elsewhere\\\\");  // two trailing backslashes
  auto report = directory.Run({u"fill", key.Path()});
  ASSERT_EQ(report["exit"], "0");
  EXPECT_EQ(report["filled"], "1");
  EXPECT_EQ(report["install"], "C:\\Elsewhere\\");
  EXPECT_EQ(report["portable"], "0");
  EXPECT_EQ(report["executable"], Utf8(directory.Program()));
  EXPECT_EQ(report["appdata"], Utf8(RoamingAppData()));
  ExpectSameBlock(FromHex(report["block"]),
                  ExpectedBlock(directory.Program(), u"C:\\Elsewhere\\", RoamingAppData(),
                                static_cast<uint32_t>(std::stoul(report["thread"])), false));
}

TEST(ZrProcessInfo, PortableMarkerBesideTheExecutableWinsOverTheRegistry) {
  ProbeDirectory directory;
  ASSERT_TRUE(directory.Ready());
  directory.AddPortableMarker();
  InstallationsKey key(L"C:\\Elsewhere\\");
  auto report = directory.Run({u"fill", key.Path()});
  ASSERT_EQ(report["exit"], "0");
  const ZrString appData = directory.Path() + u"Application Data\\";
  EXPECT_EQ(report["install"], Utf8(directory.Path()));
  EXPECT_EQ(report["portable"], "1");
  EXPECT_EQ(report["appdata"], Utf8(appData));
  ExpectSameBlock(FromHex(report["block"]),
                  ExpectedBlock(directory.Program(), directory.Path(), appData,
                                static_cast<uint32_t>(std::stoul(report["thread"])), true));
}

TEST(ZrProcessInfo, ASecondModuleFindsTheBlockFilledAndFillsNothing) {
  ProbeDirectory directory;
  ASSERT_TRUE(directory.Ready());
  InstallationsKey key(L"C:\\First\\");
  InstallationsKey other(L"C:\\Second\\");  // what the second module would have found
  auto report = directory.Run({u"second", key.Path(), other.Path()});
  ASSERT_EQ(report["exit"], "0");
  EXPECT_EQ(report["filled"], "1");
  EXPECT_EQ(report["second_filled"], "0");
  EXPECT_EQ(report["second_install"], "C:\\First\\");
  EXPECT_EQ(report["second_appdata"], report["appdata"]);
  EXPECT_EQ(report["module_filled"], "0");
  EXPECT_EQ(report["module_same"], "1");
  ASSERT_NE(report["block"], "none");
  EXPECT_EQ(report["block"], report["block1"]);
}

TEST(ZrProcessInfo, ModulesAttachingAtOnceFillTheBlockExactlyOnce) {
  ProbeDirectory directory;
  ASSERT_TRUE(directory.Ready());
  InstallationsKey key(L"C:\\Raced\\");
  // Eight threads of one fresh process construct their objects together: one fills, every other
  // waits for it and reads the same install directory.
  for (int run = 0; run < 5; ++run) {
    auto report = directory.Run({u"race", key.Path()});
    ASSERT_EQ(report["exit"], "0");
    EXPECT_EQ(report["fillers"], "1") << "run " << run;
  }
}

TEST(ZrProcessInfo, AModuleWaitsForAnotherThatIsStillFilling) {
  ProbeDirectory directory;
  ASSERT_TRUE(directory.Ready());
  auto report = directory.Run({u"pending"});
  ASSERT_EQ(report["exit"], "0");
  EXPECT_EQ(report["filled"], "0");
  EXPECT_EQ(report["install"], "C:\\Pending\\");
}

TEST(ZrProcessInfoInProcess, TheFillingModuleTellsTheToolsLibraryThatTheDirectoryIsKnown) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  ZrProcessInfo info(u"Software\\ZrTests\\No Such Key\\Installations");
  ASSERT_NE(info.Block(), nullptr);
  // Run alone (as ctest runs every case), this process has no block yet and this object fills it.
  EXPECT_EQ(tools.InstallDirectoryKnownCalls(), info.FilledBlock() ? 1 : 0);
  if (!info.FilledBlock()) GTEST_SKIP() << "another case of this process filled the block first";
}
