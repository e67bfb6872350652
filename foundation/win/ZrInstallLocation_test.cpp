#include "foundation/win/ZrInstallLocation.h"

#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A key of its own below HKEY_LOCAL_MACHINE for each case, so that cases may run side by side.
class InstallationsKey {
 public:
  InstallationsKey() {
    static std::atomic<int> counter{0};
    m_root = ZrString(u"Software\\ZrTests\\") + ZrString::FromNarrow(std::to_string(GetCurrentProcessId()).c_str()) +
             u"-" + ZrString::FromNarrow(std::to_string(++counter).c_str());
    m_path = m_root + u"\\Installations";
    HKEY key = nullptr;
    m_created = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZrW(m_path.c_str()), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
  }
  ~InstallationsKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, ZrW(m_root.c_str())); }

  bool Created() const { return m_created; }
  const ZrString& Path() const { return m_path; }

  void SetDefault(const wchar_t* name) { SetString(m_path, nullptr, name); }
  // path null: the subkey has no Path value.
  void AddInstallation(const wchar_t* name, const wchar_t* path) {
    ZrString subkey = m_path + u"\\" + ZrU(name);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZrW(subkey.c_str()), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key) RegCloseKey(key);
    if (path) SetString(subkey, L"Path", path);
  }

 private:
  static void SetString(const ZrString& keyPath, const wchar_t* name, const wchar_t* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ZrW(keyPath.c_str()), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }

  ZrString m_root;
  ZrString m_path;
  bool m_created = false;
};

std::string Utf8(const ZrString& text) { return text.ToUtf8(); }

}  // namespace

TEST(ZrInstallLocation, OneTrailingBackslash) {
  struct {
    const ZrChar* in;
    const ZrChar* out;
  } cases[] = {
      {u"", u""},
      {u"C:\\App", u"C:\\App\\"},
      {u"C:\\App\\", u"C:\\App\\"},
      {u"C:\\App\\\\", u"C:\\App\\"},
      {u"C:\\App\\\\\\\\", u"C:\\App\\"},
      {u"\\", u"\\"},
  };
  for (auto& c : cases) EXPECT_EQ(Utf8(ZrWithOneTrailingBackslash(c.in)), Utf8(c.out)) << Utf8(c.in);
}

TEST(ZrInstallLocation, DirectoryOfAFile) {
  EXPECT_EQ(Utf8(ZrDirectoryOf(u"C:\\Program Files\\Host\\host.exe")), "C:\\Program Files\\Host\\");
  EXPECT_EQ(Utf8(ZrDirectoryOf(u"host.exe")), "");
}

TEST(ZrInstallLocation, TheX64FolderUsesTheThirtyTwoBitKey) {
  struct {
    const ZrChar* module;
    const ZrChar* key;
  } cases[] = {
      {u"C:\\Program Files (x86)\\Zorvane\\x64\\", kZrInstallationsKeyWow64},
      {u"C:\\Program Files (x86)\\Zorvane\\X64\\", kZrInstallationsKeyWow64},
      {u"C:\\Program Files\\Zorvane\\", kZrInstallationsKey},
      {u"C:\\Program Files\\Zorvane\\x64sub\\", kZrInstallationsKey},
      {u"C:\\Program Files\\Zorvane\\x64", kZrInstallationsKey},
      {u"", kZrInstallationsKey},
  };
  for (auto& c : cases) EXPECT_EQ(Utf8(ZrInstallationsKeyPath(c.module)), Utf8(c.key)) << Utf8(c.module);
  EXPECT_EQ(Utf8(kZrInstallationsKey), "Software\\Zorvane\\Stagecore\\Installations");
  EXPECT_EQ(Utf8(kZrInstallationsKeyWow64), "Software\\WOW6432Node\\Zorvane\\Stagecore\\Installations");
}

