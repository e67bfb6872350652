// The module's start-up in a process of its own: with the tools library missing, beside it, in
// the x64 folder, or failing to load the product information.

#include <gtest/gtest.h>

#include <string>

#include "foundation/win/testsupport/ZrTestProcess.h"

namespace {

std::wstring ReadUtf16(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return L"(no result)";
  std::wstring text(32768, L'\0');
  DWORD read = 0;
  ReadFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
  CloseHandle(file);
  text.resize(read / sizeof(wchar_t));
  return text;
}

enum class Tools { kMissing, kBeside, kInX64Folder };

struct LoadCase {
  const char* what;
  Tools tools;
  const wchar_t* productInfoError;  // the tools library's failure text; null: no failure
  const wchar_t* reported;          // the error the box must show; null: no box, the load succeeds
};

// A portable installation in a folder of its own: the child program, the module and the marker.
class InstallationFolder {
 public:
  explicit InstallationFolder(Tools tools) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    m_folder = std::wstring(temp) + L"zr-load-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(m_folder.c_str(), nullptr);
    CreateDirectoryW((m_folder + L"x64").c_str(), nullptr);
    const std::wstring built = zrtest::ExecutableFolder();
    Copy(built + L"module_load_child.exe", m_folder + L"module_load_child.exe");
    Copy(built + L"ZrRemoteControl.dll", m_folder + L"ZrRemoteControl.dll");
    Copy(built + L"Portable.dat", m_folder + L"Portable.dat");
    if (tools == Tools::kBeside) Copy(built + L"ZrTools.dll", m_folder + L"ZrTools.dll");
    if (tools == Tools::kInX64Folder) Copy(built + L"ZrTools.dll", m_folder + L"x64\\ZrTools.dll");
  }
  ~InstallationFolder() {
    for (const wchar_t* file : {L"module_load_child.exe", L"ZrRemoteControl.dll", L"Portable.dat", L"ZrTools.dll",
                                L"x64\\ZrTools.dll", L"result.txt"})
      DeleteFileW((m_folder + file).c_str());
    RemoveDirectoryW((m_folder + L"x64").c_str());
    RemoveDirectoryW((m_folder + L"Application Data").c_str());
    RemoveDirectoryW(m_folder.c_str());
  }

  const std::wstring& Path() const { return m_folder; }

  // Runs the child; answers its result file's text.
  std::wstring LoadInChild(const wchar_t* productInfoError) {
    SetEnvironmentVariableW(L"ZRTOOLS_PRODUCT_INFO_ERROR", productInfoError);
    const zrtest::ProcessResult child = zrtest::RunProcess(L"\"" + m_folder + L"module_load_child.exe\" \"" + m_folder +
                                                               L"ZrRemoteControl.dll\" \"" + m_folder + L"result.txt\"",
                                                           m_folder);
    SetEnvironmentVariableW(L"ZRTOOLS_PRODUCT_INFO_ERROR", nullptr);
    if (!child.finished) return L"child " + child.description;
    if (child.exitCode != 0) return L"(child exit code " + std::to_wstring(child.exitCode) + L")";
    return ReadUtf16(m_folder + L"result.txt");
  }

 private:
  static void Copy(const std::wstring& from, const std::wstring& to) {
    EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << "copy " << from.size() << " error " << GetLastError();
  }
  std::wstring m_folder;
};

TEST(ZrRemoteControlLoad, StartsOnlyWithItsToolsLibraryAndProductInformation) {
  const LoadCase cases[] = {
      {"tools library missing", Tools::kMissing, nullptr, L"Failed to load ZrTools"},
      {"tools library beside the module", Tools::kBeside, nullptr, nullptr},
      {"tools library in the x64 folder", Tools::kInX64Folder, nullptr, nullptr},
      {"product information refused", Tools::kBeside, L"Licence expired", L"Licence expired"},
      {"product information refused without a reason", Tools::kBeside, L"(empty)",
       L"Unknown error loading product information"},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.what);
    InstallationFolder folder(c.tools);
    const std::wstring result = folder.LoadInChild(c.productInfoError);
    if (!c.reported) {
      EXPECT_EQ(result, L"loaded\n");
      continue;
    }
    EXPECT_EQ(result, L"failed " + std::to_wstring(ERROR_DLL_INIT_FAILED) +
                          L"\nThe following module has failed to load:\r\n" + folder.Path() +
                          L"ZrRemoteControl.dll\r\n\r\nIt has reported the following error:\r\n\r\n" + c.reported +
                          L"\r\n\r\nPlease reinstall the latest version of the program.");
  }
}

}  // namespace