// Subkeys enumerate in name order, so the names below set the order of the walk.
TEST(ZrInstallLocation, FindInstallationPrefersTheOneHoldingTheProgramThenTheDefault) {
  struct Installation {
    const wchar_t* name;
    const wchar_t* path;
  };
  struct Case {
    const char* what;
    const wchar_t* defaultName;  // null: no default value
    std::vector<Installation> installations;
    const ZrChar* executableDirectory;
    const ZrChar* moduleDirectory;
    const ZrChar* expected;
  } cases[] = {
      {"nothing qualifies", nullptr, {{L"A", L"C:\\One\\"}, {L"B", L"C:\\Two\\"}}, u"C:\\Host\\", u"C:\\Mod\\", u""},
      {"the default installation is remembered", L"B", {{L"A", L"C:\\One\\"}, {L"B", L"C:\\Two"}}, u"C:\\Host\\",
       u"C:\\Mod\\", u"C:\\Two\\"},
      {"a later installation containing the executable wins over the default", L"A",
       {{L"A", L"C:\\One\\"}, {L"B", L"C:\\Host\\"}}, u"C:\\Host\\Bin\\", u"C:\\Mod\\", u"C:\\Host\\"},
      {"the first installation containing the executable stops the walk", L"B",
       {{L"A", L"C:\\Host"}, {L"B", L"C:\\Two\\"}, {L"C", L"C:\\Host\\Bin\\"}}, u"C:\\Host\\Bin\\", u"", u"C:\\Host\\"},
      {"the module's directory qualifies too", L"A", {{L"A", L"C:\\One\\"}, {L"B", L"D:\\Zorvane\\"}}, u"C:\\Host\\",
       u"D:\\Zorvane\\Plugins\\", u"D:\\Zorvane\\"},
      {"directories compare without regard to case", nullptr, {{L"A", L"c:\\host\\"}}, u"C:\\HOST\\BIN\\", u"",
       u"c:\\host\\"},
      {"the default's name compares with regard to case", L"b", {{L"A", L"C:\\One\\"}, {L"B", L"C:\\Two\\"}},
       u"C:\\Host\\", u"", u""},
      {"an installation without a path is skipped", L"B", {{L"A", L"C:\\One\\"}, {L"B", nullptr}}, u"C:\\Host\\", u"",
       u""},
      {"an empty path is skipped", L"A", {{L"A", L""}, {L"B", L"C:\\Two\\"}}, u"C:\\Two\\", u"", u"C:\\Two\\"},
      {"a path is no prefix of a longer directory name", nullptr, {{L"A", L"C:\\Host"}}, u"C:\\Hostile\\", u"", u""},
      {"two trailing backslashes become one", nullptr, {{L"A", L"C:\\Host\\\\"}}, u"C:\\Host\\", u"", u"C:\\Host\\"},
      {"empty directories match nothing", L"B", {{L"A", L"C:\\One\\"}, {L"B", L"C:\\Two\\"}}, u"", u"", u"C:\\Two\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallationsKey key;
    ASSERT_TRUE(key.Created());
    if (c.defaultName) key.SetDefault(c.defaultName);
    for (const Installation& installation : c.installations) key.AddInstallation(installation.name, installation.path);
    EXPECT_EQ(Utf8(ZrFindInstallation(HKEY_LOCAL_MACHINE, key.Path(), c.executableDirectory, c.moduleDirectory)),
              Utf8(c.expected));
  }
}

TEST(ZrInstallLocation, AMissingKeyFindsNothing) {
  EXPECT_TRUE(ZrFindInstallation(HKEY_LOCAL_MACHINE, u"Software\\ZrTests\\No Such Key\\Installations", u"C:\\Host\\", u"")
                  .IsEmpty());
}

TEST(ZrInstallLocation, PathValuesThatAreNotTerminatedAreReadSafely) {
  InstallationsKey key;
  ASSERT_TRUE(key.Created());
  key.AddInstallation(L"A", L"placeholder");
  ZrString subkey = key.Path() + u"\\A";
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ZrW(subkey.c_str()), 0, KEY_SET_VALUE, &handle), ERROR_SUCCESS);
  const wchar_t text[] = L"C:\\Host";  // written without its terminator, and with one odd byte
  std::string bytes(reinterpret_cast<const char*>(text), 7 * sizeof(wchar_t));
  bytes += 'x';
  RegSetValueExW(handle, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(handle);
  EXPECT_EQ(Utf8(ZrFindInstallation(HKEY_LOCAL_MACHINE, key.Path(), u"C:\\Host\\", u"")), "C:\\Host\\");
}

TEST(ZrInstallLocation, PortableMarkerBesideTheExecutableWinsOverTheRegistry) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  ZrString directory = ZrString(ZrU(temp)) + u"ZrPortable-" +
                       ZrString::FromNarrow(std::to_string(GetCurrentProcessId()).c_str()) + u"\\";
  ASSERT_TRUE(CreateDirectoryW(ZrW(directory.c_str()), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  InstallationsKey key;
  ASSERT_TRUE(key.Created());
  std::wstring own(ZrW(directory.c_str()));
  key.AddInstallation(L"A", own.c_str());
  key.SetDefault(L"A");

  bool portable = true;
  EXPECT_EQ(Utf8(ZrResolveInstallDirectory(directory, u"", key.Path(), &portable)), Utf8(directory));
  EXPECT_FALSE(portable) << "the registry answered";

  ZrString marker = directory + kZrPortableMarker;
  HANDLE file = CreateFileW(ZrW(marker.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  InstallationsKey other;  // a registry that names another place
  other.AddInstallation(L"A", L"C:\\Elsewhere\\");
  other.SetDefault(L"A");
  EXPECT_EQ(Utf8(ZrResolveInstallDirectory(directory + u"\\", u"", other.Path(), &portable)), Utf8(directory));
  EXPECT_TRUE(portable);

  DeleteFileW(ZrW(marker.c_str()));
  EXPECT_EQ(Utf8(ZrResolveInstallDirectory(directory, u"", other.Path(), &portable)), "C:\\Elsewhere\\");
  EXPECT_FALSE(portable);
  RemoveDirectoryW(ZrW(directory.c_str()));
}

TEST(ZrInstallLocation, LongPathFormReplacesShortNames) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  ZrString longName = ZrString(ZrU(temp)) + u"Zr Long Directory Name " +
                      ZrString::FromNarrow(std::to_string(GetCurrentProcessId()).c_str());
  ASSERT_TRUE(CreateDirectoryW(ZrW(longName.c_str()), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  wchar_t shortName[MAX_PATH];
  DWORD length = GetShortPathNameW(ZrW(longName.c_str()), shortName, MAX_PATH);
  ZrString expectedLong = ZrLongPathForm(longName);  // also turns the temp directory into its long form
  RemoveDirectoryW(ZrW(longName.c_str()));
  if (length == 0 || length >= MAX_PATH || ZrString(ZrU(shortName)) == longName) {
    GTEST_SKIP() << "this file system gives no short names";
  }
  ASSERT_TRUE(CreateDirectoryW(ZrW(longName.c_str()), nullptr));
  ZrString got = ZrLongPathForm(ZrString(ZrU(shortName)) + u"\\\\");
  RemoveDirectoryW(ZrW(longName.c_str()));
  EXPECT_EQ(Utf8(got), Utf8(expectedLong));
  EXPECT_EQ(Utf8(got.Right(25)), Utf8(longName.Right(24) + u"\\"));
  EXPECT_EQ(Utf8(ZrLongPathForm(u"C:\\No Such Directory Zr\\\\")), "C:\\No Such Directory Zr\\");
}
